import QtQuick 2.15

// Three rising bars: one lit for low quality (below 2), two for medium (2),
// three for high (above 2).
Row {
    id: icon

    property int quality: 0
    readonly property int level: quality < 2 ? 1 : (quality === 2 ? 2 : 3)

    spacing: 2

    Repeater {
        model: 3
        Rectangle {
            anchors.bottom: parent.bottom
            width: 5
            height: 6 + index * 5
            radius: 1
            color: index < icon.level ? MAIN_COLOR : "#D7D9DE"
        }
    }
}
