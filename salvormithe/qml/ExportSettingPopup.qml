import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Dialogs 1.3

// Where and how to export the whole project (segId 0) or one segment.
FormPopup {
    id: popup

    property var projectModel
    property int segId: 0
    // The user's documents folder unless the page knows a better one.
    property url saveUrl: DOCUMENTS_URL

    function settings() {
        return {
            "seg_id": segId,
            "save_url": saveUrl.toString(),
            "audio_type": audioType.currentText,
            "audio_merge": mergeChoice.currentIndex,
            "with_text": withText.checked,
            "text_type": textType.model[textType.currentIndex].ext,
            "with_speaker": withSpeaker.checked
        };
    }

    signal exportStarted(url folder)

    function accept() {
        projectModel.exportSegs(settings());
        exportStarted(saveUrl);
        close();
    }

    dimMargins: typeof customWin !== "undefined" ? customWin.frameInset : 0
    onClosed: destroy()
    Component.onCompleted: open()

    FileDialog {
        id: folderDialog
        title: qsTr("Choose the folder to export into")
        selectFolder: true
        onAccepted: popup.saveUrl = fileUrl
    }

    component Label: Text {
        width: 110
        anchors.verticalCenter: parent.verticalCenter
        font.family: FONTFAMILY_MAIN
        font.pixelSize: FONTSIZE_SUB
        color: TEXTCOLOR_MAIN2
    }

    contentItem: Column {
        spacing: 12

        Text {
            text: popup.segId === 0 ? qsTr("Export the project") : qsTr("Export this segment")
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_TITLE
            font.bold: true
            color: TEXTCOLOR_MAIN
        }
        Row {
            spacing: 8
            Label { text: qsTr("Save to") }
            TextField {
                objectName: "saveFolder"
                width: 230
                readOnly: true
                text: decodeURIComponent(popup.saveUrl.toString().replace(/^file:\/\//, ""))
                font.pixelSize: FONTSIZE_SUB
            }
            ActionButton {
                quiet: true
                text: qsTr("Browse...")
                onClicked: {
                    folderDialog.folder = popup.saveUrl;
                    folderDialog.open();
                }
            }
        }
        Row {
            spacing: 8
            Label { text: qsTr("Audio format") }
            ComboBox {
                id: audioType
                objectName: "audioType"
                width: 150
                model: ["WAV", "MP3", "AAC"]
            }
        }
        Row {
            spacing: 8
            visible: popup.segId === 0
            Label { text: qsTr("Audio files") }
            ComboBox {
                id: mergeChoice
                objectName: "audioMerge"
                width: 230
                model: [qsTr("Separated audio files"), qsTr("Combine into one audio")]
                currentIndex: 1
            }
        }
        CheckBox {
            id: withText
            objectName: "withText"
            text: qsTr("Export the text too")
            font.pixelSize: FONTSIZE_SUB
        }
        Row {
            spacing: 8
            enabled: withText.checked
            opacity: enabled ? 1 : 0.5
            Label { text: qsTr("Text format") }
            ComboBox {
                id: textType
                objectName: "textType"
                width: 230
                textRole: "name"
                model: [
                    { "name": qsTr("Plain text (.txt)"), "ext": ".txt" },
                    { "name": qsTr("Web page (.html)"), "ext": ".html" },
                    { "name": qsTr("PDF document (.pdf)"), "ext": ".pdf" },
                    { "name": qsTr("Word document (.docx)"), "ext": ".docx" }
                ]
            }
        }
        CheckBox {
            id: withSpeaker
            objectName: "withSpeaker"
            enabled: withText.checked
            checked: true
            text: qsTr("Show the speakers' names in the text")
            font.pixelSize: FONTSIZE_SUB
        }
        Row {
            anchors.right: parent.right
            spacing: 10
            ActionButton {
                text: qsTr("Cancel")
                quiet: true
                onClicked: popup.close()
            }
            ActionButton {
                objectName: "exportOkButton"
                text: qsTr("Export")
                onClicked: popup.accept()
            }
        }
    }
}
