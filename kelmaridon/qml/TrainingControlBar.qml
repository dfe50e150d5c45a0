import QtQuick 2.15
import QtQuick.Controls 2.15

// Start or stop the training, its batch size and the GPU switch; the settings
// are locked while it trains.
Rectangle {
    id: bar

    property var model

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
            objectName: "trainingBatchSize"
            anchors.verticalCenter: parent.verticalCenter
            width: 64
            text: bar.model.batchSize
            readOnly: bar.model.isTraining
            selectByMouse: true
            horizontalAlignment: TextInput.AlignHCenter
            validator: IntValidator { bottom: 1; top: 32 }
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_DEF
            onTextEdited: {
                if (acceptableInput)
                    bar.model.batchSize = parseInt(text);
            }
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
