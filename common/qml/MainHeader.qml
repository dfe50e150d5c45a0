import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Window 2.15

// The header: product name, the menu and the window buttons. Menu entries
// are { text, source } (a page) or { text, url } (a web page); About is always last.
Item {
    id: mainHeader

    property Window win
    property var menuEntries: []
    // The maker's update page and web site.
    property string updateUrl: ""
    property string siteUrl: ""
    // Passed on to the About box.
    property int dimMargins: 0
    signal navRequested(string source)

    height: 30

    function activate(entry) {
        if (entry.source)
            navRequested(entry.source);
        else if (entry.url)
            linkOpener.open(entry.url);
    }

    function showAbout() {
        return aboutComponent.createObject(mainHeader, { "siteUrl": siteUrl, "dimMargins": dimMargins });
    }

    Component {
        id: aboutComponent
        AboutForm {}
    }

    Row {
        anchors.verticalCenter: parent.verticalCenter
        x: 6
        spacing: 8
        Image {
            anchors.verticalCenter: parent.verticalCenter
            width: 22
            height: 22
            source: "qrc:/res/main-icon.png"
            fillMode: Image.PreserveAspectFit
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: PROD_NAME
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_DEF
            font.bold: true
            color: TEXTCOLOR_MAIN
        }
    }

    component HeaderButton: Rectangle {
        id: headerButton
        property string glyph
        property color hoverColor: "#E8EDF8"
        signal clicked()
        width: 36
        height: 28
        radius: 4
        color: buttonMouse.containsMouse ? hoverColor : "transparent"
        Text {
            anchors.centerIn: parent
            text: headerButton.glyph
            font.pixelSize: 16
            color: TEXTCOLOR_MAIN2
        }
        MouseArea {
            id: buttonMouse
            anchors.fill: parent
            hoverEnabled: true
            onClicked: headerButton.clicked()
        }
    }

    Row {
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        spacing: 2
        HeaderButton {
            objectName: "menuButton"
            glyph: "\u2630"
            onClicked: menu.popup(this, width - menu.width, height)
        }
        HeaderButton {
            objectName: "minimizeButton"
            glyph: "\u2013"
            onClicked: if (mainHeader.win) mainHeader.win.showMinimized()
        }
        HeaderButton {
            objectName: "maximizeButton"
            glyph: mainHeader.win && mainHeader.win.visibility === Window.Maximized ? "\u2750" : "\u25A1"
            onClicked: {
                if (!mainHeader.win)
                    return;
                if (mainHeader.win.visibility === Window.Maximized)
                    mainHeader.win.showNormal();
                else
                    mainHeader.win.showMaximized();
            }
        }
        HeaderButton {
            objectName: "closeButton"
            glyph: "\u2715"
            hoverColor: "#F7D4D6"
            onClicked: if (mainHeader.win) mainHeader.win.close()
        }
    }

    Menu {
        id: menu
        width: 200
        font.family: FONTFAMILY_MAIN
        font.pixelSize: FONTSIZE_DEF

        Instantiator {
            model: mainHeader.menuEntries
            delegate: MenuItem {
                objectName: "menuEntry" + index
                text: modelData.text
                onTriggered: mainHeader.activate(modelData)
            }
            onObjectAdded: menu.insertItem(index, object)
            onObjectRemoved: menu.removeItem(object)
        }

        MenuItem {
            id: aboutItem
            objectName: "aboutItem"
            onTriggered: mainHeader.showAbout()
            contentItem: Item {
                implicitHeight: 24
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: qsTr("About")
                    font.family: FONTFAMILY_MAIN
                    font.pixelSize: FONTSIZE_DEF
                    color: TEXTCOLOR_MAIN
                }
                Text {
                    objectName: "versionLink"
                    anchors.right: parent.right
                    anchors.verticalCenter: parent.verticalCenter
                    text: "v" + PROD_VER
                    font.pixelSize: FONTSIZE_SUB
                    font.underline: true
                    color: MAIN_COLOR
                    MouseArea {
                        anchors.fill: parent
                        cursorShape: Qt.PointingHandCursor
                        onClicked: {
                            menu.close();
                            linkOpener.open(mainHeader.updateUrl);
                        }
                    }
                }
            }
        }
    }
}
