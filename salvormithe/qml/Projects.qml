import QtQuick 2.15
import QtQuick.Controls 2.15
import ProjectsModel 1.0

// The project list, newest first: a row opens its project, Delete removes it
// after a confirmation.
Item {
    id: page

    readonly property alias projectsModel: projectsModel
    readonly property alias list: projectList

    // Set while the page waits for its model to close.
    property var leaveTodo: null

    // The page leaves once a removal under way has ended.
    function nav(fn) {
        leaveTodo = fn;
        projectsModel.close();
    }

    function go(source, props) {
        if (typeof navUtil !== "undefined")
            navUtil.nav(source, props);
    }

    Component.onCompleted: {
        if (typeof mainLeft !== "undefined")
            mainLeft.current = "projects";
    }

    ProjectsModel {
        id: projectsModel
        onToClose: if (page.leaveTodo) page.leaveTodo()
    }

    Text {
        id: title
        x: 30
        y: 24
        text: qsTr("Projects")
        font.family: FONTFAMILY_MAIN
        font.pixelSize: FONTSIZE_TITLE1
        font.bold: true
        color: TEXTCOLOR_MAIN
    }

    ActionButton {
        objectName: "projectsNew"
        anchors.right: parent.right
        anchors.rightMargin: 30
        anchors.verticalCenter: title.verticalCenter
        text: qsTr("New Project")
        onClicked: page.go("home.qml", {})
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
            x: 20
            width: parent.width - 40
            height: 40
            Text {
                width: parent.width * 0.55
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("Name")
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_SUB
                color: "#8A8F99"
            }
            Text {
                width: parent.width * 0.3
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("Created")
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_SUB
                color: "#8A8F99"
            }
        }
        Rectangle {
            y: header.height
            width: parent.width
            height: 1
            color: "#EEF0F3"
        }

        ListView {
            id: projectList
            objectName: "projectList"
            y: header.height + 1
            width: parent.width
            height: parent.height - y
            clip: true
            model: projectsModel.projectsItemModel()
            ScrollBar.vertical: ScrollBar {}
            delegate: ProjectsRow {
                width: projectList.width
                onOpen: page.go("Project.qml", { "path": model.path })
                // The delegate's own index is current after earlier removals.
                onRemove: projectsModel.removeProject(index)
            }
        }

        Text {
            objectName: "projectsEmpty"
            anchors.centerIn: projectList
            visible: projectList.count === 0
            text: qsTr("No projects yet. Start one on the Home page.")
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_DEF
            color: "#8A8F99"
        }

        BusyMask {
            objectName: "projectsBusy"
            visible: projectsModel.isRemoving
            radius: parent.radius
        }
    }
}
