import QtQuick 2.15
import QtQuick.Window 2.15
import QtQuick.Controls 2.15
import QtQuick.Dialogs 1.3
import HomeModel 1.0

ApplicationWindow {
    id: window

    // The maker's web pages, all on our server (WEB_BASE_URL ends in "/").
    readonly property string tutorialUrl: WEB_BASE_URL + "tutorial.html"
    readonly property string siteUrl: WEB_BASE_URL
    readonly property string updateUrl: WEB_BASE_URL + "check_update.php?pid=%1&ver=%2".arg(PROD_UID).arg(PROD_VERID)

    flags: Qt.Window | Qt.FramelessWindowHint
    color: "transparent"
    width: 1024
    height: 768
    minimumWidth: 1024
    minimumHeight: 650
    visible: true
    title: PROD_NAME

    // Ends the program once the shown page agreed to go and closed its model,
    // and a running install has ended.
    onClosing: function (close) {
        close.accepted = false;
        navUtil.navTodo(function () { homeModel.close(); });
    }

    CustomWin {
        id: customWin
        win: window

        MainHeader {
            id: mainHeader
            objectName: "mainHeader"
            x: 5
            y: 5
            width: parent.width - 10
            win: window
            updateUrl: window.updateUrl
            dimMargins: customWin.frameInset
            siteUrl: window.siteUrl
            menuEntries: [
                { "text": qsTr("Recording"), "source": "Recording.qml" },
                { "text": qsTr("Training"), "source": "Trainings.qml" },
                { "text": qsTr("Help"), "url": window.tutorialUrl }
            ]
            onNavRequested: navUtil.nav(source, {})
        }

        // Everything below the header: a popup that shuts this off leaves the
        // header's menu and window buttons usable.
        Row {
            id: windowBody
            objectName: "windowBody"
            y: mainHeader.y + mainHeader.height + 5
            width: parent.width
            height: parent.height - y

            MainLeft {
                id: mainLeft
                objectName: "mainLeft"
                height: parent.height
                entries: [
                    { "key": "recording", "text": qsTr("Recording"), "source": "Recording.qml" },
                    { "key": "training", "text": qsTr("Training"), "source": "Trainings.qml" }
                ]
                onNavRequested: navUtil.nav(source, {})
            }

            NavUtil {
                id: navUtil
                objectName: "navUtil"
                width: parent.width - mainLeft.width
                height: parent.height
                clip: true

                // Over the pages only: the header's buttons keep working.
                InstallCover {
                    anchors.fill: parent
                    z: 1
                    model: homeModel
                }
            }
        }
    }

    MessageBox {
        id: msgbox
        host: window.contentItem
        dimMargins: customWin.frameInset
        fitLongLabels: true
    }

    MyToast {
        id: toast
        host: window.contentItem
    }

    Connections {
        target: msgboxctx
        function onMsgbox(e) { msgbox.create(msgboxctx, e); }
    }

    // The training environment: asks for a folder when none is installed.
    HomeModel {
        id: homeModel
        objectName: "homeModel"
        onToSelEnvPath: envRootDialog.createObject(window).open()
        onToClose: engine.quit()
    }

    Component {
        id: envRootDialog
        FileDialog {
            title: qsTr("IDS_SELECT_TRAINING_ENV_ROOT")
            selectFolder: true
            selectExisting: true
            selectMultiple: false
            folder: DOCUMENTS_URL
            onAccepted: {
                homeModel.installEnv(fileUrl);
                destroy();
            }
            onRejected: destroy()
        }
    }

    Component.onCompleted: {
        navUtil.nav("Recording.qml", {});
        homeModel.checkEnv();
    }
}
