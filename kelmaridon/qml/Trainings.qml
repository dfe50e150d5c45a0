import QtQuick 2.15

Item {
    id: page

    Component.onCompleted: {
        if (typeof mainLeft !== "undefined")
            mainLeft.current = "training";
    }

    Text {
        x: 30
        y: 24
        text: qsTr("Training")
        font.family: FONTFAMILY_MAIN
        font.pixelSize: FONTSIZE_TITLE1
        font.bold: true
        color: TEXTCOLOR_MAIN
    }
}
