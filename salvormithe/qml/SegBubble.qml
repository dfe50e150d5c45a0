import QtQuick 2.15
import QtQuick.Controls 2.15

// One segment: the speaker, the text in a speech bubble, preview and a menu.
// A focus scope: the list's focus on its current item reaches the text.
FocusScope {
    id: bubble

    required property int idx
    required property int segid
    required property string spkcolor
    required property string spkname
    required property string segtext
    property var projectModel
    property bool editable: true
    // The text takes keys (also while an edit step is on its way).
    property bool typable: true
    // The segment whose bubble is to take the focus once it shows (0: none).
    property int focusTodo: 0
    readonly property bool playing: projectModel.playingSegId === segid
    readonly property bool previewing: projectModel.previewingSegId === segid
    // Raised whenever the model announces a change of this bubble's row: a
    // segment's row is also how it tells the bubble that it starts or ends converting.
    property int rowChanges: 0
    readonly property bool converting: {
        rowChanges;
        return projectModel.isConverting && projectModel.isSegConverting(idx);
    }
    // Set while the text is replaced from the model, so it is not sent back.
    property bool syncing: false
    // Keys went into the text that the project does not hold yet.
    property bool typed: false
    signal exportRequested(int segId)
    signal focusTaken()

    height: Math.max(speaker.height, frame.height) + 4
    objectName: "segBubble_" + segid

    // The list hands the focus to its current item: that is this bubble first.
    function makeCurrent() {
        var view = bubble.ListView.view;
        if (view && view.currentIndex !== idx)
            view.currentIndex = idx;
    }

    function takeFocus() {
        makeCurrent();
        area.forceActiveFocus();
        area.cursorPosition = Math.min(projectModel.focusSegTextCursor, area.length);
        focusTaken();
    }

    // The text shows what the project holds. Typing not written yet wins
    // over an older stored text; a line break in it has been split into new
    // segments and goes.
    function syncText(text) {
        if (area.text === text || area.text.trim() === text) {
            typed = false;
            return;
        }
        if (typed && area.text.indexOf("\n") < 0)
            return;
        var pos = area.cursorPosition;
        var atEnd = pos === area.length;
        syncing = true;
        area.text = text;
        if (area.activeFocus)
            area.cursorPosition = atEnd ? area.length : Math.min(pos, area.length);
        syncing = false;
        typed = false;
    }

    // This bubble's row and text as the list model holds them right now: a
    // change reaches the Connections below before the properties above.
    readonly property int segidRole: 1
    readonly property int segtextRole: 4
    function modelRow() {
        var m = projectModel.segsItemModel();
        if (m.data(m.index(idx, 0), segidRole) === segid)
            return idx;
        var found = m.match(m.index(0, 0), segidRole, segid, 1, Qt.MatchExactly);
        return found.length > 0 ? found[0].row : -1;
    }

    // Whether a point (in this bubble) lies on its text.
    function textAt(x, y) {
        return area.contains(mapToItem(area, x, y));
    }

    onSegtextChanged: syncText(segtext)
    Component.onCompleted: {
        syncText(segtext);
        // Only a request that no bubble took yet: one made anew when it
        // scrolls back into view never takes the focus from where the user is.
        if (focusTodo === segid)
            takeFocus();
    }

    // A split, merge or removal rewrites this row, whose text may read the
    // same; a conversion announces it.
    Connections {
        target: bubble.projectModel ? bubble.projectModel.segsItemModel() : null
        function onDataChanged(topLeft, bottomRight) {
            var row = bubble.modelRow();
            var m = bubble.projectModel.segsItemModel();
            if (row < topLeft.row || row > bottomRight.row)
                return;
            bubble.rowChanges += 1;
            bubble.syncText(m.data(m.index(row, 0), bubble.segtextRole));
        }
    }

    Connections {
        target: bubble.projectModel
        function onFocusSegIdChanged() {
            if (bubble.projectModel.focusSegId === segid)
                bubble.takeFocus();
        }
    }

    // The speaker: a dot in the voice's colour; pressing it opens the voice settings.
    Column {
        id: speaker
        width: 64
        spacing: 4
        Rectangle {
            anchors.horizontalCenter: parent.horizontalCenter
            width: 36
            height: 36
            radius: 18
            color: spkcolor || "#BFBFBF"
            Text {
                anchors.centerIn: parent
                text: spkname ? spkname.charAt(0).toUpperCase() : "?"
                color: "white"
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_DEF
                font.bold: true
            }
            MouseArea {
                objectName: "speakerButton"
                anchors.fill: parent
                enabled: bubble.editable
                cursorShape: Qt.PointingHandCursor
                onClicked: bubble.projectModel.segSetting(idx)
            }
        }
        Text {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            elide: Text.ElideRight
            text: spkname || "--"
            color: spkcolor || "#8A92A3"
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_SUB3
        }
    }

    Rectangle {
        id: frame
        x: speaker.width + 6
        width: parent.width - x - tools.width - 8
        height: area.implicitHeight + 16
        radius: 8
        color: bubble.playing ? "#EAF8FF" : "white"
        border.color: bubble.playing || area.activeFocus ? MAIN_COLOR : "#E3E5EA"
        border.width: bubble.playing ? 2 : 1

        TextArea {
            id: area
            objectName: "segText"
            focus: true
            anchors.fill: parent
            anchors.margins: 2
            wrapMode: TextEdit.Wrap
            selectByMouse: true
            readOnly: !bubble.typable
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_DEF
            color: TEXTCOLOR_MAIN2
            background: null
            onActiveFocusChanged: {
                if (!activeFocus)
                    return;
                var view = bubble.ListView.view;
                if (view && view.currentIndex !== idx) {
                    bubble.makeCurrent();
                    forceActiveFocus();
                }
                bubble.projectModel.segTextChanged(idx, cursorPosition, text);
            }
            onTextChanged: {
                if (bubble.syncing)
                    return;
                bubble.typed = true;
                bubble.projectModel.segTextChanged(idx, cursorPosition, text);
            }
            // Where the user is: a split that lands puts the cursor back there.
            onCursorPositionChanged: {
                if (!bubble.syncing && activeFocus)
                    bubble.projectModel.segTextChanged(idx, cursorPosition, text);
            }
            // Backspace at the very start joins this bubble to the one above.
            Keys.onPressed: {
                if (event.key === Qt.Key_Backspace && cursorPosition === 0 && selectedText.length === 0
                        && !readOnly) {
                    bubble.projectModel.mergeSeg(idx, text);
                    event.accepted = true;
                }
            }
        }

    }

    Row {
        id: tools
        anchors.right: parent.right
        y: 6
        spacing: 2
        // While its sentences convert, in place of the preview button.
        Spinner {
            objectName: "segConverting"
            width: 32
            height: 32
            visible: bubble.converting
        }
        ToolButton {
            objectName: "previewButton"
            width: 32
            height: 32
            visible: !bubble.converting
            flat: true
            enabled: bubble.previewing || (!bubble.projectModel.isConverting && bubble.projectModel.playingSegId === 0
                                           && !bubble.projectModel.isLoading)
            text: bubble.previewing ? "\u25A0" : "\u25B6"
            font.pixelSize: 14
            ToolTip.visible: hovered
            ToolTip.text: bubble.previewing ? qsTr("Stop") : qsTr("Listen")
            onClicked: {
                if (bubble.previewing)
                    bubble.projectModel.stopPreview();
                else
                    bubble.projectModel.previewSeg(idx);
            }
        }
        ToolButton {
            objectName: "menuButton"
            width: 32
            height: 32
            flat: true
            enabled: bubble.editable
            text: "\u22EF"
            font.pixelSize: 16
            // Opened leftwards from the button's right edge, so it stays in the window.
            onClicked: menu.popup(this, width - menu.width, height)
        }
    }

    Menu {
        id: menu
        objectName: "segMenu"
        margins: typeof customWin !== "undefined" ? customWin.frameInset : 0
        font.family: FONTFAMILY_MAIN
        font.pixelSize: FONTSIZE_SUB
        MenuItem {
            text: qsTr("Voice settings")
            onTriggered: bubble.projectModel.segSetting(idx)
        }
        MenuItem {
            text: qsTr("Export")
            onTriggered: bubble.exportRequested(segid)
        }
        MenuItem {
            objectName: "deleteSegItem"
            text: qsTr("Delete")
            onTriggered: bubble.projectModel.removeSeg(idx)
        }
    }
}
