import QtQuick 2.15

// A small turning ring that tells that work is going on. It turns in steps,
// a few a second, so that a window drawn without a graphics card is not drawn
// anew sixty times a second for it; every spinner of the window steps at the
// same moments, so that several are drawn in one frame.
Item {
    id: spinner

    property int size: 18
    property bool running: visible
    // Steps of a turn, and the time of one step.
    readonly property int steps: 8
    readonly property int stepMs: 125

    function stepNow() {
        return Math.floor(Date.now() / stepMs) % steps;
    }
    function untilNextStep() {
        return stepMs - Date.now() % stepMs + 1;
    }

    implicitWidth: size
    implicitHeight: size

    Item {
        id: ring
        property int step: 0
        anchors.centerIn: parent
        width: spinner.size
        height: spinner.size
        rotation: step * 360 / spinner.steps
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
        Timer {
            running: spinner.running
            onRunningChanged: {
                if (!running)
                    return;
                ring.step = spinner.stepNow();
                interval = spinner.untilNextStep();
            }
            onTriggered: {
                ring.step = spinner.stepNow();
                interval = spinner.untilNextStep();
                restart();
            }
        }
    }
}
