import QtQuick 2.15
import QtQuick.Controls 2.15

// The About box: icon, product name and version, the web site, OK.
Popup {
    id: aboutForm

    property string siteUrl: ""
    // The dimmed area stays inside the window's visible frame.
    property int dimMargins: 0

    anchors.centerIn: Overlay.overlay
    width: 380
    modal: true
    focus: true
    closePolicy: Popup.CloseOnEscape
    padding: 24
    background: Rectangle {
        color: "white"
        radius: 8
        border.color: "#E3E5EA"
    }
    onClosed: destroy()
    Overlay.modal: Item {
        Rectangle {
            anchors.fill: parent
            anchors.margins: aboutForm.dimMargins
            radius: 10
            color: "#66000000"
        }
    }

    contentItem: Column {
        spacing: 14
        Image {
            anchors.horizontalCenter: parent.horizontalCenter
            width: 64
            height: 64
            source: "qrc:/res/main-icon.png"
            fillMode: Image.PreserveAspectFit
        }
        Text {
            objectName: "aboutTitle"
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            text: PROD_NAME + " v" + PROD_VER
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_TITLE
            color: TEXTCOLOR_MAIN
        }
        Text {
            objectName: "aboutSite"
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            textFormat: Text.RichText
            text: "<a href=\"" + aboutForm.siteUrl + "\">" + aboutForm.siteUrl + "</a>"
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_SUB
            onLinkActivated: linkOpener.open(link)
        }
        Button {
            id: okButton
            anchors.horizontalCenter: parent.horizontalCenter
            width: 80
            height: 32
            text: qsTr("OK")
            background: Rectangle {
                radius: 4
                color: okButton.down ? Qt.darker(MAIN_COLOR, 1.15) : MAIN_COLOR
            }
            contentItem: Text {
                text: okButton.text
                color: "white"
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_SUB
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
            onClicked: aboutForm.close()
        }
    }

    Component.onCompleted: open()
}
