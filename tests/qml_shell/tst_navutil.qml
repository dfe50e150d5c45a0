import QtQuick 2.15
import QtTest 1.15
import "qrc:/qml"

Item {
    width: 400
    height: 300

    NavUtil {
        id: navUtil
        anchors.fill: parent
    }

    TestCase {
        name: "NavUtil"

        readonly property url plain: Qt.resolvedUrl("pages/PlainPage.qml")
        readonly property url closing: Qt.resolvedUrl("pages/ClosingPage.qml")

        function init() {
            while (navUtil.stack.length > 0)
                navUtil.pop();
            navUtil.currentSource = "";
            navUtil.pendingTodo = null;
            quitRecorder.clear();
        }

        function showing(tag) {
            return navUtil.currentPage !== null && navUtil.currentPage.tag === tag;
        }

        function test_first_nav_pushes_a_loader_and_shows_the_page() {
            compare(navUtil.stack.length, 0);
            navUtil.nav(plain, { "tag": "a" });
            compare(navUtil.stack.length, 1);
            verify(showing("a"));
            compare(navUtil.currentSource, plain.toString());
            navUtil.nav(plain);
            compare(navUtil.stack.length, 1);
            compare(navUtil.currentPage.tag, "");
        }

        function test_page_without_nav_leaves_at_once() {
            navUtil.nav(plain, { "tag": "a" });
            navUtil.nav(closing, { "tag": "b" });
            verify(showing("b"));
            compare(quitRecorder.log, []);
        }

        function test_page_delays_leaving_until_its_model_has_closed() {
            navUtil.nav(closing, { "tag": "first" });
            navUtil.nav(plain, { "tag": "second" });
            verify(showing("first"));
            compare(navUtil.currentSource, closing.toString());
            compare(quitRecorder.log, ["closing:first"]);
            tryVerify(function () { return showing("second"); }, hangLimitMs);
            compare(quitRecorder.log, ["closing:first", "closed:first"]);
            compare(navUtil.currentSource, plain.toString());
        }

        function test_nav_to_the_shown_page_reloads_it_with_new_properties() {
            navUtil.nav(closing, { "tag": "one" });
            var first = navUtil.currentPage;
            navUtil.nav(closing, { "tag": "two" });
            verify(navUtil.currentPage === first);
            tryVerify(function () { return showing("two"); }, hangLimitMs);
            verify(navUtil.currentPage !== first);
            compare(quitRecorder.log, ["closing:one", "closed:one"]);
        }

        function test_a_request_while_the_page_closes_replaces_the_waiting_one() {
            navUtil.nav(closing, { "tag": "x", "closeDelay": 300 });
            navUtil.nav(plain, { "tag": "p1" });
            navUtil.nav(plain, { "tag": "p2" });
            tryVerify(function () { return showing("p2"); }, hangLimitMs);
            // The page was asked to close once.
            compare(quitRecorder.log, ["closing:x", "closed:x"]);
            // Nothing waits any more: the next request is shown at once.
            navUtil.nav(plain, { "tag": "p3" });
            verify(showing("p3"));
            compare(quitRecorder.log, ["closing:x", "closed:x"]);
        }

        function test_navTodo_runs_at_once_without_a_page() {
            var ran = false;
            navUtil.navTodo(function () { ran = true; });
            verify(ran);
        }

        function test_push_hides_and_pop_shows_the_loader_below() {
            navUtil.nav(plain, { "tag": "below" });
            var below = navUtil.stack[0];
            var top = navUtil.push();
            compare(navUtil.stack.length, 2);
            verify(!below.visible);
            verify(top.visible);
            top.setSource(plain, { "tag": "top" });
            verify(showing("top"));
            navUtil.pop();
            compare(navUtil.stack.length, 1);
            verify(below.visible);
            verify(showing("below"));
        }
    }
}
