import QtQuick 2.15
import QtTest 1.15
import "qrc:/qml"

Item {
    id: root
    width: 200
    height: 100

    Spinner {
        id: shown
        size: 40
    }
    Spinner {
        id: later
        x: 100
        size: 40
        visible: false
    }

    TestCase {
        name: "Spinner"
        when: windowShown

        // The rotations a spinner's ring shows until it has shown count of them.
        function turnsOf(spinner, count) {
            var ring = spinner.children[0];
            var seen = [ring.rotation];
            tryVerify(function () {
                if (seen[seen.length - 1] !== ring.rotation)
                    seen.push(ring.rotation);
                return seen.length >= count;
            }, hangLimitMs);
            return seen;
        }

        function test_turns_in_steps_while_shown_and_stands_still_when_hidden() {
            verify(shown.running);
            verify(!later.running);
            // An eighth of a turn at a time.
            var seen = turnsOf(shown, 4);
            for (var i = 0; i < seen.length; ++i)
                compare(seen[i] % 45, 0, "rotation " + seen[i]);

            // Hidden, it stands still while another one turns.
            shown.visible = false;
            verify(!shown.running);
            var stopped = shown.children[0].rotation;
            later.visible = true;
            verify(later.running);
            turnsOf(later, 3);
            compare(shown.children[0].rotation, stopped);
        }
    }
}
