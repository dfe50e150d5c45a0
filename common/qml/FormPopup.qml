import QtQuick 2.15
import QtQuick.Controls 2.15

// A modal form in the middle of the window, closed by Escape.
Popup {
    id: popup

    // The dimmed area stays this far inside the window, within its visible frame.
    property int dimMargins: 0

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
    Overlay.modal: Item {
        Rectangle {
            anchors.fill: parent
            anchors.margins: popup.dimMargins
            radius: 10
            color: "#66000000"
        }
    }
}
