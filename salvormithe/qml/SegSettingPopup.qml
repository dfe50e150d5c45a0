import QtQuick 2.15
import QtQuick.Controls 2.15

// A segment's own voice and speech rate, or the project's default voice.
Popup {
    id: popup

    property var projectModel
    // The model's currentSettingSeg.
    property var setting: ({})
    property var chosenVoice: setting.voice_id !== 0 ? setting.voice : undefined
    property string chosenInfo: setting.voice_info || ""

    function accept() {
        var voice = chosenVoice !== undefined ? chosenVoice : popup.setting.voice;
        projectModel.okSegSetting(setting.idx, defaultCheck.checked, voice, Math.round(rate.value * 10) / 10);
    }

    anchors.centerIn: Overlay.overlay
    width: 480
    modal: true
    focus: true
    closePolicy: Popup.CloseOnEscape
    padding: 20
    background: Rectangle {
        color: "white"
        radius: 8
        border.color: "#E3E5EA"
    }
    onClosed: projectModel.cancelSegSetting()
    onSettingChanged: {
        if (setting.select_voice) {
            defaultCheck.checked = false;
            chooser.attention = true;
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
            text: qsTr("Voice: %1").arg(defaultCheck.checked ? (projectModel.defaultVoice.name || "--") : popup.chosenInfo)
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
        VoiceChooser {
            id: chooser
            objectName: "voiceChooser"
            width: parent.width
            enabled: !defaultCheck.checked
            selectedUid: popup.chosenVoice !== undefined ? popup.chosenVoice.uid : ""
            selectedSpk: popup.chosenVoice !== undefined ? popup.chosenVoice.spk : -1
            onVoicePicked: {
                popup.chosenVoice = voice;
                popup.chosenInfo = voice.name + " (" + voice.native + ")";
                attention = false;
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
            PageButton {
                objectName: "cancelSettingButton"
                text: qsTr("Cancel")
                quiet: true
                onClicked: popup.close()
            }
            PageButton {
                objectName: "okSettingButton"
                text: qsTr("OK")
                onClicked: popup.accept()
            }
        }
    }
}
