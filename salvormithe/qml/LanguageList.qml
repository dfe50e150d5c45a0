import QtQuick 2.15
import QtQuick.Controls 2.15

// The server's languages, English name over native name. Loads them each
// time it opens (the model fetches them once).
Popup {
    id: langList

    property var selector
    signal chosen(string lang, string engName)

    padding: 1
    closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutsideParent
    background: Rectangle {
        color: "white"
        radius: 4
        border.color: "#D7D9DE"
    }
    onOpened: selector.loadServerLangs()

    contentItem: Item {
        implicitHeight: Math.max(120, list.contentHeight)

        ListView {
            id: list
            objectName: "languageList"
            anchors.fill: parent
            clip: true
            model: langList.selector.serverLangModel()
            ScrollBar.vertical: ScrollBar {}
            delegate: Rectangle {
                objectName: "language_" + model.lang
                width: list.width
                height: 46
                color: langMouse.containsMouse ? "#E8F7FF" : "white"
                Column {
                    x: 12
                    anchors.verticalCenter: parent.verticalCenter
                    Text {
                        text: model.eng_name
                        font.family: FONTFAMILY_MAIN
                        font.pixelSize: FONTSIZE_DEF
                        color: TEXTCOLOR_MAIN
                    }
                    Text {
                        text: model.native_name
                        font.family: FONTFAMILY_MAIN
                        font.pixelSize: FONTSIZE_SUB2
                        color: "#8A8F99"
                    }
                }
                MouseArea {
                    id: langMouse
                    anchors.fill: parent
                    hoverEnabled: true
                    cursorShape: Qt.PointingHandCursor
                    onClicked: langList.chosen(model.lang, model.eng_name)
                }
            }
        }

        BusyMask {
            visible: langList.selector.isLoadingServerLangs
        }

        ErrorCover {
            text: langList.selector.loadServerLangsError
        }
    }
}
