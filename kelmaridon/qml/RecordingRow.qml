import QtQuick 2.15
import QtQuick.Controls 2.15

// One row of the recordings list: icon, name, language, last change, and a
// menu with "Delete".
Rectangle {
    id: row

    signal open()
    signal remove()

    objectName: "recordingRow" + index
    height: 56
    color: rowMouse.containsMouse ? "#F2F8FF" : "white"

    MouseArea {
        id: rowMouse
        anchors.fill: parent
        hoverEnabled: true
        acceptedButtons: Qt.LeftButton | Qt.RightButton
        cursorShape: Qt.PointingHandCursor
        onClicked: function (mouse) {
            if (mouse.button === Qt.RightButton)
                menuButton.popupAtMouse();
            else
                row.open();
        }
    }
    Image {
        x: 20
        anchors.verticalCenter: parent.verticalCenter
        width: 36
        height: 36
        source: "qrc:/res/icon_recording.png"
    }
    Row {
        x: 72
        width: parent.width - 72 - 60
        height: parent.height
        Text {
            width: parent.width * 0.45 - 8
            anchors.verticalCenter: parent.verticalCenter
            elide: Text.ElideRight
            text: model.name
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_DEF
            color: TEXTCOLOR_MAIN
        }
        Text {
            width: parent.width * 0.25 - 8
            anchors.verticalCenter: parent.verticalCenter
            elide: Text.ElideRight
            text: model.lang
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_SUB
            color: TEXTCOLOR_MAIN2
        }
        Text {
            width: parent.width * 0.3
            anchors.verticalCenter: parent.verticalCenter
            text: model.modified
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_SUB
            color: TEXTCOLOR_MAIN2
        }
    }
    RowMenuButton {
        id: menuButton
        objectName: "recordingMenu" + index
        anchors.right: parent.right
        anchors.rightMargin: 12
        anchors.verticalCenter: parent.verticalCenter
        onRemove: row.remove()
    }
    Rectangle {
        anchors.bottom: parent.bottom
        width: parent.width
        height: 1
        color: "#F1F2F5"
    }
}

