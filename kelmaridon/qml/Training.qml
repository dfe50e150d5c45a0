import QtQuick 2.15
import QtQuick.Controls 2.15
import TrainingModel 1.0

// One training: its voice, progress and log, the batch size and GPU switch,
// start and stop, and the export of the trained voice.
Item {
    id: page

    // Set by the page that opens this one.
    property string trainingPath: ""
    property bool toStart: false
    // What to do once the model has closed, when the page is asked to leave,
    // and what to do when the user chose to stay.
    property var leaveTodo: null
    property var stayTodo: null

    function go(source, props) {
        if (typeof navUtil !== "undefined")
            navUtil.nav(source, props);
    }

    // The page leaves once its model has stopped the probe and the tools; a
    // running training is stopped only when the user agrees.
    function nav(fn, stay) {
        leaveTodo = fn;
        stayTodo = stay ? stay : null;
        trainingModel.leave();
    }

    TrainingModel {
        id: trainingModel
        objectName: "trainingModel"
        onToClose: {
            var todo = page.leaveTodo;
            page.leaveTodo = null;
            if (todo)
                todo();
            else
                Qt.callLater(page.go, "Trainings.qml", {});
        }
        onStayed: {
            var stay = page.stayTodo;
            page.leaveTodo = null;
            page.stayTodo = null;
            if (stay)
                stay();
        }
        onToInstallEnv: {
            if (typeof homeModel !== "undefined")
                homeModel.toSelEnvPath();
        }
    }

    Component.onCompleted: {
        if (typeof mainLeft !== "undefined")
            mainLeft.current = "training";
        trainingModel.open(trainingPath, toStart);
    }

    TrainingMain {
        id: main
        x: 30
        y: 24
        width: page.width - 60
        height: controlBar.y - y - 16
        model: trainingModel
    }

    TrainingControlBar {
        id: controlBar
        x: 30
        y: page.height - height - 24
        width: page.width - 60
        model: trainingModel
    }

    // Busy mask while the machine is probed or the voice is generated.
    Rectangle {
        objectName: "trainingBusy"
        anchors.fill: parent
        visible: trainingModel.isLoading
        color: "#99FFFFFF"
        MouseArea {
            anchors.fill: parent
            hoverEnabled: true
            acceptedButtons: Qt.AllButtons
            onWheel: wheel.accepted = true
        }
        BusyIndicator {
            anchors.centerIn: parent
            width: 64
            height: 64
            running: parent.visible
        }
    }
}
