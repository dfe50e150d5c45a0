import QtQuick 2.15
import QtQuick.Controls 2.15
import CreateTrainingModel 1.0

// The new-training popup: a voice name, a recording, a base model and the
// consent; "Start Training" creates the training and opens its page.
FormPopup {
    id: form

    property string initRecordingPath: ""
    readonly property bool busy: formModel.isLoading || formModel.isCreating
    readonly property bool canStart: formModel.newTrainingCheckPolicy && formModel.newTrainingRecodingIdx > 0
                                     && formModel.newTrainingModelIdx > 0

    width: 500
    height: 460
    closePolicy: Popup.NoAutoClose
    padding: 24
    onClosed: destroy()

    component FormLabel: Text {
        font.family: FONTFAMILY_MAIN
        font.pixelSize: FONTSIZE_SUB
        color: TEXTCOLOR_MAIN2
    }

    CreateTrainingModel {
        id: formModel
        initRecordingPath: form.initRecordingPath
        onToClose: form.close()
        onGotoTraining: {
            form.close();
            if (typeof navUtil !== "undefined")
                navUtil.nav("Training.qml", { "trainingPath": path, "toStart": true });
        }
    }

    contentItem: Item {
        Keys.onEscapePressed: formModel.close()

        Column {
            id: fields
            objectName: "createTrainingForm"
            anchors.fill: parent
            spacing: 14
            visible: !form.busy

            Text {
                objectName: "createTrainingTitle"
                text: qsTr("New Training")
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_TITLE
                font.bold: true
                color: TEXTCOLOR_MAIN
            }

            FormLabel { text: qsTr("Voice Name") }
            TextField {
                id: nameField
                objectName: "trainingNameField"
                width: parent.width
                text: formModel.newTrainingName
                selectByMouse: true
                maximumLength: 100
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_DEF
                onTextEdited: formModel.newTrainingName = text
            }

            FormLabel { text: qsTr("Recording") }
            ComboBox {
                objectName: "recordingCombo"
                width: parent.width
                model: formModel.recordingOptions
                currentIndex: formModel.newTrainingRecodingIdx
                displayText: currentIndex > 0 ? currentText : qsTr("Select a recording")
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_DEF
                onActivated: formModel.newTrainingRecodingIdx = index
            }

            FormLabel { text: qsTr("Base Model") }
            ComboBox {
                objectName: "modelCombo"
                width: parent.width
                model: formModel.modelOptions
                currentIndex: formModel.newTrainingModelIdx
                displayText: currentIndex > 0 ? currentText : qsTr("Select a base model")
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_DEF
                onActivated: formModel.newTrainingModelIdx = index
            }

            Row {
                width: parent.width
                spacing: 4
                CheckBox {
                    objectName: "policyCheck"
                    checked: formModel.newTrainingCheckPolicy
                    onToggled: formModel.newTrainingCheckPolicy = checked
                }
                Text {
                    objectName: "policyText"
                    width: parent.width - 44
                    anchors.verticalCenter: parent.verticalCenter
                    wrapMode: Text.Wrap
                    textFormat: Text.RichText
                    font.family: FONTFAMILY_MAIN
                    font.pixelSize: FONTSIZE_SUB2
                    color: TEXTCOLOR_MAIN2
                    text: qsTr("I hereby confirm that I am cloning my own voice samples and that I will not use the generated content for any illegal, fraudulent, or harmful purpose.")
                          + "<br/>" + qsTr("I reaffirm my obligation to abide Quorvine's ")
                          + "<a href=\"%1\">%2</a>".arg(WEB_BASE_URL + "terms.html").arg(qsTr("Terms of Service"))
                          + qsTr(" and ")
                          + "<a href=\"%1\">%2</a>".arg(WEB_BASE_URL + "privacy-policy.html").arg(qsTr("Privacy Policy"))
                          + "."
                    onLinkActivated: linkOpener.open(link)
                }
            }
        }

        Row {
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            spacing: 10
            visible: !form.busy
            ActionButton {
                objectName: "createTrainingCancel"
                quiet: true
                text: qsTr("Cancel")
                onClicked: formModel.close()
            }
            ActionButton {
                objectName: "createTrainingStart"
                text: qsTr("Start Training")
                enabled: form.canStart
                onClicked: formModel.createTraining()
            }
        }

        Column {
            objectName: "createTrainingBusy"
            anchors.centerIn: parent
            width: parent.width
            spacing: 16
            visible: form.busy
            BusyIndicator {
                anchors.horizontalCenter: parent.horizontalCenter
                width: 64
                height: 64
                running: form.busy
            }
            Text {
                objectName: "createTrainingProgress"
                anchors.horizontalCenter: parent.horizontalCenter
                visible: formModel.isCreating
                text: formModel.downloadProgress
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_DEF
                color: TEXTCOLOR_MAIN2
            }
            ActionButton {
                objectName: "createTrainingStop"
                anchors.horizontalCenter: parent.horizontalCenter
                visible: formModel.isCreating
                quiet: true
                text: qsTr("Cancel")
                onClicked: formModel.close()
            }
        }
    }

    Component.onCompleted: {
        open();
        formModel.beforeNewTraining();
        nameField.forceActiveFocus();
    }
}
