import QtQuick 2.15
import QtQuick.Window 2.15
import QtTest 1.15

TestCase {
    name: "MainWindow"

    property var win: null
    readonly property url closing: Qt.resolvedUrl("pages/ClosingPage.qml")

    function initTestCase() {
        var c = Qt.createComponent("qrc:/qml/main.qml");
        compare(c.status, Component.Ready, c.errorString());
        win = c.createObject(null);
        verify(win);
        tryCompare(win, "visible", true);
        waitForRendering(win.contentItem);
    }

    function cleanupTestCase() {
        if (win)
            win.destroy();
    }

    function init() {
        quitRecorder.clear();
        msgboxSender.clear();
    }

    function cleanup() {
        quitRecorder.setBrowserGone(false);
    }

    function find(name) {
        var o = findChild(win.contentItem, name);
        verify(o, name);
        return o;
    }

    function test_1_window_and_first_page() {
        compare(win.width, 1024);
        compare(win.height, 768);
        compare(win.minimumWidth, 1024);
        compare(win.minimumHeight, 650);
        verify(win.flags & Qt.FramelessWindowHint);
        verify(Qt.colorEqual(win.color, "transparent"));
        compare(win.title, PROD_NAME);
        compare(find("navUtil").currentSource, "home.qml");
        compare(find("mainLeft").current, "home");
        compare(find("mainLeft").width, 200);
    }

    function test_2_left_navigation() {
        var navUtil = find("navUtil");
        var left = find("mainLeft");
        mouseClick(find("navEntry_projects"));
        compare(navUtil.currentSource, "Projects.qml");
        compare(left.current, "projects");
        mouseClick(find("navEntry_voices"));
        compare(navUtil.currentSource, "Voices.qml");
        compare(left.current, "voices");
        // The Voices page leaves once its model has closed.
        navUtil.nav("Project.qml", {});
        tryCompare(left, "current", "projects");
        // Without a project to open the page says so and goes to the project list.
        var ok = null;
        tryVerify(function () { ok = findChild(win.overlay, "msgboxButton0"); return ok !== null; }, 60000);
        mouseClick(ok);
        tryCompare(navUtil, "currentSource", "Projects.qml", 60000);
        tryVerify(function () { return findChild(win.overlay, "msgboxButton0") === null; });
        mouseClick(find("navEntry_home"));
        compare(navUtil.currentSource, "home.qml");
        compare(left.current, "home");
    }

    function test_3_model_message_opens_a_box() {
        msgboxSender.send("Title", "Body", 4, [1], ["OK"]);
        var text = findChild(win.overlay, "msgboxText");
        verify(text);
        var shown = text.getText(0, text.length);
        verify(shown.indexOf("Title") === 0, shown);
        verify(shown.indexOf("Body") > 0, shown);
        mouseClick(findChild(win.overlay, "msgboxButton0"));
        compare(msgboxSender.ran, ["OK"]);
        tryVerify(function () { return findChild(win.overlay, "msgboxText") === null; });
    }

    function test_4_menu_and_about() {
        var header = find("mainHeader");
        compare(header.height, 30);
        mouseClick(find("menuButton"));
        var about = findChild(win.overlay, "aboutItem");
        verify(about);
        tryCompare(about, "visible", true);
        verify(findChild(about, "versionLink").text === "v" + PROD_VER);
        mouseClick(about);
        var title = findChild(win.overlay, "aboutTitle");
        tryVerify(function () { title = findChild(win.overlay, "aboutTitle"); return title !== null; });
        compare(title.text, PROD_NAME + " v" + PROD_VER);
        verify(header.updateUrl.indexOf(WEB_BASE_URL + "check_update.php?pid=" + PROD_UID + "&ver=" + PROD_VERID) === 0);
        keyClick(Qt.Key_Escape);
        tryVerify(function () { return findChild(win.overlay, "aboutTitle") === null; });
    }

    function test_4b_web_pages_open_on_our_server() {
        var header = find("mainHeader");
        header.activate(header.menuEntries[1]);
        compare(quitRecorder.log, ["open:" + WEB_BASE_URL + "tutorial.html"]);
        quitRecorder.clear();

        mouseClick(find("menuButton"));
        var link = findChild(win.overlay, "versionLink");
        tryCompare(link, "visible", true);
        mouseClick(link);
        compare(quitRecorder.log, ["open:" + WEB_BASE_URL + "check_update.php?pid=" + PROD_UID + "&ver=" + PROD_VERID]);
        quitRecorder.clear();

        header.showAbout();
        var site = findChild(win.overlay, "aboutSite");
        tryVerify(function () { site = findChild(win.overlay, "aboutSite"); return site !== null && site.visible; });
        mouseClick(site);
        compare(quitRecorder.log, ["open:" + WEB_BASE_URL]);
        keyClick(Qt.Key_Escape);
        tryVerify(function () { return findChild(win.overlay, "aboutSite") === null; });
    }

    function test_4c_a_link_no_browser_opens_shows_its_address() {
        quitRecorder.setBrowserGone(true);
        mouseClick(find("menuButton"));
        var help = findChild(win.overlay, "menuEntry1");
        tryCompare(help, "visible", true);
        mouseClick(help);
        var text = null;
        tryVerify(function () { text = findChild(win.overlay, "msgboxText"); return text !== null && text.visible; });
        compare(text.getText(0, text.length), "The web page " + WEB_BASE_URL + "tutorial.html could not be opened.");
        mouseClick(findChild(win.overlay, "msgboxButton0"));
        tryVerify(function () { return findChild(win.overlay, "msgboxText") === null; });
        compare(quitRecorder.log, []);
    }

    function test_5_header_project_entry() {
        var header = find("mainHeader");
        header.activate(header.menuEntries[0]);
        compare(find("navUtil").currentSource, "Projects.qml");
        compare(find("mainLeft").current, "projects");
    }

    function test_5b_voice_cloning_minimises_the_window() {
        mouseClick(find("navEntry_cloning"));
        tryCompare(win, "visibility", Window.Minimized);
        win.showNormal();
        tryCompare(win, "visibility", Window.Windowed);
        compare(find("navUtil").currentSource, "Projects.qml");
    }

    function test_6_forced_update_quits_with_1_after_the_page_closed() {
        var navUtil = find("navUtil");
        navUtil.nav(closing, { "tag": "update" });
        var model = findChild(win, "mainmodel");
        verify(model);
        model.quitRequested(1);
        compare(quitRecorder.log, ["closing:update"]);
        tryCompare(quitRecorder, "log", ["closing:update", "closed:update", "exit:1"], 60000);
    }

    function test_7_close_waits_for_the_page_model() {
        var navUtil = find("navUtil");
        navUtil.nav(closing, { "tag": "busy", "closeDelay": 300 });
        tryVerify(function () { return navUtil.currentPage && navUtil.currentPage.tag === "busy"; }, 60000);
        quitRecorder.clear();
        win.close();
        compare(quitRecorder.log, ["closing:busy"]);
        verify(win.visible);
        tryCompare(quitRecorder, "log", ["closing:busy", "closed:busy", "quit"], 60000);
        verify(win.visible);
    }
}
