import QtQuick 2.15

// Plays a voice sample. While the sample downloads it turns around a stop
// square; clicking it then asks to stop.
Rectangle {
    id: button

    // The sample of this button is being downloaded.
    property bool loading: false
    signal clicked()

    width: 28
    height: 28
    radius: 14
    color: mouse.pressed ? Qt.darker(MAIN_COLOR, 1.15) : (mouse.containsMouse ? MAIN_COLOR : "#E6F7FF")

    // A play triangle.
    Canvas {
        id: triangle
        anchors.centerIn: parent
        anchors.horizontalCenterOffset: 1
        width: 10
        height: 12
        visible: !button.loading
        property color fill: mouse.containsMouse ? "white" : MAIN_COLOR
        onFillChanged: requestPaint()
        onPaint: {
            var ctx = getContext("2d");
            ctx.reset();
            ctx.fillStyle = fill;
            ctx.beginPath();
            ctx.moveTo(0, 0);
            ctx.lineTo(width, height / 2);
            ctx.lineTo(0, height);
            ctx.closePath();
            ctx.fill();
        }
    }

    // A dot that circles the stop square.
    Item {
        objectName: "sampleLoading"
        anchors.fill: parent
        visible: button.loading
        Rectangle {
            x: (parent.width - width) / 2
            y: 1
            width: 5
            height: 5
            radius: 2.5
            color: mouse.containsMouse ? "white" : MAIN_COLOR
        }
        RotationAnimator on rotation {
            from: 0
            to: 360
            duration: 900
            loops: Animation.Infinite
            running: button.loading
        }
    }

    Rectangle {
        anchors.centerIn: parent
        width: 8
        height: 8
        radius: 1
        visible: button.loading
        color: mouse.containsMouse ? "white" : MAIN_COLOR
    }

    MouseArea {
        id: mouse
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: button.clicked()
    }
}
