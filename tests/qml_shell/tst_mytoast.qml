import QtQuick 2.15
import QtTest 1.15
import "qrc:/qml"

Item {
    id: root
    width: 800
    height: 600

    MyToast {
        id: toast
        host: root
    }

    TestCase {
        name: "MyToast"
        when: windowShown

        function labels() {
            var n = 0;
            for (var i = 0; i < root.children.length; ++i)
                if (root.children[i].hasOwnProperty("fadeIn"))
                    n++;
            return n;
        }

        function cleanup() {
            tryCompare(toast, "animating", false, hangLimitMs);
        }

        function test_look_and_place() {
            var label = toast.show("Saved to disk");
            verify(label);
            var text = label.children[0];
            compare(text.text, "Saved to disk");
            compare(label.height, 30);
            compare(label.width, text.implicitWidth + 50);
            compare(label.radius, 10);
            compare(label.y + label.height, root.height - 100);
            compare(label.x, (root.width - label.width) / 2);
            verify(Qt.colorEqual(text.color, "white"));
            compare(text.font.pixelSize, 12);
        }

        function test_second_show_while_animating_is_ignored() {
            var label = toast.show("one", 600);
            verify(toast.animating);
            compare(toast.show("two"), null);
            compare(label.children[0].text, "one");
            tryCompare(toast, "animating", false, hangLimitMs);
            var next = toast.show("three", 300);
            verify(next);
            compare(next.children[0].text, "three");
        }

        function test_fades_in_stays_fades_out_and_goes() {
            var started = Date.now();
            var label = toast.show("hello", 1500);
            compare(label.fadeIn, 500);
            compare(label.fadeOut, 300);
            verify(label.opacity < 1);
            // After the fade-in and before the fade-out it is fully shown
            // (seen as it changes, however late the frames come).
            var fullyShown = false;
            label.opacityChanged.connect(function () { fullyShown = fullyShown || label.opacity === 1; });
            tryCompare(toast, "animating", false, hangLimitMs);
            verify(fullyShown);
            verify(Date.now() - started >= 1400);
            // The label has destroyed itself.
            tryVerify(function () { return labels() === 0; }, hangLimitMs);
        }

        function test_zero_time_never_pauses_below_zero() {
            var label = toast.show("x", 0);
            verify(label);
            tryCompare(toast, "animating", false, hangLimitMs);
            tryVerify(function () { return labels() === 0; }, hangLimitMs);
        }
    }
}
