import QtQuick 2.15
import QtTest 1.15
import HomeModel 1.0

// The start page, the project list and the project settings popup, each
// loaded on its own.
Item {
    id: root
    width: 1000
    height: 700

    HomeModel {
        id: maker
    }

    SignalSpy {
        id: boxes
        target: msgboxctx
        signalName: "msgbox"
    }

    TestCase {
        name: "HomePages"
        when: windowShown

        function load(source, props) {
            var c = Qt.createComponent(source);
            compare(c.status, Component.Ready, c.errorString());
            var page = c.createObject(root, props ? props : {});
            verify(page);
            page.width = root.width;
            page.height = root.height;
            return page;
        }

        function init() {
            boxes.clear();
        }

        function test_home_page() {
            var page = load("qrc:/qml/home.qml");
            verify(findChild(page, "homeText"));
            verify(findChild(page, "newProjectCard"));
            verify(findChild(page, "importCard"));
            compare(findChild(page, "homeBusy").visible, false);

            // New Project opens the form with the name field; OK without a voice is refused.
            var form = page.newProject();
            tryCompare(form, "opened", true, hangLimitMs);
            compare(form.showName, true);
            verify(form.formModel.projectName.indexOf("Project-") === 0);
            mouseClick(findChild(form.contentItem, "settingOk"));
            compare(boxes.count, 1);
            compare(boxes.signalArguments[0][0].msg, "IDS_EMPTY_DEFAULT_VOCIE");
            form.close();
            tryVerify(function () { return findChild(page, "settingTitle") === null; }, hangLimitMs);

            // Import opens Qt's file dialog for several text files.
            var dialog = page.importFiles();
            verify(dialog.selectMultiple);
            tryCompare(dialog, "visible", true, hangLimitMs);
            dialog.close();

            // Files chosen: the form without the name field.
            compare(page.filesChosen([]), null);
            form = page.filesChosen(["file:///nowhere/a.txt"]);
            tryCompare(form, "opened", true, hangLimitMs);
            compare(form.showName, false);
            compare(findChild(form.contentItem, "projectNameField").visible, false);
            form.close();

            var closed = false;
            page.nav(function () { closed = true; });
            tryVerify(function () { return closed; }, hangLimitMs);
            page.destroy();
        }

        function test_projects_page() {
            maker.createProject("Listed", undefined, 1.0);
            var page = load("qrc:/qml/Projects.qml");
            var list = findChild(page, "projectList");
            tryCompare(list, "count", 1, hangLimitMs);
            compare(findChild(page, "projectsEmpty").visible, false);
            waitForRendering(list);
            var del = findChild(list, "projectDelete0");
            verify(del);
            mouseClick(del);
            compare(boxes.count, 1);
            var e = boxes.signalArguments[0][0];
            compare(e.icon, 3);
            msgboxctx.callBack(e.cbs[0]);
            tryCompare(list, "count", 0, hangLimitMs);
            tryCompare(findChild(page, "projectsEmpty"), "visible", true, hangLimitMs);
            page.destroy();
        }

        function test_settings_popup() {
            var c = Qt.createComponent("qrc:/qml/ProjectSettingForm.qml");
            compare(c.status, Component.Ready, c.errorString());
            var accepted = [];
            var form = c.createObject(root, { "title": "Settings", "initialName": "Mine", "initialSrate": 1.5 });
            form.accepted.connect(function (name, voice, srate) { accepted.push(name); });
            tryCompare(form, "opened", true, hangLimitMs);
            compare(form.formModel.projectName, "Mine");
            compare(findChild(form.contentItem, "projectNameField").text, "Mine");
            compare(findChild(form.contentItem, "speedText").text, "1.5x");
            compare(findChild(form.contentItem, "settingTitle").text, "Settings");
            var rejected = 0;
            form.rejected.connect(function () { rejected++; });
            mouseClick(findChild(form.contentItem, "settingCancel"));
            compare(rejected, 1);
            compare(accepted.length, 0);
        }
    }
}
