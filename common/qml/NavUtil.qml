import QtQuick 2.15

// The page area: a stack of page loaders of which the top one is shown.
// A page whose model must close first defines nav(fn, stay) and calls fn once
// its model has closed, or stay when the page is not to be left after all.
Item {
    id: navUtil

    property var stack: []
    property string currentSource: ""
    // The action waiting for the current page to leave, if any.
    property var pendingTodo: null
    readonly property Item currentPage: stack.length > 0 ? stack[stack.length - 1].item : null

    Component {
        id: loaderComponent
        Loader {
            anchors.fill: parent
        }
    }

    function push() {
        if (stack.length > 0)
            stack[stack.length - 1].visible = false;
        var loader = loaderComponent.createObject(navUtil);
        var s = stack.slice();
        s.push(loader);
        stack = s;
        return loader;
    }

    function pop() {
        if (stack.length === 0)
            return;
        var s = stack.slice();
        var loader = s.pop();
        loader.source = "";
        loader.destroy();
        stack = s;
        if (s.length > 0)
            s[s.length - 1].visible = true;
    }

    // Runs fn once the current page agreed to leave. While a page is still
    // closing, a later request replaces the waiting one.
    function navTodo(fn) {
        var waiting = pendingTodo !== null;
        pendingTodo = fn;
        if (waiting)
            return;
        var page = currentPage;
        var go = function () {
            var todo = navUtil.pendingTodo;
            navUtil.pendingTodo = null;
            if (todo)
                todo();
        };
        var stay = function () {
            navUtil.pendingTodo = null;
        };
        if (page && typeof page.nav === "function")
            page.nav(go, stay);
        else
            go();
    }

    function show(source, props) {
        if (stack.length === 0)
            push();
        var loader = stack[stack.length - 1];
        loader.setSource(source, props ? props : {});
        currentSource = source;
    }

    function nav(source, props) {
        navTodo(function () { navUtil.show(source, props); });
    }
}
