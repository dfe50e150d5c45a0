import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Dialogs 1.3
import HomeModel 1.0

// The start page: a new project (from the text typed or pasted here, or
// empty), text and HTML files turned into projects, and voice cloning.
Item {
    id: page

    // The text the new project starts with, and the files being converted.
    property string pendingText: ""
    property var pendingFiles: []
    property var leaveTodo: null
    readonly property alias homeModel: homeModel
    readonly property int dimMargins: typeof customWin !== "undefined" ? customWin.frameInset : 0

    // Leaving waits until the model has closed.
    function nav(fn) {
        leaveTodo = fn;
        homeModel.close();
    }

    function go(source, props) {
        if (typeof navUtil !== "undefined")
            navUtil.nav(source, props);
    }

    // Opens the settings form: with the name field for a new project, without
    // it for a file conversion.
    function openSettings(forFiles) {
        var form = settingComponent.createObject(page, {
            "title": forFiles ? qsTr("Convert Files to Projects") : qsTr("New Project"),
            "showName": !forFiles,
            "dimMargins": page.dimMargins
        });
        form.accepted.connect(function (name, voice, srate) {
            if (forFiles)
                homeModel.convertFiles(page.pendingFiles, voice, srate);
            else
                homeModel.createProject(name, voice, srate);
        });
        return form;
    }

    function newProject() {
        pendingText = textArea.text;
        return openSettings(false);
    }

    function importFiles() {
        var dialog = fileDialogComponent.createObject(page);
        dialog.open();
        return dialog;
    }

    function filesChosen(urls) {
        pendingText = "";
        pendingFiles = urls;
        return urls.length > 0 ? openSettings(true) : null;
    }

    Component.onCompleted: {
        if (typeof mainLeft !== "undefined")
            mainLeft.current = "home";
    }

    HomeModel {
        id: homeModel
        onGotoProject: page.go("Project.qml", { "path": path, "initText": page.pendingText })
        onGotoProjects: page.go("Projects.qml", {})
        onToClose: {
            var fn = page.leaveTodo;
            page.leaveTodo = null;
            if (fn)
                fn();
        }
    }

    Component {
        id: settingComponent
        ProjectSettingForm {}
    }

    // Made when asked for: Qt's own file dialog is a window of its own.
    Component {
        id: fileDialogComponent
        FileDialog {
            title: qsTr("Select text files")
            selectMultiple: true
            selectExisting: true
            folder: DOCUMENTS_URL
            nameFilters: [qsTr("Text files (*.txt *.htm *.html *.TXT *.HTM *.HTML)"), qsTr("All files (*)")]
            onAccepted: {
                page.filesChosen(fileUrls);
                destroy();
            }
            onRejected: destroy()
        }
    }

    Flickable {
        anchors.fill: parent
        contentHeight: content.height + 60
        clip: true
        boundsBehavior: Flickable.StopAtBounds

        Column {
            id: content
            x: 30
            y: 24
            width: page.width - 60
            spacing: 18

            Text {
                text: qsTr("Home")
                font.family: FONTFAMILY_MAIN
                font.pixelSize: FONTSIZE_TITLE1
                font.bold: true
                color: TEXTCOLOR_MAIN
            }

            Rectangle {
                width: parent.width
                height: Math.max(220, page.height - 330)
                radius: 10
                color: "white"
                border.color: textArea.activeFocus ? MAIN_COLOR : "#E3E5EA"

                ScrollView {
                    anchors.fill: parent
                    anchors.margins: 6
                    TextArea {
                        id: textArea
                        objectName: "homeText"
                        wrapMode: TextEdit.Wrap
                        selectByMouse: true
                        placeholderText: qsTr("Type or paste your text here, then press New Project. Each line becomes a text segment.")
                        font.family: FONTFAMILY_MAIN
                        font.pixelSize: FONTSIZE_DEF
                        color: TEXTCOLOR_MAIN
                        background: null
                    }
                }
            }

            Row {
                spacing: 16
                width: parent.width
                readonly property real cardWidth: (width - 2 * spacing) / 3

                HomeCard {
                    objectName: "newProjectCard"
                    width: parent.cardWidth
                    title: qsTr("New Project")
                    note: textArea.length > 0 ? qsTr("Start a project with the text above.")
                                              : qsTr("Start an empty project and type into it.")
                    glyph: "+"
                    primary: true
                    onClicked: page.newProject()
                }
                HomeCard {
                    objectName: "importCard"
                    width: parent.cardWidth
                    title: qsTr("Import Text Files")
                    note: qsTr("Each .txt or .html file becomes a project, one segment per line.")
                    glyph: "\u21E9"
                    onClicked: page.importFiles()
                }
                HomeCard {
                    objectName: "cloneCard"
                    width: parent.cardWidth
                    title: qsTr("Voice Cloning")
                    note: qsTr("Record your voice and train a voice of your own.")
                    glyph: "\u266A"
                    onClicked: {
                        if (typeof mainmodel !== "undefined") {
                            mainmodel.openKelmaridon();
                            if (typeof window !== "undefined")
                                window.showMinimized();
                        }
                    }
                }
            }
        }
    }

    // Busy mask while files are converted or the page closes.
    BusyMask {
        objectName: "homeBusy"
        visible: homeModel.isLoading
    }
}
