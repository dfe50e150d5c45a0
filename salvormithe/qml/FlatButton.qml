import QtQuick 2.15
import QtQuick.Controls 2.15

// A button in the product's colour; a quiet one is white with a grey border.
Button {
    id: button

    property bool quiet: false

    implicitWidth: Math.max(80, label.implicitWidth + 24)
    implicitHeight: 30
    opacity: enabled ? 1 : 0.5

    background: Rectangle {
        radius: 4
        color: button.quiet ? (button.down ? "#F0F1F4" : "white")
                            : (button.down ? Qt.darker(MAIN_COLOR, 1.15) : MAIN_COLOR)
        border.color: button.quiet ? "#D7D9DE" : "transparent"
    }
    contentItem: Text {
        id: label
        text: button.text
        color: button.quiet ? "#444E63" : "white"
        font.family: FONTFAMILY_MAIN
        font.pixelSize: FONTSIZE_SUB
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
}
