import QtQuick 2.15
import QtQuick.Window 2.15
import QtTest 1.15
import "qrc:/qml"

Item {
    Window {
        id: win
        width: 600
        height: 500
        minimumWidth: 400
        minimumHeight: 300
        flags: Qt.Window | Qt.FramelessWindowHint
        color: "transparent"
        visible: true

        CustomWin {
            id: frame
            win: win
            Rectangle {
                anchors.fill: parent
                color: "#EEEEEE"
                MouseArea {
                    x: 0
                    y: 100
                    width: 50
                    height: 50
                    onClicked: clicks++
                }
            }
        }
    }

    property int clicks: 0

    TestCase {
        name: "CustomWin"
        when: windowShown

        function init() {
            frame.canResize = true;
            frame.busy = false;
            if (win.visibility !== Window.Windowed)
                win.showNormal();
            tryCompare(win, "visibility", Window.Windowed, hangLimitMs);
            win.x = 100;
            win.y = 50;
            win.width = 600;
            win.height = 500;
            tryCompare(win, "width", 600, hangLimitMs);
            tryCompare(frame, "width", 600, hangLimitMs);
            tryCompare(frame, "height", 500, hangLimitMs);
        }

        function handle(name) {
            var h = findChild(frame, name);
            verify(h, name);
            return h;
        }

        // Drags from the middle of a handle by (dx, dy).
        function drag(item, dx, dy) {
            var px = item.width / 2, py = item.height / 2;
            mousePress(item, px, py);
            mouseMove(item, px + dx, py + dy, -1, Qt.LeftButton);
            mouseRelease(item, px + dx, py + dy);
        }

        function test_frame_insets_and_handles() {
            compare(frame.enableSize, 5);
            compare(frame.shadowRadius, 10);
            compare(frame.headerHeight, 50);
            compare(frame.contentItem.x, 20);
            compare(frame.contentItem.width, win.width - 40);
            var left = handle("resizeLeft");
            compare(left.x, 10);
            compare(left.width, 5);
            var corner = handle("resizeBottomRight");
            compare(corner.x, win.width - 15);
            compare(corner.y, win.height - 15);
        }

        function test_left_drag_shrinks_and_moves() {
            var right = win.x + win.width;
            drag(handle("resizeLeft"), 50, 0);
            compare(win.width, 550);
            compare(win.x, 150);
            compare(win.x + win.width, right);
        }

        function test_left_drag_below_minimum_keeps_the_right_edge() {
            var right = win.x + win.width;
            drag(handle("resizeLeft"), 350, 0);
            compare(win.width, 400);
            compare(win.x + win.width, right);
        }

        function test_top_left_corner_below_minimum_keeps_bottom_right() {
            var right = win.x + win.width, bottom = win.y + win.height;
            drag(handle("resizeTopLeft"), 500, 400);
            compare(win.width, 400);
            compare(win.height, 300);
            compare(win.x + win.width, right);
            compare(win.y + win.height, bottom);
        }

        function test_right_and_bottom_edges_grow_and_stop_at_minimum() {
            drag(handle("resizeBottomRight"), 40, 30);
            compare(win.width, 640);
            compare(win.height, 530);
            compare(win.x, 100);
            compare(win.y, 50);
            drag(handle("resizeRight"), -600, 0);
            compare(win.width, 400);
            compare(win.x, 100);
        }

        function test_dragging_the_frame_moves_the_window() {
            mousePress(frame, 300, 300);
            mouseMove(frame, 340, 330, -1, Qt.LeftButton);
            mouseRelease(frame, 340, 330);
            compare(win.x, 140);
            compare(win.y, 80);
            compare(win.width, 600);
        }

        function test_no_resize_when_switched_off() {
            frame.canResize = false;
            verify(!handle("resizeLeft").enabled);
        }

        function test_busy_layer_swallows_the_mouse() {
            var layer = findChild(frame, "busyLayer");
            verify(!layer.visible);
            frame.busy = true;
            frame.busyText = "Installing 40%";
            verify(layer.visible);
            compare(findChild(frame, "busyText").text, "Installing 40%");
            compare(layer.x, frame.contentItem.x);
            compare(layer.width, frame.contentItem.width);
            // Clicks and drags reach nothing below, not even the mouse area that moves the window.
            clicks = 0;
            mouseClick(frame, 40, 140);
            compare(clicks, 0);
            mousePress(frame, 300, 300);
            mouseMove(frame, 340, 330, -1, Qt.LeftButton);
            mouseRelease(frame, 340, 330);
            compare(win.x, 100);
            frame.busy = false;
            mouseClick(frame, 40, 140);
            compare(clicks, 1);
        }

        function test_frame_inset_follows_maximising() {
            compare(frame.frameInset, 11);
            win.showMaximized();
            tryCompare(frame, "isMax", true, hangLimitMs);
            compare(frame.frameInset, 0);
            win.showNormal();
            tryCompare(frame, "isMax", false, hangLimitMs);
        }

        function test_double_click_on_header_toggles_maximised() {
            // Below the header: nothing. (The window's state follows a request at
            // once; had it toggled, the header's toggle below would restore it.)
            mouseDoubleClickSequence(frame, 300, 200);
            verify(!frame.isMax);
            mouseDoubleClickSequence(frame, 300, 30);
            tryCompare(frame, "isMax", true, hangLimitMs);
            compare(frame.contentItem.x, 5);
            verify(!handle("resizeLeft").enabled);
            mouseDoubleClickSequence(frame, 300, 30);
            tryCompare(frame, "isMax", false, hangLimitMs);
            compare(frame.contentItem.x, 20);
        }
    }
}
