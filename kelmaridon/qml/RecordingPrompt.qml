import QtQuick 2.15
import QtQuick.Controls 2.15

// The sentence to read, with the recording and playback buttons. In next
// mode it shows the next prompt and "Next"; in edit mode a recorded one.
FormPopup {
    id: prompt

    // The page's RecordingDetailModel.
    property var model
    property bool editMode: false
    // The part of the window the popup dims and shuts off; what lies outside
    // it (the window's header) stays usable. The whole window when unset.
    property Item coverArea: null

    readonly property int promptId: editMode ? model.editPromptId : model.nextPromptId
    readonly property string promptText: editMode ? model.editPrompt : model.nextPrompt
    readonly property bool finished: editMode ? model.editPromptFinished : model.nextPromptFinished
    readonly property bool recording: model.recordingId > 0
    readonly property bool playing: model.playingId > 0

    function record() {
        if (editMode)
            model.recordEditPrompt();
        else
            model.recordNextPrompt();
    }

    function done() {
        if (!editMode)
            model.recordDone();
        else if (recording)
            model.stopRecording();
        model.stopPlaying();
        close();
    }

    // coverArea (areaWidth by areaHeight) in the coordinates of the overlay
    // (overlayWidth by overlayHeight); the sizes are passed so that a binding
    // follows them.
    function coverRect(overlay, overlayWidth, overlayHeight, areaWidth, areaHeight) {
        if (!coverArea || !overlay)
            return Qt.rect(dimMargins, dimMargins, overlayWidth - 2 * dimMargins, overlayHeight - 2 * dimMargins);
        var p = coverArea.mapToItem(overlay, 0, 0);
        return Qt.rect(p.x, p.y, areaWidth, areaHeight);
    }

    width: 550
    height: editMode ? 460 : 500
    closePolicy: Popup.NoAutoClose
    padding: 24
    onClosed: destroy()

    // Not modal, which would shut off the whole window: the shade takes
    // every press and wheel turn over the area it covers.
    modal: false
    dim: true
    Overlay.modeless: Item {
        id: dimmer
        Rectangle {
            objectName: "promptShade"
            readonly property rect area: prompt.coverRect(dimmer.parent, dimmer.width, dimmer.height,
                                                          prompt.coverArea ? prompt.coverArea.width : 0,
                                                          prompt.coverArea ? prompt.coverArea.height : 0)
            x: area.x
            y: area.y
            width: area.width
            height: area.height
            radius: 10
            color: "#66000000"
            MouseArea {
                anchors.fill: parent
                acceptedButtons: Qt.AllButtons
                hoverEnabled: true
                preventStealing: true
                onWheel: wheel.accepted = true
            }
        }
    }

    Connections {
        target: prompt.model
        function onNoPrompts() { prompt.close(); }
    }

    contentItem: Item {
        Text {
            id: intro
            width: parent.width
            wrapMode: Text.Wrap
            text: qsTr("Please read the following sentence in a quiet environment:")
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_DEF
            color: TEXTCOLOR_MAIN2
        }

        Rectangle {
            id: sentenceBox
            y: intro.height + 16
            width: parent.width
            height: 150
            radius: 10
            color: "#F2FAFF"
            border.color: prompt.recording ? "#FF5A5A" : "#CDEBFA"
            border.width: prompt.recording ? 2 : 1
            Text {
                objectName: "promptNumber"
                x: 14
                y: 10
                text: "#%1".arg(prompt.promptId)
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_SUB2
                color: "#8A8F99"
            }
            Text {
                objectName: "promptText"
                anchors.centerIn: parent
                width: parent.width - 40
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                text: prompt.promptText
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_TITLE
                color: TEXTCOLOR_MAIN
            }
        }

        Row {
            id: actions
            y: sentenceBox.y + sentenceBox.height + 20
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 10
            ActionButton {
                objectName: "promptStart"
                visible: !prompt.recording && !prompt.finished
                text: qsTr("Start Recording")
                onClicked: prompt.record()
            }
            ActionButton {
                objectName: "promptAgain"
                visible: !prompt.recording && prompt.finished
                quiet: true
                text: qsTr("Try again")
                onClicked: prompt.record()
            }
            ActionButton {
                objectName: "promptStop"
                visible: prompt.recording
                text: qsTr("Stop Recording")
                onClicked: prompt.model.stopRecording()
            }
            ActionButton {
                objectName: "promptPlay"
                visible: prompt.finished && !prompt.recording && !prompt.playing
                quiet: true
                text: qsTr("Play audio")
                onClicked: prompt.model.playRecord(prompt.promptId)
            }
            ActionButton {
                objectName: "promptStopAudio"
                visible: prompt.playing
                quiet: true
                text: qsTr("Stop audio")
                onClicked: prompt.model.stopPlaying()
            }
            ActionButton {
                objectName: "promptNext"
                visible: !prompt.editMode
                text: qsTr("Next")
                onClicked: prompt.model.todoNextPrompt()
            }
            ActionButton {
                objectName: "promptDone"
                quiet: true
                text: qsTr("Done")
                onClicked: prompt.done()
            }
        }

        Column {
            y: actions.y + actions.height + 24
            width: parent.width
            spacing: 6
            Text {
                text: qsTr("Quick Tips")
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_SUB
                font.bold: true
                color: TEXTCOLOR_MAIN
            }
            Repeater {
                model: [qsTr("• Keep down background noise"), qsTr("• Avoid long pauses"),
                        qsTr("• Avoid stuttering or stammering")]
                Text {
                    text: modelData
                    font.family: FONTFAMILY_MAIN
                    font.pixelSize: FONTSIZE_SUB
                    color: TEXTCOLOR_MAIN2
                }
            }
        }
    }

    Component.onCompleted: open()
}
