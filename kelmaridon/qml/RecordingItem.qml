import QtQuick 2.15
import QtQuick.Controls 2.15

// One recorded sentence: its text in a bubble and a play or stop button.
// A double click opens it for recording again; its menu has "Delete".
Item {
    id: item

    property int playingId: 0
    readonly property bool isPlaying: playingId === model.rid
    signal play()
    signal stop()
    signal edit()
    signal remove()

    objectName: "recItem" + index
    height: Math.max(bubble.height, 44)

    Image {
        id: playButton
        objectName: "recPlay" + index
        width: 36
        height: 36
        anchors.verticalCenter: parent.verticalCenter
        source: item.isPlaying ? "qrc:/res/icon_stop.png" : "qrc:/res/icon_play.png"
        MouseArea {
            anchors.fill: parent
            cursorShape: Qt.PointingHandCursor
            onClicked: item.isPlaying ? item.stop() : item.play()
        }
    }

    Rectangle {
        id: bubble
        x: playButton.width + 12
        width: Math.min(item.width - x - 40, textItem.implicitWidth + 32)
        height: textItem.height + 24
        radius: 12
        color: bubbleMouse.containsMouse ? "#DDF3FF" : "#EEF8FF"
        Text {
            id: textItem
            x: 16
            y: 12
            width: item.width - bubble.x - 40 - 32
            wrapMode: Text.Wrap
            text: model.rtext
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_DEF
            color: TEXTCOLOR_MAIN
        }
        MouseArea {
            id: bubbleMouse
            anchors.fill: parent
            hoverEnabled: true
            acceptedButtons: Qt.LeftButton | Qt.RightButton
            onDoubleClicked: item.edit()
            onClicked: function (mouse) {
                if (mouse.button === Qt.RightButton)
                    menuButton.popupAtMouse();
            }
        }
    }

    RowMenuButton {
        id: menuButton
        objectName: "recMenu" + index
        anchors.left: bubble.right
        anchors.leftMargin: 4
        anchors.verticalCenter: parent.verticalCenter
        onRemove: item.remove()
    }
}
