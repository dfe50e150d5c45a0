import QtQuick 2.15
import QtQuick.Controls 2.15
import VoiceSelectorModel 1.0

// The installed voice speakers, sortable by name, language and gender.
Item {
    id: tab

    property var selector
    property bool picking: false
    signal picked(var voice)

    readonly property real nameWidth: (width - 50) * 0.36
    readonly property real langWidth: (width - 50) * 0.28
    readonly property real sexWidth: (width - 50) * 0.18
    readonly property real sampleWidth: (width - 50) * 0.18

    Row {
        id: header
        x: 10
        width: parent.width - 10
        height: 32
        SortHeader {
            objectName: "localSortName"
            width: tab.nameWidth
            height: parent.height
            title: qsTr("Name")
            ascSort: VoiceSelectorModel.NameAsc
            descSort: VoiceSelectorModel.NameDesc
            current: tab.selector.sortBy
            onSortRequested: tab.selector.resortLocalVoices(sort)
        }
        SortHeader {
            objectName: "localSortLang"
            width: tab.langWidth
            height: parent.height
            title: qsTr("Language")
            ascSort: VoiceSelectorModel.LangAsc
            descSort: VoiceSelectorModel.LangDesc
            current: tab.selector.sortBy
            onSortRequested: tab.selector.resortLocalVoices(sort)
        }
        SortHeader {
            objectName: "localSortSex"
            width: tab.sexWidth
            height: parent.height
            title: qsTr("Gender")
            ascSort: VoiceSelectorModel.SexAsc
            descSort: VoiceSelectorModel.SexDesc
            current: tab.selector.sortBy
            onSortRequested: tab.selector.resortLocalVoices(sort)
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
            objectName: "localVoiceList"
            anchors.fill: parent
            clip: true
            model: tab.selector.localVoicesModel()
            ScrollBar.vertical: ScrollBar {}
            delegate: LocalVoiceRow {
                objectName: "localVoice" + index
                width: list.width
                selector: tab.selector
                picking: tab.picking
                nameWidth: tab.nameWidth
                langWidth: tab.langWidth
                sexWidth: tab.sexWidth
                sampleWidth: tab.sampleWidth
                onPicked: tab.picked(voice)
            }
        }

        Text {
            objectName: "noLocalVoices"
            anchors.centerIn: parent
            visible: list.count === 0 && !tab.selector.isLoadingLocalVoices
            text: qsTr("No voice is installed yet.")
            font.family: FONTFAMILY_MAIN
            font.pixelSize: FONTSIZE_DEF
            color: "#8A8F99"
        }

        BusyMask {
            visible: tab.selector.isLoadingLocalVoices
        }

        ErrorCover {
            text: tab.selector.loadLocalVoicesError
        }
    }

    Component.onCompleted: selector.loadLocalVoices()
}
