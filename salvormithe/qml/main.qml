import QtQuick 2.15
import QtQuick.Window 2.15

Window {
    id: root
    visible: true
    width: 1100
    height: 720
    minimumWidth: 900
    minimumHeight: 600
    title: PROD_NAME

    Text {
        anchors.centerIn: parent
        text: PROD_NAME + " " + PROD_VER
        font.family: FONTFAMILY_MAIN
        font.pixelSize: FONTSIZE_TITLE1
        color: TEXTCOLOR_MAIN
    }
}
