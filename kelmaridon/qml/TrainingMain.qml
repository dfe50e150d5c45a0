import QtQuick 2.15
import QtQuick.Controls 2.15

// The training's title, its progress in epochs with the voice quality they
// give, the button that generates the voice, and the running tool's log.
Item {
    id: main

    property var model

    function qualityText(epochs) {
        if (epochs <= 500)
            return qsTr("Poor");
        if (epochs <= 1000)
            return qsTr("X-Low");
        if (epochs <= 2000)
            return qsTr("Low");
        if (epochs <= 4000)
            return qsTr("Medium");
        return qsTr("High");
    }

    Column {
        id: head
        width: parent.width - generate.width - 20
        spacing: 6

        Text {
            objectName: "trainingName"
            width: parent.width
            text: main.model.trainingName
            elide: Text.ElideRight
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_TITLE1
            font.bold: true
            color: TEXTCOLOR_MAIN
        }
        Text {
            objectName: "trainingModified"
            text: main.model.trainingModifiedStr
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_SUB
            color: "#8A8F99"
        }
    }

    ActionButton {
        id: generate
        objectName: "trainingGenerate"
        anchors.right: parent.right
        anchors.top: parent.top
        text: qsTr("Generate Voice")
        visible: !main.model.isTraining
        onClicked: main.model.exportVoice()
    }

    Rectangle {
        id: progress
        y: head.height + 20
        width: parent.width
        height: 130
        radius: 10
        color: "white"
        border.color: "#E3E5EA"

        BusyIndicator {
            objectName: "trainingRunning"
            x: 24
            anchors.verticalCenter: parent.verticalCenter
            width: 56
            height: 56
            running: main.model.isTraining
            visible: running
        }

        Column {
            anchors.centerIn: parent
            spacing: 4

            Text {
                objectName: "trainingEpochs"
                anchors.horizontalCenter: parent.horizontalCenter
                text: main.model.epochs
                font.family: FONTFAMILY_MAIN
                font.pixelSize: 40
                font.bold: true
                color: MAIN_COLOR
            }
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: qsTr("Epochs trained")
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_SUB
                color: TEXTCOLOR_MAIN2
            }
            Text {
                objectName: "trainingQuality"
                anchors.horizontalCenter: parent.horizontalCenter
                text: qsTr("Voice quality: %1").arg(main.qualityText(main.model.epochs))
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_SUB
                color: TEXTCOLOR_MAIN2
            }
        }
    }

    Rectangle {
        objectName: "trainingLogPane"
        y: progress.y + progress.height + 16
        width: parent.width
        height: parent.height - y
        radius: 10
        color: "#1E2228"
        visible: main.model.logs !== ""
        clip: true

        ScrollView {
            id: logScroll
            anchors.fill: parent
            anchors.margins: 10

            TextArea {
                id: logText
                objectName: "trainingLogs"
                readOnly: true
                selectByMouse: true
                wrapMode: TextEdit.WrapAnywhere
                text: main.model.logs
                font.family: "monospace"
                font.pixelSize: FONTSIZE_SUB2
                color: "#D8DEE9"
                background: null
                // The newest lines stay in view.
                onTextChanged: cursorPosition = length
            }
        }
    }
}
