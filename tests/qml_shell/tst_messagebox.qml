import QtQuick 2.15
import QtTest 1.15
import "qrc:/qml"

Item {
    id: root
    width: 800
    height: 600

    property var last: null
    property int created: 0

    MessageBox {
        id: msgbox
        host: root
    }

    Connections {
        target: msgboxctx
        function onMsgbox(e) {
            root.last = msgbox.create(msgboxctx, e);
            root.created++;
        }
    }

    TestCase {
        name: "MessageBox"
        when: windowShown

        function cleanup() {
            if (root.last)
                root.last.destroy();
            root.last = null;
            msgbox.fitLongLabels = false;
            msgboxSender.clear();
            wait(0);
        }

        function test_text_data() {
            return [
                { tag: "title only", title: "Saved", msg: "", text: "Saved" },
                { tag: "message only", title: "", msg: "Disk full", text: "Disk full" },
                { tag: "title and message", title: "Export", msg: "Disk full", text: "Export<br/>Disk full" }
            ];
        }

        function test_text(data) {
            msgboxSender.send(data.title, data.msg, 1, [1], ["OK"]);
            verify(root.last);
            verify(root.last.opened);
            compare(root.last.shownText, data.text);
            verify(root.last.modal);
        }

        function test_icon_data() {
            return [
                { tag: "alert", icon: 1, file: "icon_alert.png" },
                { tag: "warning", icon: 2, file: "icon_warning.png" },
                { tag: "question", icon: 3, file: "icon_question.png" },
                { tag: "error", icon: 4, file: "icon_error.png" },
                { tag: "suc", icon: 5, file: "icon_suc.png" },
                { tag: "unknown", icon: 9, file: "icon_alert.png" }
            ];
        }

        function test_icon(data) {
            msgboxSender.send("", "m", data.icon, [1], ["OK"]);
            var img = findChild(root.last.contentItem, "msgboxIcon");
            verify(img);
            compare(img.source.toString(), "qrc:/res/" + data.file);
            compare(img.width, 48);
            compare(img.status, Image.Ready);
        }

        function test_buttons_in_order_with_their_styles() {
            msgboxSender.send("", "Remove it?", 3, [4, 8], ["Yes", "No"]);
            var yes = root.last.buttonAt(0);
            var no = root.last.buttonAt(1);
            compare(yes.text, "Yes");
            compare(no.text, "No");
            compare(yes.width, 80);
            compare(no.width, 80);
            verify(yes.x < no.x);
            verify(Qt.colorEqual(yes.background.color, MAIN_COLOR));
            verify(Qt.colorEqual(yes.contentItem.color, "white"));
            verify(Qt.colorEqual(no.background.color, "white"));
            verify(Qt.colorEqual(no.background.border.color, "#D7D9DE"));
            verify(Qt.colorEqual(no.contentItem.color, "#444E63"));
            // Right-aligned: the last button ends at the popup's right padding.
            var right = no.mapToItem(root.last.contentItem, no.width, 0).x;
            compare(right, root.last.availableWidth);
        }

        function test_cancel_is_quiet_too() {
            msgboxSender.send("", "m", 2, [1, 2], ["OK", "Cancel"]);
            verify(Qt.colorEqual(root.last.buttonAt(0).background.color, MAIN_COLOR));
            verify(Qt.colorEqual(root.last.buttonAt(1).background.color, "white"));
        }

        function test_pressing_a_button_runs_its_callback_and_closes() {
            msgboxSender.send("", "Remove it?", 3, [4, 8], ["Yes", "No"]);
            mouseClick(root.last.buttonAt(1));
            compare(msgboxSender.ran, ["No"]);
            tryVerify(function () { return !root.last; }, hangLimitMs);
        }

        function test_a_button_without_callback_just_closes() {
            msgboxSender.send("", "Done", 5, [1], ["~OK"]);
            mouseClick(root.last.buttonAt(0));
            compare(msgboxSender.ran, []);
            tryVerify(function () { return !root.last; }, hangLimitMs);
        }

        function test_several_boxes_keep_their_own_callbacks() {
            msgboxSender.send("", "first", 1, [1], ["A"]);
            var first = root.last;
            msgboxSender.send("", "second", 1, [1], ["B"]);
            var second = root.last;
            verify(first !== second);
            mouseClick(second.buttonAt(0));
            mouseClick(first.buttonAt(0));
            compare(msgboxSender.ran, ["B", "A"]);
        }

        function test_escape_and_outside_clicks_do_not_close() {
            msgboxSender.send("", "Stay", 1, [1], ["OK"]);
            var box = root.last;
            keyClick(Qt.Key_Escape);
            mouseClick(root, 5, 5);
            verify(box.opened);
            compare(msgboxSender.ran, []);
            // Still open after them: its button is the next thing it takes.
            mouseClick(box.buttonAt(0));
            compare(msgboxSender.ran, ["OK"]);
        }

        function test_links_open_in_the_browser() {
            quitRecorder.clear();
            msgboxSender.send("", "<a href=\"http://127.0.0.1:9/help.html\">Read more about this</a>", 1, [1], ["OK"]);
            var text = findChild(root.last.contentItem, "msgboxText");
            verify(text.readOnly);
            verify(text.selectByMouse);
            var link = text.linkAt(10, text.contentHeight / 2);
            compare(link, "http://127.0.0.1:9/help.html");
            mouseClick(text, 10, text.contentHeight / 2);
            compare(quitRecorder.log, ["open:http://127.0.0.1:9/help.html"]);
        }

        function test_long_text_is_capped_at_400() {
            var text = "";
            for (var i = 0; i < 200; ++i)
                text += "A rather long line of text. ";
            msgboxSender.send("", text, 1, [1], ["OK"]);
            var area = findChild(root.last.contentItem, "msgboxTextArea");
            compare(area.height, 400);
            verify(area.contentHeight > 400);
        }

        function test_long_labels_take_their_width_when_asked() {
            msgbox.fitLongLabels = true;
            msgboxSender.send("", "m", 3, [4, 8], ["Install the environment", "No"]);
            verify(root.last.buttonAt(0).width > 80);
            compare(root.last.buttonAt(1).width, 80);
            root.last.destroy();
            root.last = null;
            msgbox.fitLongLabels = false;
            msgboxSender.send("", "m", 3, [4, 8], ["Install the environment", "No"]);
            compare(root.last.buttonAt(0).width, 80);
        }
    }
}
