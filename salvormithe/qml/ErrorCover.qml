import QtQuick 2.15

// Covers a list whose loading failed with the error text.
Rectangle {
    id: cover

    property string text: ""

    anchors.fill: parent
    visible: text !== ""
    color: "white"

    MouseArea {
        anchors.fill: parent
        onWheel: wheel.accepted = true
    }

    Text {
        objectName: "errorText"
        anchors.centerIn: parent
        width: parent.width - 40
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.Wrap
        textFormat: Text.RichText
        text: cover.text
        font.family: FONTFAMILY_MAIN
        font.pixelSize: FONTSIZE_DEF
        color: "#D9534F"
    }
}
