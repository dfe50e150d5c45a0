import QtQuick 2.15
import QtTest 1.15

TestCase {
    name: "ItemModel"
    width: 200
    height: 400
    when: windowShown

    ListView {
        id: view
        anchors.fill: parent
        model: probe.itemModel()
        delegate: Text {
            height: 20
            text: name + "/" + upper
        }
    }

    function texts() {
        view.forceLayout()
        var out = []
        for (var i = 0; i < view.count; ++i)
            out.push(view.itemAtIndex(i).text)
        return out
    }

    function test_viewFollowsTheOwnersData() {
        probe.setNames(["a", "b", "c"])
        compare(view.count, 3)
        compare(texts(), ["a/A", "b/B", "c/C"])
        probe.insertName(1, "x")
        compare(texts(), ["a/A", "x/X", "b/B", "c/C"])
        probe.removeAt(0)
        probe.rename(2, "z")
        compare(view.count, 3)
        compare(texts(), ["x/X", "b/B", "z/Z"])
        probe.setNames([])
        compare(view.count, 0)
    }
}
