import QtQuick 2.15
import QtTest 1.15

// The export form on its own: what the user picks reaches the model's
// exportSegs as the settings map.
Item {
    id: root
    width: 800
    height: 600

    QtObject {
        id: recorder
        property var received: null
        function exportSegs(settings) { received = settings; }
    }

    TestCase {
        name: "ExportSettingPopup"
        when: windowShown

        function test_word_document_is_offered_and_sent() {
            var c = Qt.createComponent("qrc:/qml/ExportSettingPopup.qml");
            compare(c.status, Component.Ready, c.errorString());
            var popup = c.createObject(root, { "projectModel": recorder, "saveUrl": "file:///tmp/out" });
            tryCompare(popup, "opened", true, hangLimitMs);
            var withText = findChild(popup.contentItem, "withText");
            var textType = findChild(popup.contentItem, "textType");
            verify(!textType.parent.enabled);
            mouseClick(withText);
            tryCompare(textType.parent, "enabled", true, hangLimitMs);
            compare(textType.count, 4);

            // Picked from the open list as a user does.
            mouseClick(textType);
            tryCompare(textType.popup, "opened", true, hangLimitMs);
            var list = textType.popup.contentItem;
            var entry = null;
            tryVerify(function () { entry = list.itemAtIndex(3); return entry !== null && entry.visible; },
                      hangLimitMs);
            compare(entry.text, "Word document (.docx)");
            mouseClick(entry);
            tryCompare(textType.popup, "visible", false, hangLimitMs);
            compare(textType.currentText, "Word document (.docx)");

            mouseClick(findChild(popup.contentItem, "exportOkButton"));
            verify(recorder.received !== null);
            compare(recorder.received.text_type, ".docx");
            compare(recorder.received.with_text, true);
            compare(recorder.received.with_speaker, true);
            compare(recorder.received.save_url, "file:///tmp/out");
        }
    }
}
