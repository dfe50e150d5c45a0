import QtQuick 2.15
import QtQuick.Controls 2.15

// A button in the main colour, or a quiet white one.
Button {
    id: actionButton

    property bool quiet: false

    width: Math.max(80, label.implicitWidth + 32)
    height: 32
    hoverEnabled: true
    background: Rectangle {
        radius: 4
        opacity: actionButton.enabled ? 1 : 0.5
        color: actionButton.quiet ? (actionButton.down ? "#F0F1F4" : (actionButton.hovered ? "#F7F8FA" : "white"))
                                  : (actionButton.down ? Qt.darker(MAIN_COLOR, 1.15)
                                                       : (actionButton.hovered ? Qt.lighter(MAIN_COLOR, 1.08) : MAIN_COLOR))
        border.color: actionButton.quiet ? "#D7D9DE" : "transparent"
    }
    contentItem: Text {
        id: label
        text: actionButton.text
        color: actionButton.quiet ? "#444E63" : "white"
        opacity: actionButton.enabled ? 1 : 0.7
        font.family: FONTFAMILY_MAIN
        font.pixelSize: FONTSIZE_SUB
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }
}
