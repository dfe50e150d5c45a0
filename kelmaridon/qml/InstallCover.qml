import QtQuick 2.15
import QtQuick.Controls 2.15

// Covers the pages while the training environment installs: takes their
// mouse input, shows the progress and offers to cancel. The header and its
// window buttons stay usable.
Rectangle {
    id: cover

    property var model

    objectName: "busyLayer"
    // Nearly opaque: the page beneath must not read through the progress.
    color: "#E6FBFBFE"
    visible: model.installingEnv

    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.AllButtons
        hoverEnabled: true
        preventStealing: true
        onWheel: wheel.accepted = true
    }

    Column {
        anchors.centerIn: parent
        spacing: 16
        BusyIndicator {
            anchors.horizontalCenter: parent.horizontalCenter
            width: 64
            height: 64
            running: cover.visible
        }
        Text {
            objectName: "busyText"
            anchors.horizontalCenter: parent.horizontalCenter
            text: cover.model.installingProgress
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_DEF
            color: TEXTCOLOR_MAIN2
        }
        ActionButton {
            objectName: "installCancel"
            anchors.horizontalCenter: parent.horizontalCenter
            quiet: true
            text: qsTr("Cancel")
            onClicked: cover.model.cancelInstall()
        }
    }
}
