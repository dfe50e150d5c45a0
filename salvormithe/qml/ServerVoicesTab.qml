import QtQuick 2.15
import QtQuick.Controls 2.15
import VoiceSelectorModel 1.0

// The voice server's voices of one language: language choice, search,
// sortable columns, samples and installation.
Item {
    id: tab

    property var selector
    // True while this tab is the one shown.
    property bool shown: false

    readonly property real nameWidth: (width - 100) * 0.40
    readonly property real sexWidth: (width - 100) * 0.22
    readonly property real qualityWidth: (width - 100) * 0.20
    readonly property real sampleWidth: (width - 100) * 0.18

    function openLanguagesWhenNoneChosen() {
        if (shown && selector.curLang === "")
            langList.open();
    }

    onShownChanged: openLanguagesWhenNoneChosen()
    Component.onCompleted: openLanguagesWhenNoneChosen()

    Row {
        id: toolbar
        x: 10
        y: 8
        spacing: 8
        height: 32

        TextField {
            id: langField
            objectName: "languageField"
            width: Math.min(200, (tab.width - 120) / 2)
            height: parent.height
            readOnly: true
            text: tab.selector.curLangDisplay
            placeholderText: qsTr("IDS_SELECT_LANGUAGE")
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_SUB
            MouseArea {
                anchors.fill: parent
                cursorShape: Qt.PointingHandCursor
                onClicked: langList.open()
            }
            LanguageList {
                id: langList
                objectName: "languageListPopup"
                selector: tab.selector
                y: langField.height + 2
                width: Math.max(langField.width, 220)
                height: Math.min(implicitHeight, 340, tab.height - toolbar.y - langField.height - 10)
                onChosen: {
                    tab.selector.curLang = lang;
                    tab.selector.curLangDisplay = engName;
                    tab.selector.reloadServerVoices();
                    langList.close();
                }
            }
        }

        TextField {
            id: keyword
            objectName: "keywordField"
            width: Math.min(200, (tab.width - 120) / 2)
            height: parent.height
            readOnly: tab.selector.curLang === ""
            placeholderText: qsTr("IDS_SEARCH_VOICE")
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_SUB
            onAccepted: if (searchButton.enabled) searchButton.clicked()
        }

        ActionButton {
            id: searchButton
            objectName: "searchButton"
            width: 80
            height: parent.height
            text: qsTr("Search")
            enabled: tab.selector.curLang !== ""
            onClicked: tab.selector.searchServerVoice(keyword.text)
        }
    }

    Row {
        id: header
        x: 10
        anchors.top: toolbar.bottom
        anchors.topMargin: 6
        height: 32
        SortHeader {
            objectName: "serverSortName"
            width: tab.nameWidth
            height: parent.height
            title: qsTr("Name")
            ascSort: VoiceSelectorModel.NameAsc
            descSort: VoiceSelectorModel.NameDesc
            current: tab.selector.sortBy
            onSortRequested: tab.selector.resortServerVoices(sort)
        }
        SortHeader {
            objectName: "serverSortSex"
            width: tab.sexWidth
            height: parent.height
            title: qsTr("Gender")
            ascSort: VoiceSelectorModel.SexAsc
            descSort: VoiceSelectorModel.SexDesc
            current: tab.selector.sortBy
            onSortRequested: tab.selector.resortServerVoices(sort)
        }
        SortHeader {
            objectName: "serverSortQuality"
            width: tab.qualityWidth
            height: parent.height
            title: qsTr("Quality")
            ascSort: VoiceSelectorModel.QualityAsc
            descSort: VoiceSelectorModel.QualityDesc
            current: tab.selector.sortBy
            onSortRequested: tab.selector.resortServerVoices(sort)
        }
    }

    Rectangle {
        anchors.top: header.bottom
        width: parent.width
        height: 1
        color: "#E3E5EA"
    }

    Item {
        anchors.top: header.bottom
        anchors.topMargin: 1
        anchors.bottom: parent.bottom
        width: parent.width

        ListView {
            id: list
            objectName: "serverVoiceList"
            anchors.fill: parent
            clip: true
            model: tab.selector.serverVoicesModel()
            ScrollBar.vertical: ScrollBar {}
            delegate: ServerVoiceRow {
                objectName: "serverVoice" + index
                width: list.width
                selector: tab.selector
                nameWidth: tab.nameWidth
                sexWidth: tab.sexWidth
                qualityWidth: tab.qualityWidth
                sampleWidth: tab.sampleWidth
            }
        }

        BusyMask {
            visible: tab.selector.isLoadingServerVoices
        }

        ErrorCover {
            text: tab.selector.loadServerVoicesError
        }
    }
}
