import QtQuick 2.15

// A page without a model: it leaves at once.
Item {
    property string tag: ""
}
