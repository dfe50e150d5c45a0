import QtQuick 2.15
import QtQuick.Controls 2.15
import VoiceSelectorModel 1.0

// The voice-picking popup of the project pages: the voice pages' two tabs;
// clicking an installed voice (or installing one) picks it. Escape closes it
// as Close does. Destroys itself once its model has closed.
FormPopup {
    id: popup

    // The model has closed: hiding the popup now asks for nothing more.
    property bool finished: false

    signal voiceSelected(var voice)

    function pick(voice) {
        if (voiceModel.isClosing)
            return;
        popup.voiceSelected(voice);
        voiceModel.close();
    }

    width: 450
    height: 450
    padding: 16

    // Escape hides the popup at once; it goes when its model has stopped.
    onClosed: {
        if (!finished && !voiceModel.isClosing)
            voiceModel.close();
    }

    VoiceSelectorModel {
        id: voiceModel
        objectName: "voiceModel"
        onVoiceInstalled: popup.pick(voice)
        onToClose: {
            popup.finished = true;
            popup.close();
            popup.destroy();
        }
    }

    contentItem: Item {

        VoiceTabs {
            id: tabs
            objectName: "voiceTabs"
            width: parent.width
            anchors.top: parent.top
            anchors.bottom: closeButton.top
            anchors.bottomMargin: 10
            selector: voiceModel
            picking: true
            onPicked: popup.pick(voice)
        }

        ActionButton {
            id: closeButton
            objectName: "closeVoiceSelector"
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            quiet: true
            text: qsTr("Close")
            enabled: !voiceModel.isClosing
            onClicked: voiceModel.close()
        }
    }

    Component.onCompleted: open()
}
