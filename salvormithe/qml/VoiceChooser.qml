import QtQuick 2.15
import QtQuick.Controls 2.15
import InstalledVoiceList 1.0

// The installed voices to choose a segment's voice from. Choosing one emits
// voicePicked with the voice's uid and speaker, and the voice itself.
Rectangle {
    id: chooser

    property string selectedUid: ""
    property int selectedSpk: -1
    // Draws the eye when a voice must still be chosen.
    property bool attention: false
    readonly property var voices: installed.voices()
    signal voicePicked(string uid, int spk, var voice)

    implicitHeight: 180
    radius: 4
    color: "white"
    border.color: attention ? "#E5484D" : "#E3E5EA"
    border.width: attention ? 2 : 1
    opacity: enabled ? 1 : 0.5

    InstalledVoiceList { id: installed }

    ListView {
        id: voiceList
        objectName: "voiceList"
        anchors.fill: parent
        anchors.margins: 2
        clip: true
        model: chooser.voices
        ScrollBar.vertical: ScrollBar {}
        delegate: Rectangle {
            readonly property bool selected: modelData.uid === chooser.selectedUid
                                             && modelData.spk === chooser.selectedSpk
            objectName: "voice_" + modelData.uid + "_" + modelData.spk
            width: voiceList.width
            height: 34
            color: selected ? "#DDF4FF" : (rowMouse.containsMouse ? "#F3F5FA" : "transparent")
            Text {
                anchors.verticalCenter: parent.verticalCenter
                x: 10
                width: parent.width - 20
                elide: Text.ElideRight
                text: modelData.name + " (" + modelData.native + ")" + "   " + modelData.lang
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_SUB
                color: TEXTCOLOR_MAIN2
            }
            MouseArea {
                id: rowMouse
                anchors.fill: parent
                hoverEnabled: true
                onClicked: chooser.voicePicked(modelData.uid, modelData.spk, modelData)
            }
        }
    }

    Text {
        anchors.centerIn: parent
        width: parent.width - 40
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.Wrap
        visible: chooser.voices.length === 0
        text: qsTr("No voice is installed yet. Voices are installed on the Voices page.")
        font.family: FONTFAMILY_MAIN
        font.pixelSize: FONTSIZE_SUB
        color: "#8A92A3"
    }
}
