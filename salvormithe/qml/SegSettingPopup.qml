import QtQuick 2.15
import QtQuick.Controls 2.15

// A segment's own voice and speech rate, or the project's default voice.
FormPopup {
    id: popup

    property var projectModel
    // The model's currentSettingSeg.
    property var setting: ({})
    property var chosenVoice: setting.voice_id !== 0 ? setting.voice : undefined
    property string chosenInfo: setting.voice_id !== 0 ? (setting.voice_info || "") : ""
    // No voice was chosen when one was needed.
    property bool chooseAttention: false

    // The voice picker; it hands back the picked installed voice.
    function chooseVoice() {
        var c = chooserComponent.createObject(popup.Overlay.overlay, { "dimMargins": dimMargins });
        c.voiceSelected.connect(function (voice) {
            popup.chosenVoice = voice;
            popup.chosenInfo = voice.name + " (" + voice.native + ")";
            popup.chooseAttention = false;
        });
        return c;
    }

    function accept() {
        projectModel.okSegSetting(setting.idx, defaultCheck.checked, chosenVoice !== undefined ? chosenVoice : ({}),
                                  Math.round(rate.value * 10) / 10);
    }

    Component {
        id: chooserComponent
        VoiceSelector {}
    }

    dimMargins: typeof customWin !== "undefined" ? customWin.frameInset : 0
    onClosed: projectModel.cancelSegSetting()
    onSettingChanged: {
        if (setting.select_voice) {
            defaultCheck.checked = false;
            chooseAttention = true;
            chooseVoice();
        }
    }
    Component.onCompleted: open()

    contentItem: Column {
        spacing: 12

        Text {
            text: qsTr("Voice settings")
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_TITLE
            font.bold: true
            color: TEXTCOLOR_MAIN
        }
        Text {
            objectName: "chosenVoiceText"
            width: parent.width
            elide: Text.ElideRight
            text: qsTr("Now: %1").arg(popup.setting.voice_info || "--")
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_SUB
            color: TEXTCOLOR_MAIN2
        }
        CheckBox {
            id: defaultCheck
            objectName: "defaultVoiceCheck"
            text: qsTr("Use the project's default voice")
            checked: popup.setting.voice_id === 0
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_SUB
        }
        Row {
            spacing: 10
            enabled: !defaultCheck.checked
            opacity: enabled ? 1 : 0.5
            Text {
                objectName: "chosenVoiceName"
                anchors.verticalCenter: parent.verticalCenter
                width: 300
                elide: Text.ElideRight
                text: popup.chosenInfo || qsTr("No voice chosen")
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_DEF
                color: chooseAttention ? "#E5484D" : TEXTCOLOR_MAIN
            }
            ActionButton {
                objectName: "chooseVoiceButton"
                quiet: true
                text: qsTr("Choose...")
                onClicked: popup.chooseVoice()
            }
        }
        Row {
            spacing: 10
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("Speech rate")
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_SUB
                color: TEXTCOLOR_MAIN2
            }
            Slider {
                id: rate
                objectName: "rateSlider"
                width: 260
                from: 0.1
                to: 2.0
                stepSize: 0.1
                snapMode: Slider.SnapAlways
                value: popup.setting.srate > 0 ? popup.setting.srate : 1.0
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("%1x").arg(rate.value.toFixed(1))
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_SUB
                color: TEXTCOLOR_MAIN2
            }
        }
        Row {
            anchors.right: parent.right
            spacing: 10
            ActionButton {
                objectName: "cancelSettingButton"
                text: qsTr("Cancel")
                quiet: true
                onClicked: popup.close()
            }
            ActionButton {
                objectName: "okSettingButton"
                text: qsTr("OK")
                onClicked: popup.accept()
            }
        }
    }
}
