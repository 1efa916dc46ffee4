"""Walking the running program's windows over the accessibility bus
(AT-SPI), as screen readers do; shared by the end-to-end checks' scripts."""
import time

import pyatspi
from gi.repository import GLib


def pump():
    context = GLib.MainContext.default()
    while context.iteration(False):
        pass


def nodes(root, depth=0):
    if root is None or depth > 12:
        return
    yield root
    for i in range(root.childCount):
        try:
            child = root.getChildAtIndex(i)
        except Exception:
            continue
        yield from nodes(child, depth + 1)


def application(pid):
    for app in pyatspi.Registry.getDesktop(0):
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            pass
    return None


def window(pid, name, timeout=15):
    """The program's top-level window called name, once it is there."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        pump()
        app = application(pid)
        if app is not None:
            app.clear_cache()
            for i in range(app.childCount):
                w = app.getChildAtIndex(i)
                if w is not None and w.name == name and w.getState().contains(pyatspi.STATE_SHOWING):
                    return w
        time.sleep(0.2)
    return None
