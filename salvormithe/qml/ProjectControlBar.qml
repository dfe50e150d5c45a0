import QtQuick 2.15
import QtQuick.Controls 2.15

// The bar under the bubbles: play all; the conversion's progress with its
// cancel; or, while everything plays, pause, stop, the time and the position.
Rectangle {
    id: bar

    property var projectModel
    property bool canPlay: false
    readonly property bool playing: projectModel.playingSegId !== 0

    height: 56
    color: "#F6F8FD"

    Rectangle {
        width: parent.width
        height: 1
        color: "#E3E5EA"
    }

    Row {
        objectName: "idleControls"
        anchors.verticalCenter: parent.verticalCenter
        x: 30
        spacing: 12
        visible: !bar.projectModel.isConverting && !bar.playing
        ActionButton {
            objectName: "playAllButton"
            text: qsTr("Play All")
            enabled: bar.canPlay && bar.projectModel.previewingSegId === 0
            onClicked: bar.projectModel.playAll()
        }
    }

    Row {
        objectName: "convertingControls"
        anchors.verticalCenter: parent.verticalCenter
        x: 30
        spacing: 12
        visible: bar.projectModel.isConverting
        Spinner {
            anchors.verticalCenter: parent.verticalCenter
            size: 22
        }
        Text {
            objectName: "convertingText"
            anchors.verticalCenter: parent.verticalCenter
            width: 220
            text: bar.projectModel.convertingProgress || qsTr("Converting...")
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_DEF
            color: TEXTCOLOR_MAIN2
        }
        ActionButton {
            objectName: "cancelButton"
            anchors.verticalCenter: parent.verticalCenter
            text: qsTr("Cancel")
            quiet: true
            enabled: !bar.projectModel.isLoading && !bar.projectModel.isClosing
            onClicked: bar.projectModel.cancelConvert()
        }
    }

    Row {
        objectName: "playingControls"
        anchors.verticalCenter: parent.verticalCenter
        x: 30
        width: parent.width - 60
        spacing: 12
        visible: bar.playing && !bar.projectModel.isConverting
        ActionButton {
            objectName: "pauseButton"
            width: 90
            text: bar.projectModel.playingPaused ? qsTr("Resume") : qsTr("Pause")
            onClicked: bar.projectModel.playPauseResume(!bar.projectModel.playingPaused)
        }
        ActionButton {
            objectName: "stopButton"
            width: 80
            quiet: true
            text: qsTr("Stop")
            onClicked: bar.projectModel.stopPlayingAll()
        }
        Text {
            objectName: "playingTime"
            anchors.verticalCenter: parent.verticalCenter
            text: bar.projectModel.playingTimeDisplay
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_DEF
            color: TEXTCOLOR_MAIN2
        }
        Slider {
            id: slider
            objectName: "playingSlider"
            anchors.verticalCenter: parent.verticalCenter
            width: parent.width - x
            from: 0
            to: 100
            stepSize: 1
            value: bar.projectModel.playingProgress
            onMoved: bar.projectModel.movePlayingProgress(Math.round(value))
        }
    }
}
