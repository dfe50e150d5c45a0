import QtQuick 2.15
import QtQuick.Controls 2.15
import RecordingModel 1.0

// The recordings, newest first: a row opens its recording, "New Record"
// asks for a name and a language and creates one.
Item {
    id: page

    readonly property int dimMargins: typeof customWin !== "undefined" ? customWin.frameInset : 0

    // Set while the page waits for its model to close.
    property var leaveTodo: null

    // The page leaves once a removal under way has ended.
    function nav(fn) {
        leaveTodo = fn;
        recordingModel.close();
    }

    function go(source, props) {
        if (typeof navUtil !== "undefined")
            navUtil.nav(source, props);
    }

    // Opens the new-recording form; its answer creates the recording.
    function newRecord() {
        var form = settingComponent.createObject(page, { "dimMargins": page.dimMargins });
        form.next.connect(function (name, lang) { recordingModel.createRecording(name, lang); });
        return form;
    }

    Component.onCompleted: {
        if (typeof mainLeft !== "undefined")
            mainLeft.current = "recording";
    }

    RecordingModel {
        id: recordingModel
        onToClose: if (page.leaveTodo) page.leaveTodo()
        // Leaves once the form that asked has finished its handler.
        onGotoRecording: Qt.callLater(page.go, "RecordingDetail.qml", { "recordingPath": rpath })
    }

    Component {
        id: settingComponent
        RecordingSetting {}
    }

    Text {
        id: title
        x: 30
        y: 24
        text: qsTr("Recording")
        font.family: FONTFAMILY_MAIN
        font.pixelSize: FONTSIZE_TITLE1
        font.bold: true
        color: TEXTCOLOR_MAIN
    }

    ActionButton {
        objectName: "recordingNew"
        anchors.right: parent.right
        anchors.rightMargin: 30
        anchors.verticalCenter: title.verticalCenter
        text: qsTr("New Record")
        onClicked: page.newRecord()
    }

    Rectangle {
        id: listFrame
        x: 30
        y: title.y + title.height + 18
        width: page.width - 60
        height: page.height - y - 24
        radius: 10
        color: "white"
        border.color: "#E3E5EA"
        clip: true

        Row {
            id: header
            x: 72
            width: parent.width - 72 - 60
            height: 40
            Repeater {
                model: [[qsTr("Name"), 0.45], [qsTr("Language"), 0.25], [qsTr("Modified"), 0.3]]
                Text {
                    width: header.width * modelData[1]
                    anchors.verticalCenter: parent.verticalCenter
                    text: modelData[0]
                    font.family: FONTFAMILY_MAIN
                    font.pixelSize: FONTSIZE_SUB
                    color: "#8A8F99"
                }
            }
        }
        Rectangle {
            y: header.height
            width: parent.width
            height: 1
            color: "#EEF0F3"
        }

        ListView {
            id: recordingList
            objectName: "recordingList"
            y: header.height + 1
            width: parent.width
            height: parent.height - y
            clip: true
            model: recordingModel.recordingsItemModel()
            ScrollBar.vertical: ScrollBar {}
            delegate: RecordingRow {
                width: recordingList.width
                onOpen: page.go("RecordingDetail.qml", { "recordingPath": model.path })
                // The delegate's own index is current after earlier removals.
                onRemove: recordingModel.removeRecording(index)
            }
        }

        Text {
            objectName: "recordingEmpty"
            anchors.centerIn: recordingList
            visible: recordingList.count === 0
            text: qsTr("No recordings yet. Press \"New Record\" to start one.")
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_DEF
            color: "#8A8F99"
        }

        BusyMask {
            objectName: "recordingBusy"
            visible: recordingModel.isRemoving
            radius: parent.radius
        }
    }
}
