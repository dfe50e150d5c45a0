import QtQuick 2.15
import QtQuick.Window 2.15
import VoiceSelectorModel 1.0

// The Voices page: installed voices and the voice server's catalogue.
Item {
    id: page

    // The navigation waiting for the model to close.
    property var leaveTodo: null

    // Leaves once the model has stopped its work.
    function nav(fn) {
        leaveTodo = fn;
        voiceModel.close();
    }

    VoiceSelectorModel {
        id: voiceModel
        objectName: "voiceModel"
        onVoiceInstalled: {
            voiceModel.loadLocalVoices();
            tabs.currentIndex = 0;
        }
        onToClose: {
            var fn = page.leaveTodo;
            page.leaveTodo = null;
            if (fn)
                fn();
        }
    }

    Component.onCompleted: {
        if (typeof mainLeft !== "undefined")
            mainLeft.current = "voices";
    }

    Text {
        id: title
        x: 30
        y: 24
        text: qsTr("Voices")
        font.family: FONTFAMILY_MAIN
        font.pixelSize: FONTSIZE_TITLE1
        font.bold: true
        color: TEXTCOLOR_MAIN
    }

    ActionButton {
        objectName: "cloneVoice"
        anchors.right: parent.right
        anchors.rightMargin: 30
        anchors.verticalCenter: title.verticalCenter
        text: qsTr("Clone a voice")
        onClicked: {
            if (typeof mainmodel !== "undefined")
                mainmodel.openKelmaridon();
            if (page.Window.window)
                page.Window.window.showMinimized();
        }
    }

    VoiceTabs {
        id: tabs
        objectName: "voiceTabs"
        x: 30
        y: title.y + title.height + 20
        width: parent.width - 60
        height: parent.height - y - 20
        selector: voiceModel
    }
}
