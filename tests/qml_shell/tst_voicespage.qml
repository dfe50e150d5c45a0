import QtQuick 2.15
import QtTest 1.15

// The Voices page against a voice server that cannot be reached.
Item {
    id: root
    width: 900
    height: 640

    property var boxes: []

    Connections {
        target: msgboxctx
        function onMsgbox(e) { root.boxes.push(e); }
    }

    TestCase {
        name: "VoicesPage"
        when: windowShown

        property var page: null

        function createPage() {
            var c = Qt.createComponent("qrc:/qml/Voices.qml");
            compare(c.status, Component.Ready, c.errorString());
            page = c.createObject(root, { "width": root.width, "height": root.height });
            verify(page);
            return findChild(page, "voiceModel");
        }

        function cleanup() {
            if (page)
                page.destroy();
            page = null;
            root.boxes = [];
            voiceFixture.clear();
            wait(0);
        }

        function test_1_without_voices_the_server_tab_opens_its_languages() {
            var model = createPage();
            tryCompare(findChild(page, "voiceTabBar"), "currentIndex", 1, hangLimitMs);
            tryCompare(findChild(page, "languageListPopup"), "opened", true, hangLimitMs);
            tryVerify(function () { return model.loadServerLangsError.indexOf("Network connection error!<br/>") === 0; },
                      hangLimitMs);
            verify(findChild(page, "keywordField").readOnly);
            verify(!findChild(page, "searchButton").enabled);
            compare(findChild(page, "serverVoiceList").count, 0);

            // Leaving waits for the model to close.
            var left = false;
            page.nav(function () { left = true; });
            tryVerify(function () { return left; }, hangLimitMs);
            verify(!model.isClosing);
        }

        function test_2_installed_voices_sort_and_remove_after_confirmation() {
            verify(voiceFixture.install("vb", 0, "Bert", 1));
            verify(voiceFixture.install("va", 3, "Anna", 2));
            var model = createPage();
            var list = findChild(page, "localVoiceList");
            tryCompare(list, "count", 2, hangLimitMs);
            compare(findChild(page, "voiceTabBar").currentIndex, 0);

            var nameHeader = findChild(page, "localSortName");
            mouseClick(nameHeader);
            tryCompare(model, "sortBy", 3, hangLimitMs);
            compare(findChild(nameHeader, "sortTitle").text, "Name ↑");
            mouseClick(nameHeader);
            tryCompare(model, "sortBy", 4, hangLimitMs);
            compare(findChild(nameHeader, "sortTitle").text, "Name ↓");
            list.forceLayout();
            var first = findChild(list, "localVoice0");
            // Bert first under name descending; his menu deletes him after a Yes.
            mouseClick(findChild(first, "localMenu0"));
            var del = findChild(first, "deleteVoice");
            tryCompare(del, "visible", true, hangLimitMs);
            mouseClick(del);
            compare(root.boxes.length, 1);
            compare(list.count, 2);
            msgboxctx.callBack(root.boxes[0].cbs[0]);
            // Removed on the model's worker, the list covered meanwhile.
            compare(model.isLoadingLocalVoices, true);
            tryCompare(list, "count", 1, hangLimitMs);
            tryCompare(model, "isLoadingLocalVoices", false, hangLimitMs);
            compare(model.localVoicesModel().data(model.localVoicesModel().index(0, 0), 4), "Anna");
        }

        function test_3_a_sample_planted_as_a_link_is_not_played() {
            verify(voiceFixture.install("vl", 0, "Lina", 2));
            var sample = voiceFixture.plantSampleLink("vl", 0);
            verify(sample.length > 0);
            createPage();
            var list = findChild(page, "localVoiceList");
            tryCompare(list, "count", 1, hangLimitMs);
            mouseClick(findChild(list, "localSample0"));
            tryCompare(root.boxes, "length", 1, hangLimitMs);
            compare(root.boxes[0].msg, "Network connection error!<br/>create file failed. Not a regular file ("
                    + sample + ")");
            verify(voiceFixture.isLink(sample));
        }
    }
}
