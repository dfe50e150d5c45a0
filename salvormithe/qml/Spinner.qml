import QtQuick 2.15

// A small turning ring that tells that work is going on.
Item {
    id: spinner

    property int size: 18
    property bool running: visible

    implicitWidth: size
    implicitHeight: size

    Item {
        anchors.centerIn: parent
        width: spinner.size
        height: spinner.size
        Rectangle {
            anchors.fill: parent
            radius: width / 2
            color: "transparent"
            border.color: "#CDEFFD"
            border.width: Math.max(3, spinner.size / 6)
        }
        Rectangle {
            x: (parent.width - width) / 2
            width: Math.max(6, spinner.size / 3)
            height: width
            radius: width / 2
            color: MAIN_COLOR
        }
        RotationAnimator on rotation {
            from: 0
            to: 360
            duration: 900
            loops: Animation.Infinite
            running: spinner.running
        }
    }
}
