import QtQuick 2.15
import QtQuick.Controls 2.15

// One installed voice speaker: name, language, gender, sample and a menu.
Rectangle {
    id: row

    property var selector
    property bool picking: false
    // Column widths, shared with the headers.
    property real nameWidth
    property real langWidth
    property real sexWidth
    property real sampleWidth
    signal picked(var voice)

    readonly property bool custom: model.uid.indexOf("custom_") === 0

    height: 44
    color: rowMouse.containsMouse && picking ? "#E8F7FF" : (index % 2 ? "#FAFBFD" : "white")

    MouseArea {
        id: rowMouse
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: row.picking ? Qt.PointingHandCursor : Qt.ArrowCursor
        onClicked: if (row.picking) row.picked(model.voice)
    }

    Row {
        x: 10
        height: parent.height
        Text {
            width: row.nameWidth
            anchors.verticalCenter: parent.verticalCenter
            elide: Text.ElideRight
            text: model.name
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_DEF
            color: TEXTCOLOR_MAIN
        }
        Text {
            width: row.langWidth
            anchors.verticalCenter: parent.verticalCenter
            elide: Text.ElideRight
            text: model.native_name
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_SUB
            color: TEXTCOLOR_MAIN2
        }
        Text {
            width: row.sexWidth
            anchors.verticalCenter: parent.verticalCenter
            text: model.sex === 1 ? qsTr("Male") : (model.sex === 2 ? qsTr("Female") : "--")
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_SUB
            color: TEXTCOLOR_MAIN2
        }
        Item {
            width: row.sampleWidth
            height: parent.height
            SampleButton {
                objectName: "localSample" + index
                anchors.verticalCenter: parent.verticalCenter
                visible: !row.custom
                loading: model.sampleLoading
                onClicked: loading ? row.selector.stopSample() : row.selector.playSample(model.uid, model.spk)
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                visible: row.custom
                text: "--"
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_SUB
                color: TEXTCOLOR_MAIN2
            }
        }
    }

    ToolButton {
        id: menuButton
        objectName: "localMenu" + index
        anchors.right: parent.right
        anchors.rightMargin: 6
        anchors.verticalCenter: parent.verticalCenter
        width: 30
        height: 30
        text: "⋮"
        font.pixelSize: FONTSIZE_TITLE
        background: Rectangle {
            radius: 4
            color: menuButton.down ? "#DDE3EE" : (menuButton.hovered ? "#EEF1F6" : "transparent")
        }
        onClicked: menu.open()
        Menu {
            id: menu
            x: menuButton.width - width
            y: menuButton.height
            width: 120
            MenuItem {
                objectName: "deleteVoice"
                text: qsTr("Delete")
                onTriggered: row.selector.removeVoice(model.idx)
            }
        }
    }
}
