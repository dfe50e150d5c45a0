import QtQuick 2.15

Item {
    id: page

    // The project folder to open, and the text an empty project starts with.
    property string path: ""
    property string initText: ""

    Component.onCompleted: {
        if (typeof mainLeft !== "undefined")
            mainLeft.current = "projects";
    }

    Text {
        x: 30
        y: 24
        text: qsTr("Project")
        font.family: FONTFAMILY_MAIN
        font.pixelSize: FONTSIZE_TITLE1
        font.bold: true
        color: TEXTCOLOR_MAIN
    }
}
