import QtQuick 2.15
import QtQuick.Controls 2.15
import ProjectSettingFormModel 1.0

// The project settings popup: the project's name (hidden when files are
// converted), its default voice and its speech rate. OK hands the three
// values on through accepted().
FormPopup {
    id: form

    property string title: qsTr("New Project")
    property bool showName: true
    // Values of an open project; an empty name keeps the proposed one.
    property string initialName: ""
    property var initialVoice
    property real initialSrate: 1.0
    readonly property alias formModel: formModel
    signal accepted(string name, var voice, real srate)
    // Closed without OK (Cancel, Escape).
    signal rejected()
    property bool answered: false

    function voiceText(v) {
        if (!v || !v.uid)
            return "";
        return v.native ? "%1 (%2)".arg(v.name).arg(v.native) : v.name;
    }

    function chooseVoice() {
        var c = chooserComponent.createObject(form.contentItem, { "dimMargins": form.dimMargins });
        c.voiceSelected.connect(function (voice) { formModel.voice = voice; });
        return c;
    }

    padding: 24
    onClosed: {
        if (!answered)
            rejected();
        destroy();
    }

    ProjectSettingFormModel {
        id: formModel
        onOkTodo: {
            var name = formModel.projectName;
            var voice = formModel.voice;
            var srate = formModel.srate;
            form.answered = true;
            form.accepted(name, voice, srate);
            form.close();
        }
    }

    Component {
        id: chooserComponent
        VoiceSelector {}
    }

    contentItem: Column {
        spacing: 18

        Text {
            objectName: "settingTitle"
            text: form.title
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_TITLE
            font.bold: true
            color: TEXTCOLOR_MAIN
        }

        Column {
            width: parent.width
            spacing: 6
            visible: form.showName
            Text {
                text: qsTr("Project name")
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_SUB
                color: TEXTCOLOR_MAIN2
            }
            TextField {
                id: nameField
                objectName: "projectNameField"
                width: parent.width
                text: formModel.projectName
                selectByMouse: true
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_DEF
                onTextEdited: formModel.projectName = text
                onAccepted: formModel.ok()
            }
        }

        Column {
            width: parent.width
            spacing: 6
            Text {
                text: qsTr("Default voice")
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_SUB
                color: TEXTCOLOR_MAIN2
            }
            Rectangle {
                id: voiceField
                objectName: "voiceField"
                readonly property string shown: form.voiceText(formModel.voice)
                width: parent.width
                height: 40
                radius: 4
                color: voiceMouse.containsMouse ? "#F7FBFF" : "white"
                border.color: voiceMouse.containsMouse ? MAIN_COLOR : "#D7D9DE"
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    x: 12
                    width: parent.width - 60
                    elide: Text.ElideRight
                    text: voiceField.shown.length > 0 ? voiceField.shown : qsTr("Select a voice")
                    font.family: FONTFAMILY_MAIN
                    font.pixelSize: FONTSIZE_DEF
                    color: voiceField.shown.length > 0 ? TEXTCOLOR_MAIN : "#9AA0AA"
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    anchors.right: parent.right
                    anchors.rightMargin: 12
                    text: "\u25BE"
                    font.pixelSize: FONTSIZE_DEF
                    color: "#8A8F99"
                }
                MouseArea {
                    id: voiceMouse
                    anchors.fill: parent
                    hoverEnabled: true
                    cursorShape: Qt.PointingHandCursor
                    onClicked: form.chooseVoice()
                }
            }
        }

        Column {
            width: parent.width
            spacing: 6
            Text {
                text: qsTr("Speed")
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_SUB
                color: TEXTCOLOR_MAIN2
            }
            Row {
                width: parent.width
                spacing: 12
                Slider {
                    id: speedSlider
                    objectName: "speedSlider"
                    width: parent.width - speedText.width - 12
                    from: 0.1
                    to: 2.0
                    stepSize: 0.1
                    snapMode: Slider.SnapAlways
                    value: formModel.srate
                    onMoved: formModel.srate = Math.round(value * 10) / 10
                }
                Text {
                    id: speedText
                    objectName: "speedText"
                    anchors.verticalCenter: parent.verticalCenter
                    width: 44
                    text: "%1x".arg(formModel.srate.toFixed(1))
                    font.family: FONTFAMILY_MAIN
                    font.pixelSize: FONTSIZE_DEF
                    color: TEXTCOLOR_MAIN
                }
            }
        }

        Row {
            anchors.right: parent.right
            spacing: 10
            ActionButton {
                objectName: "settingCancel"
                quiet: true
                text: qsTr("Cancel")
                onClicked: form.close()
            }
            ActionButton {
                objectName: "settingOk"
                text: qsTr("OK")
                onClicked: formModel.ok()
            }
        }
    }

    Component.onCompleted: {
        if (initialName.length > 0)
            formModel.projectName = initialName;
        if (initialVoice !== undefined && initialVoice !== null)
            formModel.voice = initialVoice;
        formModel.srate = initialSrate;
        open();
        if (showName) {
            nameField.forceActiveFocus();
            nameField.selectAll();
        }
    }
}
