import QtQuick 2.15
import QtQuick.Controls 2.15

// Builds a modal popup for each request a model sends through the message-box context.
Item {
    id: msgboxUtil

    // The item the popups are shown over.
    property Item host: parent
    // When true, a button whose label is longer than 10 characters is as wide as its label.
    property bool fitLongLabels: false
    property int buttonWidth: 80
    // The dimmed area stays inside the window's visible frame.
    property int dimMargins: 0

    // The shown text: the title, the message after a line break, or either alone.
    function textOf(e) {
        var title = e.title ? e.title : "";
        var msg = e.msg ? e.msg : "";
        if (msg.length === 0)
            return title;
        if (title.length === 0)
            return msg;
        return title + "<br/>" + msg;
    }

    function iconOf(icon) {
        switch (icon) {
        case 2: return "qrc:/res/icon_warning.png";
        case 3: return "qrc:/res/icon_question.png";
        case 4: return "qrc:/res/icon_error.png";
        case 5: return "qrc:/res/icon_suc.png";
        default: return "qrc:/res/icon_alert.png";
        }
    }

    function create(ctx, e) {
        return popupComponent.createObject(host, { "ctx": ctx, "e": e });
    }

    Component {
        id: popupComponent

        Popup {
            id: popup
            property var ctx
            property var e
            readonly property string shownText: msgboxUtil.textOf(e)
            readonly property var buttons: e.buttons ? e.buttons : []

            function buttonAt(i) { return buttonRepeater.itemAt(i); }
            function press(i) {
                var cbs = e.cbs ? e.cbs : [];
                var context = ctx;
                var cb = cbs[i];
                popup.close();
                popup.destroy();
                if (context)
                    context.callBack(cb);
            }

            anchors.centerIn: Overlay.overlay
            width: 460
            modal: true
            focus: true
            closePolicy: Popup.NoAutoClose
            padding: 20
            background: Rectangle {
                color: "white"
                radius: 8
                border.color: "#E3E5EA"
            }
            Overlay.modal: Item {
                Rectangle {
                    anchors.fill: parent
                    anchors.margins: msgboxUtil.dimMargins
                    radius: 10
                    color: "#66000000"
                }
            }

            contentItem: Column {
                spacing: 20

                Row {
                    spacing: 16
                    Image {
                        id: iconImage
                        objectName: "msgboxIcon"
                        width: 48
                        height: 48
                        fillMode: Image.PreserveAspectFit
                        source: msgboxUtil.iconOf(popup.e.icon)
                    }
                    Flickable {
                        id: textArea
                        objectName: "msgboxTextArea"
                        width: popup.availableWidth - iconImage.width - 16
                        height: Math.max(iconImage.height, Math.min(textEdit.contentHeight, 400))
                        contentHeight: textEdit.contentHeight
                        clip: true
                        boundsBehavior: Flickable.StopAtBounds
                        TextEdit {
                            id: textEdit
                            objectName: "msgboxText"
                            width: textArea.width
                            y: Math.max(0, (textArea.height - contentHeight) / 2)
                            text: popup.shownText
                            textFormat: TextEdit.RichText
                            readOnly: true
                            selectByMouse: true
                            wrapMode: TextEdit.Wrap
                            font.family: FONTFAMILY_MAIN
                            font.pixelSize: FONTSIZE_DEF
                            color: TEXTCOLOR_MAIN2
                            onLinkActivated: linkOpener.open(link)
                        }
                    }
                }

                Row {
                    anchors.right: parent.right
                    spacing: 10
                    Repeater {
                        id: buttonRepeater
                        model: popup.buttons.length
                        delegate: Button {
                            id: button
                            objectName: "msgboxButton" + index
                            readonly property int value: popup.buttons[index]
                            // No and Cancel are the quiet choices.
                            readonly property bool quiet: value === 8 || value === 2
                            readonly property string label: popup.e.buttonNames && index < popup.e.buttonNames.length
                                                            ? popup.e.buttonNames[index] : ""
                            text: label
                            width: msgboxUtil.fitLongLabels && label.length > 10
                                   ? Math.max(msgboxUtil.buttonWidth, labelText.implicitWidth + 24)
                                   : msgboxUtil.buttonWidth
                            height: 32
                            background: Rectangle {
                                radius: 4
                                color: button.quiet ? (button.down ? "#F0F1F4" : "white")
                                                    : (button.down ? Qt.darker(MAIN_COLOR, 1.15) : MAIN_COLOR)
                                border.color: button.quiet ? "#D7D9DE" : "transparent"
                            }
                            contentItem: Text {
                                id: labelText
                                text: button.label
                                color: button.quiet ? "#444E63" : "white"
                                font.family: FONTFAMILY_MAIN
                                font.pixelSize: FONTSIZE_SUB
                                horizontalAlignment: Text.AlignHCenter
                                verticalAlignment: Text.AlignVCenter
                            }
                            onClicked: popup.press(index)
                        }
                    }
                }
            }

            Component.onCompleted: open()
        }
    }
}
