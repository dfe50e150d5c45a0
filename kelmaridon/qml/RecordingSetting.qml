import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQml 2.15
import RecordingSettingModel 1.0

// The new-recording form: a name and the language of the sentences to read.
// OK hands both on through next() and closes the form.
FormPopup {
    id: form

    // The field shows the proposed name before it writes back.
    property bool nameShown: false
    signal next(string name, string lang)

    width: 450
    height: 400
    padding: 24
    onClosed: destroy()

    RecordingSettingModel {
        id: settingModel
        onOkPressed: {
            form.next(name, lang);
            form.close();
        }
    }

    // The typed name reaches the model trimmed, once the edit has settled.
    Binding {
        target: settingModel
        property: "name"
        value: nameField.text.trim()
        delayed: true
        when: form.nameShown
        restoreMode: Binding.RestoreNone
    }

    contentItem: Item {
        Text {
            objectName: "settingTitle"
            text: qsTr("IDS_TITLE_RECORDING_SETTING")
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_TITLE
            font.bold: true
            color: TEXTCOLOR_MAIN
        }
        ToolButton {
            id: closeButton
            objectName: "settingClose"
            anchors.right: parent.right
            y: -6
            width: 32
            height: 32
            hoverEnabled: true
            text: "\u2715"
            font.pixelSize: FONTSIZE_DEF
            background: Rectangle {
                radius: 4
                color: closeButton.hovered ? "#EEF0F3" : "transparent"
            }
            onClicked: form.close()
        }

        Column {
            y: 56
            width: parent.width
            spacing: 8
            Text {
                text: qsTr("Name:")
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_SUB
                color: TEXTCOLOR_MAIN2
            }
            TextField {
                id: nameField
                objectName: "recordingNameField"
                width: parent.width
                selectByMouse: true
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_DEF
            }
            Item { width: 1; height: 12 }
            Text {
                text: qsTr("Language:")
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_SUB
                color: TEXTCOLOR_MAIN2
            }
            ComboBox {
                id: langBox
                objectName: "recordingLangBox"
                width: parent.width
                model: settingModel.langs()
                currentIndex: count > 0 ? 0 : -1
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_DEF
            }
        }

        Row {
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            spacing: 10
            ActionButton {
                objectName: "settingCancel"
                quiet: true
                text: qsTr("Cancel")
                onClicked: form.close()
            }
            ActionButton {
                objectName: "settingOk"
                text: qsTr("OK")
                onClicked: settingModel.ok(langBox.currentIndex)
            }
        }
    }

    Component.onCompleted: {
        // Shown once; from then on the field writes the model.
        nameField.text = settingModel.name;
        nameShown = true;
        open();
        nameField.forceActiveFocus();
        nameField.selectAll();
    }
}
