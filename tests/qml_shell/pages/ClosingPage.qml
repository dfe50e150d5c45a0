import QtQuick 2.15

// A page whose model needs time to close, like a project that is converting.
Item {
    id: page

    property string tag: ""
    property int closeDelay: 200
    property var navFn: null

    QtObject {
        id: model
        signal toClose()
        function close() { closer.start(); }
    }

    Timer {
        id: closer
        interval: page.closeDelay
        onTriggered: {
            quitRecorder.note("closed:" + page.tag);
            model.toClose();
        }
    }

    function nav(fn) {
        navFn = fn;
        quitRecorder.note("closing:" + tag);
        model.close();
    }

    Connections {
        target: model
        function onToClose() {
            if (page.navFn) {
                var fn = page.navFn;
                page.navFn = null;
                fn();
            }
        }
    }
}
