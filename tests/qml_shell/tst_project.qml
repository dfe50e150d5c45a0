import QtQuick 2.15
import QtQuick.Window 2.15
import QtTest 1.15

TestCase {
    name: "ProjectPage"

    property var win: null

    function initTestCase() {
        var c = Qt.createComponent("qrc:/qml/main.qml");
        compare(c.status, Component.Ready, c.errorString());
        win = c.createObject(null);
        verify(win);
        tryCompare(win, "visible", true, hangLimitMs);
    }

    function cleanupTestCase() {
        if (win)
            win.destroy();
        voiceFixture.clear();
        projectMaker.clear();
    }

    // A test that stopped half-way leaves no page's worker held.
    function cleanup() {
        projectMaker.releaseWorker();
    }

    function find(root, name) {
        var o = findChild(root, name);
        verify(o, name);
        return o;
    }

    // Opens the project at path from the start page, whichever page an earlier test left.
    function navToProject(path) {
        var navUtil = find(win.contentItem, "navUtil");
        if (navUtil.currentSource !== "home.qml") {
            mouseClick(find(win.contentItem, "navEntry_home"));
            tryCompare(navUtil, "currentSource", "home.qml", hangLimitMs);
        }
        navUtil.nav("Project.qml", { "path": path });
        return navUtil;
    }

    function test_page_lists_segments_and_sets_a_voice() {
        verify(voiceFixture.install("qml_a", 0, "Anna", 2));
        var path = projectMaker.make("Smoke", "qml_a", ["First bubble.", "Second bubble.", "Third bubble."]);
        verify(path.length > 0);
        // The project's voice stays known to it; the picker offers only Bert.
        voiceFixture.clear();
        verify(voiceFixture.install("qml_b", 1, "Bert", 1));
        var navUtil = navToProject(path);
        compare(find(win.contentItem, "mainLeft").current, "projects");
        var list = find(win.contentItem, "segList");
        tryCompare(list, "count", 3, hangLimitMs);
        tryCompare(find(win.contentItem, "projectTitle"), "text", "Smoke", hangLimitMs);
        waitForRendering(list);
        var first = list.itemAtIndex(0);
        compare(find(first, "segText").text, "First bubble.");
        compare(first.spkname, "Anna");
        verify(find(win.contentItem, "playAllButton").enabled);

        // The second bubble gets its own voice and rate.
        mouseClick(find(list.itemAtIndex(1), "speakerButton"));
        var check = null;
        tryVerify(function () { check = findChild(win.overlay, "defaultVoiceCheck"); return check !== null; },
                  hangLimitMs);
        verify(check.checked);
        mouseClick(check);
        mouseClick(find(win.overlay, "chooseVoiceButton"));
        var bert = null;
        tryVerify(function () { bert = findChild(win.overlay, "localVoice0"); return bert !== null && bert.visible; },
                  hangLimitMs);
        mouseClick(bert);
        tryCompare(find(win.overlay, "chosenVoiceName"), "text", "Bert (Deutsch)", hangLimitMs);
        tryVerify(function () { return findChild(win.overlay, "closeVoiceSelector") === null; }, hangLimitMs);
        mouseClick(find(win.overlay, "okSettingButton"));
        tryVerify(function () { return findChild(win.overlay, "okSettingButton") === null; }, hangLimitMs);
        tryCompare(list.itemAtIndex(1), "spkname", "Bert", hangLimitMs);
        compare(list.itemAtIndex(0).spkname, "Anna");

        // No voice chosen: the box says so and its OK opens the picker.
        mouseClick(find(list.itemAtIndex(2), "speakerButton"));
        tryVerify(function () { check = findChild(win.overlay, "defaultVoiceCheck"); return check !== null; },
                  hangLimitMs);
        mouseClick(check);
        mouseClick(find(win.overlay, "okSettingButton"));
        var boxText = null;
        tryVerify(function () { boxText = findChild(win.overlay, "msgboxText"); return boxText !== null; },
                  hangLimitMs);
        verify(boxText.getText(0, boxText.length).indexOf("IDS_INVALID_VOICE") >= 0);
        mouseClick(find(win.overlay, "msgboxButton0"));
        var picker = null;
        tryVerify(function () { picker = findChild(win.overlay, "closeVoiceSelector"); return picker !== null && picker.visible; },
                  hangLimitMs);
        mouseClick(picker);
        tryVerify(function () { return findChild(win.overlay, "closeVoiceSelector") === null; }, hangLimitMs);
        mouseClick(find(win.overlay, "cancelSettingButton"));
        tryVerify(function () { return findChild(win.overlay, "okSettingButton") === null; }, hangLimitMs);
        compare(list.itemAtIndex(2).spkname, "Anna");

        // The project settings form renames the project.
        verify(voiceFixture.install("qml_a", 0, "Anna", 2));
        mouseClick(find(win.contentItem, "settingsButton"));
        var nameField = null;
        tryVerify(function () { nameField = findChild(win.overlay, "projectNameField"); return nameField !== null; },
                  hangLimitMs);
        compare(nameField.text, "Smoke");
        waitForRendering(nameField);
        // Typed keys go to the active window.
        win.requestActivate();
        tryVerify(function () { return win.active; }, hangLimitMs);
        mouseClick(nameField);
        tryVerify(function () { return nameField.activeFocus; }, hangLimitMs);
        keyClick(Qt.Key_End);
        keyClick(Qt.Key_Space);
        keyClick(Qt.Key_2);
        tryCompare(nameField, "text", "Smoke 2", hangLimitMs);
        mouseClick(find(win.overlay, "settingOk"));
        tryCompare(find(win.contentItem, "projectTitle"), "text", "Smoke 2", hangLimitMs);

        // Deleting the first bubble: the others know their new rows.
        var del = find(list.itemAtIndex(0), "deleteSegItem");
        mouseClick(find(list.itemAtIndex(0), "menuButton"));
        tryVerify(function () { return del.visible && del.width > 0; }, hangLimitMs);
        waitForRendering(del);
        mouseClick(del);
        tryVerify(function () { return findChild(win.overlay, "msgboxButton0") !== null; }, hangLimitMs);
        mouseClick(find(win.overlay, "msgboxButton0"));
        tryCompare(list, "count", 2, hangLimitMs);
        tryVerify(function () { var b = list.itemAtIndex(1); return b !== null && b.segid === 3; }, hangLimitMs);
        compare(find(list.itemAtIndex(1), "segText").text, "Third bubble.");
        tryVerify(function () { return list.itemAtIndex(1).idx === 1; }, hangLimitMs);
        compare(list.itemAtIndex(0).idx, 0);
        compare(list.itemAtIndex(0).segid, 2);

        // Leaving the page closes its model first.
        mouseClick(find(win.contentItem, "navEntry_home"));
        tryCompare(navUtil, "currentSource", "home.qml", hangLimitMs);
    }

    function openTyped(name, texts) {
        verify(voiceFixture.install("qml_a", 0, "Anna", 2));
        var path = projectMaker.make(name, "qml_a", texts);
        verify(path.length > 0);
        navToProject(path);
        tryCompare(find(win.contentItem, "projectTitle"), "text", name, hangLimitMs);
        win.requestActivate();
        tryVerify(function () { return win.active; }, hangLimitMs);
        return path;
    }

    // The text field of a row's bubble, once the list has made it.
    function segTextAt(list, row) {
        tryVerify(function () { return list.itemAtIndex(row) !== null; }, hangLimitMs);
        return find(list.itemAtIndex(row), "segText");
    }

    function typeText(text) {
        for (var i = 0; i < text.length; ++i)
            keyClick(text.charAt(i));
    }

    function test_typing_enter_splits_and_each_bubble_shows_what_is_stored() {
        var path = openTyped("Typing", ["Hello"]);
        var list = find(win.contentItem, "segList");
        var model = find(win.contentItem, "navUtil").currentPage.projectModel;
        tryCompare(list, "count", 1, hangLimitMs);
        waitForRendering(list);
        var first = find(list.itemAtIndex(0), "segText");
        mouseClick(first);
        tryVerify(function () { return first.activeFocus; }, hangLimitMs);
        keyClick(Qt.Key_End);
        keyClick(Qt.Key_Return);
        typeText("world");
        tryCompare(list, "count", 2, hangLimitMs);
        tryVerify(function () { return projectMaker.texts(path).join("|") === "Hello|world"; }, hangLimitMs);
        // The first bubble holds its own line only; the typing goes on below.
        tryCompare(first, "text", "Hello", hangLimitMs);
        var second = find(list.itemAtIndex(1), "segText");
        tryVerify(function () { return second.activeFocus; }, hangLimitMs);
        compare(second.text, "world");
        typeText("s");
        // A write on its way masks the page from the mouse: click once it is in.
        tryVerify(function () { return projectMaker.texts(path).join("|") === "Hello|worlds" && !model.isLoading; },
                  hangLimitMs);
        mouseClick(first);
        tryVerify(function () { return first.activeFocus; }, hangLimitMs);
        keyClick(Qt.Key_End);
        typeText("!");
        tryVerify(function () { return projectMaker.texts(path).join("|") === "Hello!|worlds"; }, hangLimitMs);
        compare(first.text, "Hello!");
        compare(list.count, 2);
    }

    function test_typing_backspace_while_the_write_before_it_is_stored_reaches_the_project() {
        var path = openTyped("Keystrokes", ["Hello!"]);
        var list = find(win.contentItem, "segList");
        var model = find(win.contentItem, "navUtil").currentPage.projectModel;
        tryCompare(list, "count", 1, hangLimitMs);
        waitForRendering(list);
        var area = find(list.itemAtIndex(0), "segText");
        mouseClick(area);
        tryVerify(function () { return area.activeFocus; }, hangLimitMs);
        keyClick(Qt.Key_End);
        // "Hello!!" goes to a held worker; Backspace comes while it waits there.
        verify(projectMaker.holdWorker(model));
        typeText("!");
        tryVerify(function () { return model.isLoading; }, hangLimitMs);
        keyClick(Qt.Key_Backspace);
        compare(area.text, "Hello!");
        projectMaker.releaseWorker();
        tryVerify(function () { return !model.isLoading && projectMaker.texts(path).join("|") === "Hello!"; },
                  hangLimitMs);
        compare(area.text, "Hello!");
        compare(list.itemAtIndex(0).segtext, "Hello!");
    }

    function test_typing_then_a_click_before_the_first_text_is_stored_keeps_the_keys_there() {
        var path = openTyped("Clicked", []);
        var model = find(win.contentItem, "navUtil").currentPage.projectModel;
        var list = find(win.contentItem, "segList");
        var placeholder = find(win.contentItem, "placeholderText");
        tryVerify(function () { return placeholder.visible && placeholder.activeFocus; }, hangLimitMs);
        // The worker is held: the first text is not stored before the click and
        // the key after it, however slow the machine.
        verify(projectMaker.holdWorker(model));
        mouseClick(placeholder);
        typeText("Hello");
        keyClick(Qt.Key_Return);
        var end = placeholder.positionToRectangle(5);
        typeText("world");
        // At once the end of the first line. A write on its way masks the page
        // from the mouse: should the typing delay have passed before the click,
        // the cursor goes there by keys instead.
        mouseClick(placeholder, end.x + 1, end.y + end.height / 2);
        if (placeholder.cursorPosition !== 5) {
            keyClick(Qt.Key_Home, Qt.ControlModifier);
            keyClick(Qt.Key_End);
        }
        compare(placeholder.cursorPosition, 5);
        // One more key there while the text waits on its way to the project.
        tryVerify(function () { return model.isLoading; }, hangLimitMs);
        typeText("!");
        compare(list.count, 0);
        projectMaker.releaseWorker();
        tryVerify(function () { return projectMaker.texts(path).join("|") === "Hello!|world"; }, hangLimitMs);
        // Later keys go where the cursor is, not to the last new bubble.
        var first = segTextAt(list, 0);
        tryVerify(function () { return first.activeFocus && !model.isLoading; }, hangLimitMs);
        compare(first.cursorPosition, 6);
        typeText("Q");
        tryVerify(function () { return projectMaker.texts(path).join("|") === "Hello!Q|world"; }, hangLimitMs);
        compare(segTextAt(list, 1).text, "world");
    }

    function test_segment_menu_opens_inside_the_window() {
        openTyped("Menus", ["A bubble whose menu opens at the right edge."]);
        var list = find(win.contentItem, "segList");
        tryCompare(list, "count", 1, hangLimitMs);
        waitForRendering(list);
        var bubble = list.itemAtIndex(0);
        var menu = find(bubble, "segMenu");
        mouseClick(find(bubble, "menuButton"));
        tryVerify(function () { return menu.opened; }, hangLimitMs);
        var del = find(bubble, "deleteSegItem");
        tryVerify(function () { return del.visible && del.width > 0; }, hangLimitMs);
        waitForRendering(del);
        // Within the page's area, well inside the window's visible frame.
        var area = find(win.contentItem, "navUtil");
        var left = area.mapToItem(null, 0, 0).x;
        var topLeft = menu.contentItem.mapToItem(null, 0, 0);
        verify(topLeft.x >= left, "left edge " + topLeft.x + " of " + left);
        verify(topLeft.x + menu.contentItem.width <= left + area.width,
               "right edge " + (topLeft.x + menu.contentItem.width) + " of " + (left + area.width));
        menu.close();
        tryVerify(function () { return !menu.visible; }, hangLimitMs);
    }

    function test_typing_into_an_empty_project_keeps_focus_cursor_and_keys() {
        var path = openTyped("Blank page", []);
        var model = find(win.contentItem, "navUtil").currentPage.projectModel;
        var placeholder = find(win.contentItem, "placeholderText");
        tryVerify(function () { return placeholder.visible && placeholder.activeFocus; }, hangLimitMs);
        typeText("hel");
        // The first text becomes a segment, whose bubble takes the typing.
        var list = find(win.contentItem, "segList");
        tryVerify(function () {
            var bubble = list.itemAtIndex(0);
            return bubble !== null && findChild(bubble, "segText").activeFocus && !model.isLoading;
        }, hangLimitMs);
        typeText("lo");
        tryCompare(list, "count", 1, hangLimitMs);
        tryVerify(function () { return projectMaker.texts(path).join("|") === "hello"; }, hangLimitMs);
        var area = find(list.itemAtIndex(0), "segText");
        compare(area.text, "hello");
        verify(area.activeFocus);
        compare(area.cursorPosition, 5);
        // Straight on after the first bubble: nothing goes astray either.
        keyClick(Qt.Key_Return);
        typeText("again");
        tryVerify(function () { return projectMaker.texts(path).join("|") === "hello|again"; }, hangLimitMs);
        tryVerify(function () { return list.itemAtIndex(1) && find(list.itemAtIndex(1), "segText").activeFocus; },
                  hangLimitMs);
        compare(find(list.itemAtIndex(0), "segText").text, "hello");
    }

    // "worlds" waits at a held worker (an export, a removal or a settings
    // change holds it for a while); the keys go on meanwhile, and a join of
    // the bubble with the one above it keeps them all.
    function test_typing_while_a_write_waits_then_joining_the_bubbles_keeps_every_key() {
        var path = openTyped("Joining", ["Hello.", "world"]);
        var list = find(win.contentItem, "segList");
        var model = find(win.contentItem, "navUtil").currentPage.projectModel;
        tryCompare(list, "count", 2, hangLimitMs);
        waitForRendering(list);
        var second = segTextAt(list, 1);
        mouseClick(second);
        tryVerify(function () { return second.activeFocus; }, hangLimitMs);
        keyClick(Qt.Key_End);
        verify(projectMaker.holdWorker(model));
        typeText("s");
        tryVerify(function () { return model.isLoading; }, hangLimitMs);
        typeText("!");
        keyClick(Qt.Key_Home);
        keyClick(Qt.Key_Backspace);
        compare(second.text, "worlds!");
        projectMaker.releaseWorker();
        tryVerify(function () { return projectMaker.texts(path).join("|") === "Hello. worlds!" && !model.isLoading; },
                  hangLimitMs);
        tryCompare(list, "count", 1, hangLimitMs);
        compare(segTextAt(list, 0).text, "Hello. worlds!");
    }

    // A new project's first text splits into two bubbles while the user
    // clicks the end of its first line: the keys typed after the click go
    // there, whether the split lands before the click or after it.
    function test_typing_after_a_click_around_the_split_goes_where_it_clicked_data() {
        var rows = [];
        [400, 450, 500, 550, 600].forEach(function (ms) {
            rows.push({ tag: "click " + ms + " ms after the last key, split after it", ms: ms, splitFirst: false });
            rows.push({ tag: "click " + ms + " ms after the last key, split before it", ms: ms, splitFirst: true });
        });
        return rows;
    }

    function test_typing_after_a_click_around_the_split_goes_where_it_clicked(data) {
        var path = openTyped("Split " + data.ms + (data.splitFirst ? " first" : " later"), []);
        var model = find(win.contentItem, "navUtil").currentPage.projectModel;
        var list = find(win.contentItem, "segList");
        var placeholder = find(win.contentItem, "placeholderText");
        tryVerify(function () { return placeholder.visible && placeholder.activeFocus; }, hangLimitMs);
        mouseClick(placeholder);
        // Held, the worker keeps the split's write from landing before the click.
        if (!data.splitFirst)
            verify(projectMaker.holdWorker(model));
        typeText("Hello");
        keyClick(Qt.Key_Return);
        typeText("world");
        // The user's pause; the text is written 500 ms after the last key.
        wait(data.ms);
        if (data.splitFirst) {
            tryVerify(function () { return list.count === 2 && !model.isLoading; }, hangLimitMs);
        } else {
            if (data.ms >= 500)
                tryVerify(function () { return model.isLoading; }, hangLimitMs);
            compare(list.count, 0);
        }
        var target = data.splitFirst ? segTextAt(list, 0) : placeholder;
        var end = target.positionToRectangle(5);
        mouseClick(target, end.x + 1, end.y + end.height / 2);
        typeText("!");
        projectMaker.releaseWorker();
        tryVerify(function () { return projectMaker.texts(path).join("|") === "Hello!|world" && !model.isLoading; },
                  hangLimitMs);
        var first = segTextAt(list, 0);
        tryVerify(function () { return first.activeFocus; }, hangLimitMs);
        typeText("Q");
        tryVerify(function () { return projectMaker.texts(path).join("|") === "Hello!Q|world"; }, hangLimitMs);
        compare(segTextAt(list, 1).text, "world");
    }
}
