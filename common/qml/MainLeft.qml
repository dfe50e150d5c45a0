import QtQuick 2.15

// The navigation column. Each entry is { key, text, source } or { key, text, action }.
Rectangle {
    id: mainLeftBar

    property var entries: []
    // The key of the entry of the shown page; pages set it when they load.
    property string current: ""
    signal navRequested(string source)

    function activate(i) {
        var entry = entries[i];
        if (typeof entry.action === "function")
            entry.action();
        else if (entry.source)
            navRequested(entry.source);
    }

    width: 200
    color: "#F6F8FD"

    Column {
        x: (parent.width - 180) / 2
        y: 10
        spacing: 6
        Repeater {
            id: entryRepeater
            model: mainLeftBar.entries
            delegate: Rectangle {
                readonly property bool isCurrent: modelData.key === mainLeftBar.current
                objectName: "navEntry_" + modelData.key
                width: 180
                height: 40
                radius: 6
                color: isCurrent ? MAIN_COLOR : (entryMouse.containsMouse ? "#E8EDF8" : "transparent")
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    x: 20
                    text: modelData.text
                    color: parent.isCurrent ? "white" : TEXTCOLOR_MAIN2
                    font.family: FONTFAMILY_MAIN
                    font.pixelSize: FONTSIZE_DEF
                }
                MouseArea {
                    id: entryMouse
                    anchors.fill: parent
                    hoverEnabled: true
                    cursorShape: Qt.PointingHandCursor
                    onClicked: mainLeftBar.activate(index)
                }
            }
        }
    }
}
