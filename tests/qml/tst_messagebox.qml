import QtQuick 2.15
import QtTest 1.15
import MessageBoxContext 1.0

TestCase {
    name: "MessageBox"

    property var requests: []

    Connections {
        target: msgboxctx
        function onMsgbox(e) { requests.push(e) }
    }

    function init() {
        requests = []
        probe.clear()
    }

    function test_enumValues() {
        compare(MessageBoxContext.OK, 1)
        compare(MessageBoxContext.Cancel, 2)
        compare(MessageBoxContext.Yes, 4)
        compare(MessageBoxContext.No, 8)
        compare(MessageBoxContext.Alert, 1)
        compare(MessageBoxContext.Warning, 2)
        compare(MessageBoxContext.Question, 3)
        compare(MessageBoxContext.Error, 4)
        compare(MessageBoxContext.Suc, 5)
    }

    function test_questionReachesQmlAndAnswersComeBack() {
        probe.askYesNo("Remove", "Remove the project?")
        compare(requests.length, 1)
        var e = requests[0]
        compare(e.title, "Remove")
        compare(e.msg, "Remove the project?")
        compare(e.icon, MessageBoxContext.Question)
        compare(e.buttons.length, 2)
        compare(e.buttons[0], MessageBoxContext.Yes)
        compare(e.buttons[1], MessageBoxContext.No)
        compare(e.buttonNames[0], "Yes")
        compare(e.buttonNames[1], "No")
        compare(e.cbs.length, 2)
        // The callback of the pressed button, and only that one, runs.
        msgboxctx.callBack(e.cbs[1])
        compare(probe.answers, ["no"])
        msgboxctx.callBack(e.cbs[0])
        compare(probe.answers, ["no", "yes"])
    }

    function test_errorBox() {
        probe.showError("Network connection error!")
        compare(requests.length, 1)
        var e = requests[0]
        compare(e.title, "")
        compare(e.msg, "Network connection error!")
        compare(e.icon, MessageBoxContext.Error)
        compare(e.buttons.length, 1)
        compare(e.buttons[0], MessageBoxContext.OK)
        compare(e.buttonNames[0], "OK")
        msgboxctx.callBack(e.cbs[0])
        compare(probe.answers, ["ok"])
    }

    function test_emptyCallbackRunsNothing() {
        probe.showWithoutCallback("Done")
        compare(requests.length, 1)
        compare(requests[0].cbs.length, 1)
        msgboxctx.callBack(requests[0].cbs[0])
        compare(probe.answers, [])
    }

    function test_openBoxesKeepTheirOwnCallbacks() {
        probe.askYesNo("", "first")
        probe.showError("second")
        compare(requests.length, 2)
        msgboxctx.callBack(requests[1].cbs[0])
        msgboxctx.callBack(requests[0].cbs[0])
        compare(probe.answers, ["ok", "yes"])
    }

    function test_callbackOfAModelThatIsGoneRunsNothing() {
        probe.askOwned("still there")
        msgboxctx.callBack(requests[0].cbs[0])
        compare(probe.answers, ["owned"])
        probe.askOwned("gone")
        probe.dropOwner()
        msgboxctx.callBack(requests[1].cbs[0])
        compare(probe.answers, ["owned"])
    }
}
