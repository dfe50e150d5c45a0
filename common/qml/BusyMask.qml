import QtQuick 2.15
import QtQuick.Controls 2.15

// Covers its parent while something loads: swallows the mouse and shows a
// busy indicator with an optional text under it.
Rectangle {
    id: mask

    property string text: ""

    anchors.fill: parent
    color: "#B3FFFFFF"

    MouseArea {
        anchors.fill: parent
        hoverEnabled: true
        acceptedButtons: Qt.AllButtons
        onWheel: wheel.accepted = true
    }

    Column {
        anchors.centerIn: parent
        width: parent.width - 40
        spacing: 10
        BusyIndicator {
            anchors.horizontalCenter: parent.horizontalCenter
            width: 48
            height: 48
            running: mask.visible
        }
        Text {
            width: parent.width
            visible: mask.text !== ""
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            textFormat: Text.RichText
            text: mask.text
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_SUB
            color: TEXTCOLOR_MAIN2
        }
    }
}
