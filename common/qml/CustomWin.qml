import QtQuick 2.15
import QtQuick.Window 2.15
import QtQuick.Controls 2.15
import QtGraphicalEffects 1.15

// The frame of a frameless window: shadow, rounded background, moving by
// dragging, resizing by its edges and corners, maximising by a double click
// on the header.
Item {
    id: frame

    property Window win
    property alias contentItem: contentArea
    default property alias content: contentArea.data
    property int enableSize: 5
    property int shadowRadius: 10
    property bool canResize: true
    property int headerHeight: 50
    readonly property bool isMax: win !== null && win.visibility === Window.Maximized
    readonly property bool isFullScreen: win !== null && win.visibility === Window.FullScreen
    // Inset of the visible frame from the window's edge.
    readonly property int frameInset: Math.max(0, contentArea.anchors.margins - 9)
    // While busy, a layer over the content takes every mouse event and shows
    // a busy indicator above busyText (kelmaridon's environment installation).
    property bool busy: false
    property string busyText: ""

    anchors.fill: parent

    function toggleMax() {
        if (!win)
            return;
        if (isMax)
            win.showNormal();
        else
            win.showMaximized();
    }

    // The window's geometry after dragging the given edges by (dx, dy) from
    // start. Width and height stay at or above the window's minimum; when a
    // left or top edge stops there, the opposite edge stays where it was.
    function resizedGeometry(start, dx, dy, edges) {
        var minW = Math.max(1, win ? win.minimumWidth : 1);
        var minH = Math.max(1, win ? win.minimumHeight : 1);
        var x = start.x, y = start.y, w = start.width, h = start.height;
        if (edges & Qt.LeftEdge) {
            w = Math.max(minW, start.width - dx);
            x = start.x + start.width - w;
        } else if (edges & Qt.RightEdge) {
            w = Math.max(minW, start.width + dx);
        }
        if (edges & Qt.TopEdge) {
            h = Math.max(minH, start.height - dy);
            y = start.y + start.height - h;
        } else if (edges & Qt.BottomEdge) {
            h = Math.max(minH, start.height + dy);
        }
        return Qt.rect(x, y, w, h);
    }

    function applyGeometry(g) {
        win.x = g.x;
        win.y = g.y;
        win.width = g.width;
        win.height = g.height;
    }

    // Moves the window; left to the window system where it can do it itself.
    MouseArea {
        id: moveArea
        property point pressGlobal
        property point startPos
        property bool triedSystem: false
        property bool systemMove: false

        anchors.fill: parent
        acceptedButtons: Qt.LeftButton
        onPressed: {
            pressGlobal = mapToGlobal(mouse.x, mouse.y);
            startPos = Qt.point(frame.win.x, frame.win.y);
            triedSystem = false;
            systemMove = false;
        }
        onPositionChanged: {
            if (!pressed || frame.isMax || frame.isFullScreen || systemMove)
                return;
            if (!triedSystem) {
                triedSystem = true;
                if (frame.win.startSystemMove()) {
                    systemMove = true;
                    return;
                }
            }
            var g = mapToGlobal(mouse.x, mouse.y);
            frame.win.x = startPos.x + g.x - pressGlobal.x;
            frame.win.y = startPos.y + g.y - pressGlobal.y;
        }
        onDoubleClicked: {
            if (mouse.y < frame.headerHeight)
                frame.toggleMax();
        }
    }

    Rectangle {
        id: background
        anchors.fill: contentArea
        anchors.margins: -9
        radius: 10
        color: "#FBFBFE"
    }

    DropShadow {
        anchors.fill: background
        source: background
        visible: !frame.isMax
        radius: frame.shadowRadius
        samples: 20
        cached: true
        color: "#80808080"
        z: -1
    }

    Item {
        id: contentArea
        anchors.fill: parent
        anchors.margins: frame.isMax ? 5 : frame.shadowRadius * 2
    }

    Rectangle {
        id: busyLayer
        objectName: "busyLayer"
        anchors.fill: contentArea
        color: "#99FFFFFF"
        visible: frame.busy
        z: 1

        MouseArea {
            anchors.fill: parent
            acceptedButtons: Qt.AllButtons
            hoverEnabled: true
            preventStealing: true
            onWheel: wheel.accepted = true
        }

        Column {
            anchors.centerIn: parent
            spacing: 16
            BusyIndicator {
                anchors.horizontalCenter: parent.horizontalCenter
                width: 64
                height: 64
                running: frame.busy
            }
            Text {
                objectName: "busyText"
                anchors.horizontalCenter: parent.horizontalCenter
                text: frame.busyText
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_DEF
                color: TEXTCOLOR_MAIN2
            }
        }
    }

    component Handle: MouseArea {
        id: handle
        property int edges: 0
        property point pressGlobal
        property rect startGeometry
        property bool systemResize: false

        enabled: frame.canResize && !frame.isMax && !frame.isFullScreen
        visible: enabled
        width: frame.enableSize
        height: frame.enableSize
        onPressed: {
            pressGlobal = mapToGlobal(mouse.x, mouse.y);
            startGeometry = Qt.rect(frame.win.x, frame.win.y, frame.win.width, frame.win.height);
            systemResize = frame.win.startSystemResize(edges);
        }
        onPositionChanged: {
            if (!pressed || systemResize)
                return;
            var g = mapToGlobal(mouse.x, mouse.y);
            frame.applyGeometry(frame.resizedGeometry(startGeometry, g.x - pressGlobal.x,
                                                      g.y - pressGlobal.y, edges));
        }
    }

    readonly property int handleInset: shadowRadius

    Handle {
        objectName: "resizeLeft"
        edges: Qt.LeftEdge
        cursorShape: Qt.SizeHorCursor
        x: frame.handleInset
        y: frame.handleInset + frame.enableSize
        height: frame.height - 2 * (frame.handleInset + frame.enableSize)
    }
    Handle {
        objectName: "resizeRight"
        edges: Qt.RightEdge
        cursorShape: Qt.SizeHorCursor
        x: frame.width - frame.handleInset - frame.enableSize
        y: frame.handleInset + frame.enableSize
        height: frame.height - 2 * (frame.handleInset + frame.enableSize)
    }
    Handle {
        objectName: "resizeTop"
        edges: Qt.TopEdge
        cursorShape: Qt.SizeVerCursor
        x: frame.handleInset + frame.enableSize
        y: frame.handleInset
        width: frame.width - 2 * (frame.handleInset + frame.enableSize)
    }
    Handle {
        objectName: "resizeBottom"
        edges: Qt.BottomEdge
        cursorShape: Qt.SizeVerCursor
        x: frame.handleInset + frame.enableSize
        y: frame.height - frame.handleInset - frame.enableSize
        width: frame.width - 2 * (frame.handleInset + frame.enableSize)
    }
    Handle {
        objectName: "resizeTopLeft"
        edges: Qt.TopEdge | Qt.LeftEdge
        cursorShape: Qt.SizeFDiagCursor
        x: frame.handleInset
        y: frame.handleInset
    }
    Handle {
        objectName: "resizeTopRight"
        edges: Qt.TopEdge | Qt.RightEdge
        cursorShape: Qt.SizeBDiagCursor
        x: frame.width - frame.handleInset - frame.enableSize
        y: frame.handleInset
    }
    Handle {
        objectName: "resizeBottomLeft"
        edges: Qt.BottomEdge | Qt.LeftEdge
        cursorShape: Qt.SizeBDiagCursor
        x: frame.handleInset
        y: frame.height - frame.handleInset - frame.enableSize
    }
    Handle {
        objectName: "resizeBottomRight"
        edges: Qt.BottomEdge | Qt.RightEdge
        cursorShape: Qt.SizeFDiagCursor
        x: frame.width - frame.handleInset - frame.enableSize
        y: frame.height - frame.handleInset - frame.enableSize
    }
}
