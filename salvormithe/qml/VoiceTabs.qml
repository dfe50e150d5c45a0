import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

// The two tabs of the voice pages: installed voices and the server's voices.
// While a voice installs, both are covered and the install's progress shows.
Item {
    id: tabs

    property var selector
    // Installed voices can be picked (the voice-picking popup).
    property bool picking: false
    property alias currentIndex: tabBar.currentIndex
    signal picked(var voice)

    component VoiceTabButton: TabButton {
        id: tabButton
        implicitWidth: Math.max(120, tabLabel.implicitWidth + 32)
        implicitHeight: 40
        background: Rectangle {
            color: "transparent"
            Rectangle {
                anchors.bottom: parent.bottom
                width: parent.width
                height: 3
                radius: 1
                visible: tabButton.checked
                color: MAIN_COLOR
            }
        }
        contentItem: Text {
            id: tabLabel
            text: tabButton.text
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_DEF
            font.bold: tabButton.checked
            color: tabButton.checked ? MAIN_COLOR : TEXTCOLOR_MAIN2
        }
    }

    TabBar {
        id: tabBar
        objectName: "voiceTabBar"
        background: Item {}
        VoiceTabButton {
            objectName: "installedTab"
            text: qsTr("Avaiable")
        }
        VoiceTabButton {
            objectName: "serverTab"
            text: qsTr("Download a voice")
        }
    }

    Rectangle {
        anchors.top: tabBar.bottom
        width: parent.width
        height: 1
        color: "#E3E5EA"
    }

    StackLayout {
        id: stack
        anchors.top: tabBar.bottom
        anchors.topMargin: 1
        anchors.bottom: parent.bottom
        width: parent.width
        currentIndex: tabBar.currentIndex

        LocalVoicesTab {
            objectName: "installedVoices"
            selector: tabs.selector
            picking: tabs.picking
            onPicked: tabs.picked(voice)
        }
        ServerVoicesTab {
            objectName: "serverVoices"
            selector: tabs.selector
            shown: tabBar.currentIndex === 1
        }
    }

    Connections {
        target: tabs.selector
        function onLocalVoicesLoaded(count) {
            if (count === 0)
                tabBar.currentIndex = 1;
        }
    }

    // Nothing can be clicked while a voice installs, except its Cancel.
    MouseArea {
        objectName: "installBlocker"
        anchors.fill: parent
        visible: tabs.selector.isInstallingVoice
        hoverEnabled: true
        onWheel: wheel.accepted = true

        Rectangle {
            y: stack.y
            width: stack.width
            height: stack.height
            color: "white"

            Column {
                anchors.centerIn: parent
                width: Math.min(parent.width - 40, 360)
                spacing: 12
                BusyIndicator {
                    anchors.horizontalCenter: parent.horizontalCenter
                    width: 48
                    height: 48
                    running: tabs.selector.isInstallingVoice
                }
                ProgressBar {
                    id: progressBar
                    objectName: "installProgressBar"
                    width: parent.width
                    from: 0
                    to: 100
                    value: tabs.selector.voiceInstallPercent
                    background: Rectangle {
                        implicitHeight: 6
                        radius: 3
                        color: "#E3E5EA"
                    }
                    contentItem: Item {
                        implicitHeight: 6
                        Rectangle {
                            width: progressBar.visualPosition * parent.width
                            height: parent.height
                            radius: 3
                            color: MAIN_COLOR
                        }
                    }
                }
                Text {
                    objectName: "installProgressText"
                    width: parent.width
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.Wrap
                    textFormat: Text.RichText
                    text: tabs.selector.voiceInstallProgress
                    font.family: FONTFAMILY_MAIN
                    font.pixelSize: FONTSIZE_SUB
                    color: TEXTCOLOR_MAIN2
                }
                ActionButton {
                    objectName: "cancelInstall"
                    anchors.horizontalCenter: parent.horizontalCenter
                    quiet: true
                    text: qsTr("Cancel")
                    onClicked: tabs.selector.cancelInstall()
                }
            }
        }
    }
}
