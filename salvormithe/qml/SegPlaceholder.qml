import QtQuick 2.15
import QtQuick.Controls 2.15

// The bubble of an empty project, for its first text.
Rectangle {
    id: placeholder

    property alias text: area.text
    property alias readOnly: area.readOnly
    property alias cursorPosition: area.cursorPosition
    // The text, or the cursor in it, changed.
    signal textEdited(string text, int cursor)

    height: Math.max(120, area.implicitHeight + 24)
    radius: 8
    color: "white"
    border.color: area.activeFocus ? MAIN_COLOR : "#E3E5EA"

    onVisibleChanged: {
        if (visible)
            area.forceActiveFocus();
        else
            area.text = "";
    }

    TextArea {
        id: area
        objectName: "placeholderText"
        anchors.fill: parent
        anchors.margins: 12
        wrapMode: TextEdit.Wrap
        selectByMouse: true
        placeholderText: qsTr("Type or paste your text here. Each line becomes one segment.")
        font.family: FONTFAMILY_MAIN
        font.pixelSize: FONTSIZE_DEF
        color: TEXTCOLOR_MAIN2
        background: null
        onTextChanged: if (placeholder.visible && text.length > 0) placeholder.textEdited(text, cursorPosition)
        onCursorPositionChanged: {
            if (placeholder.visible && text.length > 0)
                placeholder.textEdited(text, cursorPosition);
        }
    }
}
