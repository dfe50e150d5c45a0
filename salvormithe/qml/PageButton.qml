import QtQuick 2.15
import QtQuick.Controls 2.15

// A button of the project pages: the main colour, or white when quiet.
Button {
    id: control

    property bool quiet: false

    implicitWidth: Math.max(80, label.implicitWidth + 28)
    implicitHeight: 32
    opacity: enabled ? 1 : 0.45
    background: Rectangle {
        radius: 4
        color: control.quiet ? (control.down ? "#F0F1F4" : "white")
                             : (control.down ? Qt.darker(MAIN_COLOR, 1.15) : MAIN_COLOR)
        border.color: control.quiet ? "#D7D9DE" : "transparent"
    }
    contentItem: Text {
        id: label
        text: control.text
        color: control.quiet ? "#444E63" : "white"
        font.family: FONTFAMILY_MAIN
        font.pixelSize: FONTSIZE_SUB
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }
}
