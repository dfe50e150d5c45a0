import QtQuick 2.15

// One speaker of the server's catalogue: name, gender, quality, sample, Install.
Rectangle {
    id: row

    property var selector
    // Column widths, shared with the headers.
    property real nameWidth
    property real sexWidth
    property real qualityWidth
    property real sampleWidth

    readonly property bool custom: model.uid.indexOf("custom_") === 0

    height: 44
    color: index % 2 ? "#FAFBFD" : "white"

    Row {
        x: 10
        height: parent.height
        Text {
            width: row.nameWidth
            anchors.verticalCenter: parent.verticalCenter
            elide: Text.ElideRight
            text: model.name
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_DEF
            color: TEXTCOLOR_MAIN
        }
        Text {
            width: row.sexWidth
            anchors.verticalCenter: parent.verticalCenter
            text: model.sex === 1 ? qsTr("Male") : (model.sex === 2 ? qsTr("Female") : "--")
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_SUB
            color: TEXTCOLOR_MAIN2
        }
        Item {
            width: row.qualityWidth
            height: parent.height
            QualityIcon {
                anchors.verticalCenter: parent.verticalCenter
                quality: model.quality
            }
        }
        Item {
            width: row.sampleWidth
            height: parent.height
            SampleButton {
                objectName: "serverSample" + index
                anchors.verticalCenter: parent.verticalCenter
                visible: !row.custom
                loading: model.sampleLoading
                onClicked: loading ? row.selector.stopSample() : row.selector.playSample(model.uid, model.spk)
            }
        }
    }

    ActionButton {
        objectName: "installVoice" + index
        anchors.right: parent.right
        anchors.rightMargin: 10
        anchors.verticalCenter: parent.verticalCenter
        width: 72
        height: 28
        text: qsTr("Install")
        onClicked: row.selector.installVoice(model.voice)
    }
}
