import QtQuick 2.15

// One entry of the start page: a glyph, a title and a line of explanation.
Rectangle {
    id: card

    property string title
    property string note
    property string glyph
    property bool primary: false
    signal clicked()

    height: 132
    radius: 10
    color: primary ? (cardMouse.containsMouse ? Qt.darker(MAIN_COLOR, 1.08) : MAIN_COLOR)
                   : (cardMouse.containsMouse ? "#F2F8FF" : "white")
    border.color: primary ? "transparent" : (cardMouse.containsMouse ? MAIN_COLOR : "#E3E5EA")

    Rectangle {
        id: badge
        x: 18
        y: 18
        width: 36
        height: 36
        radius: 18
        color: card.primary ? "#33FFFFFF" : "#E6F7FF"
        Text {
            anchors.centerIn: parent
            text: card.glyph
            font.pixelSize: 20
            font.bold: true
            color: card.primary ? "white" : MAIN_COLOR
        }
    }
    Text {
        anchors.verticalCenter: badge.verticalCenter
        anchors.left: badge.right
        anchors.leftMargin: 12
        text: card.title
        font.family: FONTFAMILY_MAIN
        font.pixelSize: FONTSIZE_TITLE
        font.bold: true
        color: card.primary ? "white" : TEXTCOLOR_MAIN
    }
    Text {
        x: 18
        y: badge.y + badge.height + 14
        width: card.width - 36
        wrapMode: Text.Wrap
        maximumLineCount: 2
        elide: Text.ElideRight
        text: card.note
        font.family: FONTFAMILY_MAIN
        font.pixelSize: FONTSIZE_SUB
        color: card.primary ? "#F0FAFF" : "#6B7280"
    }
    MouseArea {
        id: cardMouse
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: card.clicked()
    }
}
