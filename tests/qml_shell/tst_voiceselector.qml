import QtQuick 2.15
import QtTest 1.15

// The voice-picking popup of the project pages.
Item {
    id: root
    width: 900
    height: 640

    TestCase {
        name: "VoiceSelector"
        when: windowShown

        property var picked: []

        function open() {
            var c = Qt.createComponent("qrc:/qml/VoiceSelector.qml");
            compare(c.status, Component.Ready, c.errorString());
            var popup = c.createObject(root);
            verify(popup);
            popup.voiceSelected.connect(function (voice) { picked.push(voice.uid + "/" + voice.spk); });
            tryCompare(popup, "opened", true, hangLimitMs);
            return popup;
        }

        function cleanup() {
            picked = [];
            voiceFixture.clear();
        }

        function test_clicking_an_installed_voice_picks_it_and_closes() {
            verify(voiceFixture.install("vz", 2, "Zora", 2));
            var popup = open();
            compare(popup.width, 450);
            compare(popup.height, 450);
            var list = findChild(popup, "localVoiceList");
            tryCompare(list, "count", 1, hangLimitMs);
            var destroyed = false;
            popup.Component.destruction.connect(function () { destroyed = true; });
            mouseClick(findChild(list, "localVoice0"));
            compare(picked, ["vz/2"]);
            tryVerify(function () { return destroyed; }, hangLimitMs);
        }

        function test_close_picks_nothing() {
            var popup = open();
            // No voice installed: the server tab shows.
            tryCompare(findChild(popup, "voiceTabBar"), "currentIndex", 1, hangLimitMs);
            var destroyed = false;
            popup.Component.destruction.connect(function () { destroyed = true; });
            mouseClick(findChild(popup, "closeVoiceSelector"));
            tryVerify(function () { return destroyed; }, hangLimitMs);
            compare(picked, []);
        }

        function test_escape_closes_the_picker() {
            verify(voiceFixture.install("vx", 0, "Xena", 2));
            var popup = open();
            tryCompare(findChild(popup, "localVoiceList"), "count", 1, hangLimitMs);
            var destroyed = false;
            popup.Component.destruction.connect(function () { destroyed = true; });
            keyClick(Qt.Key_Escape);
            tryVerify(function () { return destroyed; }, hangLimitMs);
            compare(picked, []);
        }

        function test_the_project_settings_take_the_picked_voice() {
            verify(voiceFixture.install("vy", 1, "Yann", 1));
            var c = Qt.createComponent("qrc:/qml/ProjectSettingForm.qml");
            compare(c.status, Component.Ready, c.errorString());
            var form = c.createObject(root, { "title": "New" });
            tryCompare(form, "opened", true, hangLimitMs);
            var popup = form.chooseVoice();
            var list = findChild(popup, "localVoiceList");
            tryCompare(list, "count", 1, hangLimitMs);
            mouseClick(findChild(list, "localVoice0"));
            compare(form.formModel.voice.uid, "vy");
            compare(form.formModel.voice.spk, 1);
            compare(findChild(form.contentItem, "voiceField").shown, "Yann (Deutsch)");
            form.close();
        }
    }
}
