import QtQuick 2.15
import QtQuick.Controls 2.15
import ProjectModel 1.0

// One open project: its segments as speech bubbles, conversion, playback and export.
Item {
    id: page

    // The project folder to open, and the text an empty project starts with.
    property string path: ""
    property string initText: ""
    // The navigation waiting for the model to close, and whether it has.
    property var navTodo: null
    property bool modelClosed: false
    // The segment whose bubble takes the focus when it is made (0: none).
    property int focusTodo: 0
    // The folder of the last export on this page, offered again.
    property url lastExportFolder
    readonly property alias projectModel: projModel
    readonly property bool busy: projModel.isConverting || projModel.isLoading || projModel.isClosing
                                 || projModel.isOpening
    readonly property bool editable: !busy && projModel.playingSegId === 0
    // Keys keep reaching the texts while an edit is written; they wait for
    // conversion and play-all only.
    readonly property bool typable: projModel.isOpened && !projModel.isConverting && !projModel.isClosing
                                    && !projModel.isOpening && projModel.playingSegId === 0

    function nav(fn) {
        if (modelClosed) {
            fn();
            return;
        }
        navTodo = fn;
        projModel.close();
    }

    function openExport(segId) {
        var props = { "segId": segId, "projectModel": projModel };
        if (lastExportFolder.toString() !== "")
            props.saveUrl = lastExportFolder;
        var popup = exportComponent.createObject(page, props);
        popup.exportStarted.connect(function (folder) { page.lastExportFolder = folder; });
    }

    // The project settings form while the model asks for it.
    function openSettingsForm() {
        var info = projModel.projSettingInfo;
        var form = settingsComponent.createObject(page, {
            "title": qsTr("Project Settings"),
            "initialName": info.projectName,
            "initialVoice": info.voice,
            "initialSrate": info.srate,
            "dimMargins": typeof customWin !== "undefined" ? customWin.frameInset : 0
        });
        form.accepted.connect(function (name, voice, srate) {
            projModel.openProjSettingResult(true, name, srate, voice);
        });
        form.rejected.connect(function () {
            projModel.openProjSettingResult(false, "", 0, ({}));
        });
        return form;
    }

    // Whether a point of the page lies on a text that takes keys now.
    function textTakesKeysAt(x, y) {
        if (!typable)
            return false;
        if (placeholder.visible)
            return placeholder.contains(mapToItem(placeholder, x, y));
        if (!segList.contains(mapToItem(segList, x, y)))
            return false;
        var c = mapToItem(segList.contentItem, x, y);
        var bubble = segList.itemAt(c.x, c.y);
        if (!bubble)
            return false;
        var p = mapToItem(bubble, x, y);
        return bubble.textAt(p.x, p.y);
    }

    // Shows the segment of that id, so that its bubble exists and can take the focus.
    function showSeg(segId) {
        if (segId <= 0)
            return;
        var items = projModel.segsItemModel();
        var found = items.match(items.index(0, 0), 1, segId, 1, Qt.MatchExactly);
        if (found.length > 0)
            segList.positionViewAtIndex(found[0].row, ListView.Contain);
    }

    ProjectModel {
        id: projModel
        onCloseTodo: {
            page.modelClosed = true;
            var fn = page.navTodo;
            page.navTodo = null;
            if (fn)
                fn();
            else if (typeof navUtil !== "undefined")
                navUtil.nav("Projects.qml", {});
        }
        onFocusSegIdChanged: {
            page.focusTodo = focusSegId;
            page.showSeg(focusSegId);
        }
        onProjSettingInfoChanged: {
            if (projSettingInfo.setting)
                page.openSettingsForm();
        }
    }

    Component.onCompleted: {
        if (typeof mainLeft !== "undefined")
            mainLeft.current = "projects";
        projModel.open(path);
    }

    Item {
        id: titleBar
        x: 30
        y: 16
        width: parent.width - 60
        height: 52

        Column {
            anchors.verticalCenter: parent.verticalCenter
            width: parent.width - buttons.width - 20
            spacing: 4
            Text {
                objectName: "projectTitle"
                width: parent.width
                elide: Text.ElideRight
                text: projModel.projectName
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_TITLE1
                font.bold: true
                color: TEXTCOLOR_MAIN
            }
            Text {
                width: parent.width
                elide: Text.ElideRight
                visible: projModel.isOpened
                text: qsTr("Created %1").arg(Qt.formatDateTime(projModel.created, "yyyy-MM-dd hh:mm"))
                      + "    " + qsTr("Default voice: %1").arg(projModel.defaultVoice.name || "--")
                      + "  " + qsTr("%1x").arg(Number(projModel.defaultVoice.srate || 1).toFixed(1))
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_SUB2
                color: "#8A92A3"
            }
        }

        Row {
            id: buttons
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            spacing: 10
            ActionButton {
                objectName: "settingsButton"
                text: qsTr("Settings")
                quiet: true
                enabled: projModel.isOpened && page.editable
                onClicked: projModel.openProjSetting()
            }
            ActionButton {
                objectName: "exportButton"
                text: qsTr("Export")
                enabled: projModel.isOpened && !page.busy && segList.count > 0
                onClicked: page.openExport(0)
            }
        }
    }

    ListView {
        id: segList
        objectName: "segList"
        anchors.top: titleBar.bottom
        anchors.topMargin: 10
        anchors.bottom: controlBar.top
        anchors.bottomMargin: 6
        x: 20
        width: parent.width - 40
        clip: true
        spacing: 10
        cacheBuffer: 400
        boundsBehavior: Flickable.StopAtBounds
        model: projModel.segsItemModel()
        // No current bubble of its own choosing: the bubble that takes the
        // focus becomes current, and the list never hands it to row 0.
        Component.onCompleted: currentIndex = -1
        ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }
        header: Item { height: 6; width: 1 }
        footer: Item { height: 12; width: 1 }
        delegate: SegBubble {
            width: segList.width - 16
            projectModel: projModel
            editable: page.editable
            typable: page.typable
            focusTodo: page.focusTodo
            onFocusTaken: page.focusTodo = 0
            onExportRequested: page.openExport(segId)
        }
    }

    // An empty project: one bubble to type or paste the first text into.
    SegPlaceholder {
        id: placeholder
        objectName: "segPlaceholder"
        anchors.top: segList.top
        x: segList.x
        width: segList.width - 16
        visible: projModel.isOpened && segList.count === 0
        readOnly: !page.typable
        onTextEdited: projModel.segTextChanged(-1, cursor, text)
        onVisibleChanged: {
            if (visible && page.initText.length > 0) {
                text = page.initText;
                cursorPosition = text.length;
                page.initText = "";
            }
        }
    }

    ProjectControlBar {
        id: controlBar
        anchors.bottom: parent.bottom
        width: parent.width
        projectModel: projModel
        canPlay: projModel.isOpened && segList.count > 0 && !projModel.isLoading && !projModel.isClosing
    }

    Loader {
        active: projModel.currentSettingSeg.id !== undefined
        sourceComponent: SegSettingPopup {
            projectModel: projModel
            setting: projModel.currentSettingSeg
        }
    }

    Component {
        id: exportComponent
        ExportSettingPopup {}
    }

    Component {
        id: settingsComponent
        ProjectSettingForm {}
    }

    // Opening: the page is not ready yet.
    Rectangle {
        anchors.fill: parent
        visible: projModel.isOpening
        color: "#FBFBFE"
        Spinner {
            anchors.centerIn: parent
            size: 40
        }
        MouseArea { anchors.fill: parent }
    }

    // A step of editing, joining or exporting is on its way; or the page closes.
    // Input stops at once, but for the texts, which take keys meanwhile and so
    // clicks too: where the user clicked last is where the keys go. The mask
    // shows only when the step takes a while.
    Rectangle {
        id: busyMask
        objectName: "busyMask"
        property bool shown: false
        anchors.fill: parent
        visible: projModel.isLoading || projModel.isClosing
        color: shown ? "#66FFFFFF" : "transparent"
        onVisibleChanged: shown = false
        Timer {
            interval: 250
            running: busyMask.visible && !busyMask.shown
            onTriggered: busyMask.shown = true
        }
        Spinner {
            anchors.centerIn: parent
            size: 40
            visible: busyMask.shown
        }
        MouseArea {
            anchors.fill: parent
            acceptedButtons: Qt.AllButtons
            hoverEnabled: true
            onWheel: wheel.accepted = true
            onPressed: {
                var p = mapToItem(page, mouse.x, mouse.y);
                mouse.accepted = !page.textTakesKeysAt(p.x, p.y);
            }
        }
    }
}
