"""Reads an application's accessibility tree over AT-SPI, as a screen reader does, for the
accessibility tests. Each run is a fresh client, so nothing it reports comes from a cache.

    atspitree.py PID              prints the tree of the application with that process id (JSON)
    atspitree.py PID --press NAME runs the press action of the object named NAME
"""
import json
import sys

import pyatspi


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def node(accessible, depth=0):
    actions = []
    try:
        action = accessible.queryAction()
        actions = [action.getName(i) for i in range(action.nActions)]
    except NotImplementedError:
        pass
    states = accessible.getState()
    children = []
    if depth < 12:
        for index in range(accessible.childCount):
            child = accessible.getChildAtIndex(index)
            if child is not None:
                children.append(node(child, depth + 1))
    return {"name": accessible.name, "role": accessible.getRoleName(),
            "editable": states.contains(pyatspi.STATE_EDITABLE),
            "focusable": states.contains(pyatspi.STATE_FOCUSABLE),
            "actions": actions, "children": children}


def find(accessible, name):
    if accessible.name == name:
        return accessible
    for index in range(accessible.childCount):
        child = accessible.getChildAtIndex(index)
        found = find(child, name) if child is not None else None
        if found is not None:
            return found
    return None


def main():
    app = application(int(sys.argv[1]))
    if app is None:
        print("null")
        return 0
    if len(sys.argv) > 3 and sys.argv[2] == "--press":
        target = find(app, sys.argv[3])
        if target is None:
            return 2
        action = target.queryAction()
        names = [action.getName(i).lower() for i in range(action.nActions)]
        if "press" not in names:
            return 3
        return 0 if action.doAction(names.index("press")) else 4
    print(json.dumps(node(app)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
