import QtQuick 2.15
import QtQuick.Controls 2.15
import InstalledVoiceList 1.0

// Lists the installed voice speakers; picking one emits voicePicked and closes.
Popup {
    id: chooser

    property int dimMargins: 0
    signal voicePicked(string uid, int spk)

    anchors.centerIn: Overlay.overlay
    width: 420
    height: 420
    modal: true
    focus: true
    closePolicy: Popup.CloseOnEscape
    padding: 20
    background: Rectangle {
        color: "white"
        radius: 8
        border.color: "#E3E5EA"
    }
    Overlay.modal: Item {
        Rectangle {
            anchors.fill: parent
            anchors.margins: chooser.dimMargins
            radius: 10
            color: "#33000000"
        }
    }
    onClosed: destroy()

    InstalledVoiceList {
        id: installed
    }

    contentItem: Item {
        Text {
            id: heading
            text: qsTr("Select a voice")
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_TITLE
            font.bold: true
            color: TEXTCOLOR_MAIN
        }
        ListView {
            id: voiceList
            objectName: "voiceChooserList"
            anchors.top: heading.bottom
            anchors.topMargin: 12
            anchors.bottom: closeButton.top
            anchors.bottomMargin: 12
            width: parent.width
            clip: true
            model: installed.voicesModel()
            ScrollBar.vertical: ScrollBar {}
            delegate: Rectangle {
                objectName: "voiceChoice" + index
                width: voiceList.width
                height: 44
                color: choiceMouse.containsMouse ? "#E8F7FF" : (index % 2 ? "#FAFBFD" : "white")
                Column {
                    anchors.verticalCenter: parent.verticalCenter
                    x: 10
                    Text {
                        text: model.name + " (" + model.native_name + ")"
                        font.family: FONTFAMILY_MAIN
                        font.pixelSize: FONTSIZE_DEF
                        color: TEXTCOLOR_MAIN
                    }
                    Text {
                        text: model.eng_name + (model.spk > 0 ? "  ·  " + qsTr("Speaker %1").arg(model.spk) : "")
                        font.family: FONTFAMILY_MAIN
                        font.pixelSize: FONTSIZE_SUB2
                        color: "#8A8F99"
                    }
                }
                MouseArea {
                    id: choiceMouse
                    anchors.fill: parent
                    hoverEnabled: true
                    cursorShape: Qt.PointingHandCursor
                    onClicked: {
                        chooser.voicePicked(model.uid, model.spk);
                        chooser.close();
                    }
                }
            }
        }
        Text {
            objectName: "voiceChooserEmpty"
            anchors.centerIn: voiceList
            width: voiceList.width - 40
            visible: voiceList.count === 0
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            text: qsTr("No voice is installed yet. Install one on the Voices page.")
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_DEF
            color: "#8A8F99"
        }
        ActionButton {
            id: closeButton
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            quiet: true
            text: qsTr("Close")
            onClicked: chooser.close()
        }
    }

    Component.onCompleted: {
        installed.reload();
        open();
    }
}
