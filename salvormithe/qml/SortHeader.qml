import QtQuick 2.15

// A column title that sorts its list: ascending first, descending when
// ascending is the current order. The current order shows an arrow.
Item {
    id: header

    property string title
    property int ascSort: 0
    property int descSort: 0
    property int current: 0
    signal sortRequested(int sort)

    readonly property bool active: current === ascSort || current === descSort

    implicitHeight: 32

    Text {
        objectName: "sortTitle"
        anchors.verticalCenter: parent.verticalCenter
        width: parent.width
        elide: Text.ElideRight
        text: header.title + (header.current === header.ascSort ? " ↑" : (header.current === header.descSort ? " ↓" : ""))
        font.family: FONTFAMILY_MAIN
        font.pixelSize: FONTSIZE_SUB
        font.bold: header.active
        color: header.active ? MAIN_COLOR : "#8A8F99"
    }

    MouseArea {
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: header.sortRequested(header.current === header.ascSort ? header.descSort : header.ascSort)
    }
}
