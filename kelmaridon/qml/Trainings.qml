import QtQuick 2.15
import QtQuick.Controls 2.15
import TrainingsModel 1.0

// The trainings, most recently changed first: a row opens its training,
// Delete removes it after a confirmation, New Training opens the form.
Item {
    id: page

    readonly property int dimMargins: typeof customWin !== "undefined" ? customWin.frameInset : 0

    // Set while the page waits for its model to close.
    property var leaveTodo: null

    // The page leaves once a removal under way has ended.
    function nav(fn) {
        leaveTodo = fn;
        trainingsModel.close();
    }

    function go(source, props) {
        if (typeof navUtil !== "undefined")
            navUtil.nav(source, props);
    }

    function newTraining() {
        return createComponent.createObject(page, { "dimMargins": page.dimMargins });
    }

    Component.onCompleted: {
        if (typeof mainLeft !== "undefined")
            mainLeft.current = "training";
    }

    TrainingsModel {
        id: trainingsModel
        onToClose: if (page.leaveTodo) page.leaveTodo()
    }

    Component {
        id: createComponent
        CreateTraining {}
    }

    Text {
        id: title
        x: 30
        y: 24
        text: qsTr("Training")
        font.family: FONTFAMILY_MAIN
        font.pixelSize: FONTSIZE_TITLE1
        font.bold: true
        color: TEXTCOLOR_MAIN
    }

    ActionButton {
        objectName: "trainingsNew"
        anchors.right: parent.right
        anchors.rightMargin: 30
        anchors.verticalCenter: title.verticalCenter
        text: qsTr("New Training")
        onClicked: page.newTraining()
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

        TrainingsRow {
            id: header
            x: 1
            y: 1
            width: parent.width - 2
            height: 40
            header: true
        }

        ListView {
            id: trainingList
            objectName: "trainingList"
            x: 1
            y: header.y + header.height
            width: parent.width - 2
            height: parent.height - y - 1
            clip: true
            model: trainingsModel.trainingsItemModel()
            ScrollBar.vertical: ScrollBar {}
            delegate: TrainingsRow {
                width: trainingList.width
                objectName: "trainingRow" + index
                rowIndex: index
                name: model.name
                lang: model.lang
                epochs: model.epochs
                modified: model.modified
                onOpen: page.go("Training.qml", { "trainingPath": model.tpath, "toStart": false })
                // The delegate's own index is current after earlier removals.
                onRemove: trainingsModel.removeTraining(index)
            }
        }

        Text {
            objectName: "trainingsEmpty"
            anchors.centerIn: trainingList
            visible: trainingList.count === 0
            text: qsTr("No trainings yet. Press New Training to train a voice from a recording.")
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_DEF
            color: "#8A8F99"
        }

        BusyMask {
            objectName: "trainingsBusy"
            visible: trainingsModel.isRemoving
            radius: parent.radius
        }
    }
}
