import QtQuick 2.15

// One row of the trainings list (or, with header, the column titles): voice
// name, language, trained epochs, last change and Delete.
Rectangle {
    id: row

    property bool header: false
    property int rowIndex: -1
    property string name: qsTr("Name")
    property string lang: qsTr("Language")
    property var epochs: qsTr("Epochs")
    property string modified: qsTr("Modified")
    signal open()
    signal remove()

    height: 48
    color: header ? "transparent" : (rowMouse.containsMouse ? "#F2F8FF" : "white")

    component Cell: Text {
        anchors.verticalCenter: parent.verticalCenter
        elide: Text.ElideRight
        font.family: FONTFAMILY_MAIN
        font.pixelSize: row.header ? FONTSIZE_SUB : FONTSIZE_DEF
        color: row.header ? "#8A8F99" : TEXTCOLOR_MAIN2
    }

    MouseArea {
        id: rowMouse
        anchors.fill: parent
        enabled: !row.header
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: row.open()
    }
    Row {
        x: 20
        width: parent.width - 140
        height: parent.height
        Cell {
            width: parent.width * 0.34
            text: row.name
            color: row.header ? "#8A8F99" : TEXTCOLOR_MAIN
        }
        Cell {
            width: parent.width * 0.22
            text: row.lang
        }
        Cell {
            width: parent.width * 0.14
            text: row.epochs
        }
        Cell {
            width: parent.width * 0.3
            text: row.modified
            font.pixelSize: FONTSIZE_SUB
        }
    }
    ActionButton {
        objectName: "trainingDelete" + row.rowIndex
        visible: !row.header
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
