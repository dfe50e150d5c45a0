import QtQuick 2.15

// One row of the project list: name, creation time and Delete.
Rectangle {
    id: row

    signal open()
    signal remove()

    objectName: "projectRow" + index
    height: 48
    color: rowMouse.containsMouse ? "#F2F8FF" : "white"

    MouseArea {
        id: rowMouse
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: row.open()
    }
    Row {
        x: 20
        width: parent.width - 40
        height: parent.height
        Text {
            width: parent.width * 0.55
            anchors.verticalCenter: parent.verticalCenter
            elide: Text.ElideRight
            text: model.name
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_DEF
            color: TEXTCOLOR_MAIN
        }
        Text {
            width: parent.width * 0.3
            anchors.verticalCenter: parent.verticalCenter
            text: model.created
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_SUB
            color: TEXTCOLOR_MAIN2
        }
    }
    ActionButton {
        objectName: "projectDelete" + index
        anchors.right: parent.right
        anchors.rightMargin: 16
        anchors.verticalCenter: parent.verticalCenter
        quiet: true
        text: qsTr("Delete")
        onClicked: row.remove()
    }
    Rectangle {
        anchors.bottom: parent.bottom
        width: parent.width
        height: 1
        color: "#F1F2F5"
    }
}
