import QtQuick 2.15
import QtQuick.Controls 2.15

// Start or stop the training, its batch size and the GPU switch; the settings
// are locked while it trains. A batch size entry that is not a whole number
// from 1 to 32 stays as typed, marked as refused, and nothing starts.
Rectangle {
    id: bar

    property var model
    property bool batchRefused: false

    height: 64
    radius: 10
    color: "white"
    border.color: "#E3E5EA"

    Row {
        x: 20
        anchors.verticalCenter: parent.verticalCenter
        spacing: 16

        ActionButton {
            objectName: "trainingStart"
            anchors.verticalCenter: parent.verticalCenter
            text: qsTr("Start Training")
            visible: !bar.model.isTraining
            enabled: !bar.batchRefused
            onClicked: bar.model.train()
        }
        ActionButton {
            objectName: "trainingStop"
            anchors.verticalCenter: parent.verticalCenter
            quiet: true
            text: qsTr("Stop Training")
            visible: bar.model.isTraining
            onClicked: bar.model.stopTrain()
        }

        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: qsTr("Batch Size:")
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_DEF
            color: TEXTCOLOR_MAIN
        }
        TextField {
            id: batchField
            objectName: "trainingBatchSize"
            anchors.verticalCenter: parent.verticalCenter
            width: 64
            text: bar.model.batchSize
            readOnly: bar.model.isTraining
            selectByMouse: true
            horizontalAlignment: TextInput.AlignHCenter
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_DEF
            color: bar.batchRefused ? "#D93025" : TEXTCOLOR_MAIN
            background: Rectangle {
                implicitHeight: 40
                radius: 4
                color: bar.batchRefused ? "#FDECEA" : "white"
                border.width: bar.batchRefused || batchField.activeFocus ? 2 : 1
                border.color: bar.batchRefused ? "#D93025" : (batchField.activeFocus ? MAIN_COLOR : "#D7D9DE")
            }
            onTextChanged: bar.batchRefused = !bar.model.enterBatchSize(text)
        }
        Text {
            objectName: "trainingBatchSizeRefused"
            anchors.verticalCenter: parent.verticalCenter
            visible: bar.batchRefused
            text: qsTr("Enter a whole number from 1 to 32.")
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_SUB
            color: "#D93025"
        }

        CheckBox {
            objectName: "trainingGpu"
            anchors.verticalCenter: parent.verticalCenter
            text: qsTr("GPU")
            checked: bar.model.withGPU
            enabled: !bar.model.isTraining
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_DEF
            onToggled: bar.model.withGPU = checked
        }
    }
}
