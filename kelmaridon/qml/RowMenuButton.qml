import QtQuick 2.15
import QtQuick.Controls 2.15

// The "⋯" button of a list row; its menu holds "Delete".
ToolButton {
    id: menuButton

    signal remove()

    // Opens the menu at the mouse, as a right click does.
    function popupAtMouse() {
        rowMenu.popup();
    }

    width: 32
    height: 32
    hoverEnabled: true
    text: "\u22EF"
    font.pixelSize: FONTSIZE_TITLE
    background: Rectangle {
        radius: 4
        color: menuButton.down ? "#E3E5EA" : (menuButton.hovered ? "#EEF0F3" : "transparent")
    }
    // Right-aligned under the button, so the menu stays inside the window.
    onClicked: rowMenu.popup(menuButton, menuButton.width - rowMenu.width, menuButton.height)

    Menu {
        id: rowMenu
        width: 140
        MenuItem {
            objectName: "rowDelete"
            text: qsTr("Delete")
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_SUB
            onTriggered: menuButton.remove()
        }
    }
}
