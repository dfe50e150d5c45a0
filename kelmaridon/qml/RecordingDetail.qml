import QtQuick 2.15
import QtQuick.Controls 2.15
import RecordingDetailModel 1.0

// One recording: its recorded sentences, newest first, each with playback;
// "Add a new record" reads the next sentence, "Train Now" trains a voice on it.
Item {
    id: page

    property string recordingPath: ""
    readonly property alias detailModel: detailModel
    readonly property int dimMargins: typeof customWin !== "undefined" ? customWin.frameInset : 0

    // Leaving the page, or closing the window, ends a running take as "Stop Recording" does.
    function nav(fn) {
        detailModel.stopRecording();
        fn();
    }

    function go(source, props) {
        if (typeof navUtil !== "undefined")
            navUtil.nav(source, props);
    }

    // The prompt popup: the next sentence, or in edit mode the one opened by editRecord.
    function openPrompt(editMode) {
        return promptComponent.createObject(page, {
            "model": detailModel,
            "editMode": editMode,
            "dimMargins": page.dimMargins,
            "coverArea": typeof windowBody !== "undefined" ? windowBody : null
        });
    }

    // The new-training form with this recording chosen; the trainings list when it is missing.
    function trainNow() {
        var form = Qt.createComponent("CreateTraining.qml");
        if (form.status === Component.Ready)
            return form.createObject(page, { "initRecordingPath": detailModel.recordingPath, "dimMargins": page.dimMargins });
        page.go("Trainings.qml", {});
        return null;
    }

    Component.onCompleted: {
        if (typeof mainLeft !== "undefined")
            mainLeft.current = "recording";
        detailModel.open();
    }

    RecordingDetailModel {
        id: detailModel
        recordingPath: page.recordingPath
        // Leaves once the page has finished loading.
        onToClose: Qt.callLater(page.go, "Recording.qml", {})
        onNoItems: {
            if (detailModel.nextPromptId > 0)
                page.openPrompt(false);
        }
    }

    Component {
        id: promptComponent
        RecordingPrompt {}
    }

    Column {
        id: heading
        x: 30
        y: 24
        width: page.width - 60 - buttons.width - 20
        spacing: 6
        Text {
            objectName: "recordingName"
            width: parent.width
            elide: Text.ElideRight
            text: detailModel.recordingName
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_TITLE1
            font.bold: true
            color: TEXTCOLOR_MAIN
        }
        Row {
            spacing: 24
            Text {
                objectName: "recordingTime"
                text: detailModel.recordingTimeDisplay
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_SUB
                color: "#8A8F99"
            }
            Text {
                objectName: "recordingCount"
                text: qsTr("Sentences: %1").arg(detailModel.totalItems)
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_SUB
                color: "#8A8F99"
            }
        }
    }

    Row {
        id: buttons
        anchors.right: parent.right
        anchors.rightMargin: 30
        y: 28
        spacing: 10
        ActionButton {
            objectName: "recordingAdd"
            visible: detailModel.nextPromptId > 0
            text: qsTr("Add a new record")
            onClicked: page.openPrompt(false)
        }
        ActionButton {
            objectName: "recordingTrain"
            quiet: true
            text: qsTr("Train Now")
            onClicked: page.trainNow()
        }
    }

    Rectangle {
        x: 30
        y: heading.y + heading.height + 18
        width: page.width - 60
        height: page.height - y - 24
        radius: 10
        color: "white"
        border.color: "#E3E5EA"
        clip: true

        ListView {
            id: recList
            objectName: "recList"
            anchors.fill: parent
            anchors.margins: 12
            spacing: 10
            clip: true
            model: detailModel.recItemsItemModel()
            ScrollBar.vertical: ScrollBar {}
            delegate: RecordingItem {
                width: recList.width - 12
                playingId: detailModel.playingId
                onPlay: detailModel.playRecord(model.rid)
                onStop: detailModel.stopPlaying()
                onEdit: {
                    detailModel.editRecord(index);
                    page.openPrompt(true);
                }
                onRemove: detailModel.removeRecord(index)
            }
        }

        Text {
            objectName: "recordingNoItems"
            anchors.centerIn: parent
            visible: recList.count === 0
            text: qsTr("Nothing recorded yet. Press \"Add a new record\" to read the first sentence.")
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_DEF
            color: "#8A8F99"
        }
    }
}
