import QtQuick 2.15

// Short notices near the bottom of the window that fade in and out.
Item {
    id: toastUtil

    // The item the notices are drawn in (the window's content by default).
    property Item host: parent
    property var current: null
    readonly property bool animating: current !== null

    // Shows text for time ms (1000 when not given); ignored while a notice
    // is still on screen.
    function show(text, time) {
        if (current !== null)
            return null;
        var total = (time === undefined || time === null) ? 1000 : time;
        var label = labelComponent.createObject(host, { "text": text, "total": total });
        current = label;
        label.start();
        return label;
    }

    Component {
        id: labelComponent
        Rectangle {
            id: label
            property alias text: labelText.text
            property int total: 1000
            readonly property int fadeIn: total / 3
            readonly property int fadeOut: total / 5

            z: 1000
            color: "#808080"
            radius: 10
            height: 30
            width: labelText.implicitWidth + 50
            x: (parent.width - width) / 2
            y: parent.height - 100 - height
            opacity: 0

            Text {
                id: labelText
                anchors.centerIn: parent
                color: "white"
                font.pixelSize: 12
            }

            function start() { fades.start(); }

            SequentialAnimation {
                id: fades
                NumberAnimation { target: label; property: "opacity"; from: 0; to: 1; duration: label.fadeIn }
                PauseAnimation { duration: Math.max(0, label.total - label.fadeIn - label.fadeOut) }
                NumberAnimation { target: label; property: "opacity"; from: 1; to: 0; duration: label.fadeOut }
                ScriptAction {
                    script: {
                        toastUtil.current = null;
                        label.destroy();
                    }
                }
            }
        }
    }
}
