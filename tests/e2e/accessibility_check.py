#!/usr/bin/python3
"""What a screen reader or voice control sees of the running program, over
the accessibility bus (AT-SPI): walks the program's windows, checks names and
roles, and acts through accessible actions alone, as such tools do.

  accessibility_check.py PID

Expects the message form open with a recipient "Alice Able". Prints "ok:"
and "FAIL:" lines; exits 1 on any failure.
"""
import sys
import time

import pyatspi

import atspi_walk
from atspi_walk import nodes, pump

PID = int(sys.argv[1])
failures = 0


def check(what, ok):
    global failures
    print(("ok: " if ok else "FAIL: ") + what, flush=True)
    if not ok:
        failures += 1


def window(name, timeout=15):
    return atspi_walk.window(PID, name, timeout)


def find(root, role, name):
    for node in nodes(root):
        if node.getRole() == role and node.name == name:
            return node
    return None


def fresh_states(node):
    pump()
    node.clear_cache()
    return node.getState()


def act(node, action):
    actions = node.queryAction()
    for i in range(actions.nActions):
        if actions.getName(i) == action:
            return actions.doAction(i)
    return False


def names_of(root, roles):
    return [n.name for n in nodes(root) if n.getRole() in roles]


TEXT_ROLES = (pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY, pyatspi.ROLE_PASSWORD_TEXT)


def press(root, name):
    button = find(root, pyatspi.ROLE_PUSH_BUTTON, name)
    return button is not None and act(button, "Press")


form = window("Quorvane")
check("the form is on the accessibility bus", form is not None)
if form is None:
    sys.exit(1)

fields = names_of(form, TEXT_ROLES)
for name in ("Name:", "Company:", "Phone:", "Email:", "Message (10,000 characters Maximum)"):
    check("the form's field %r is named" % name, name in fields)
pictures = [n for n in nodes(form) if n.getRole() == pyatspi.ROLE_IMAGE]
check("the form's pictures are named", pictures and all(p.name for p in pictures))

send = find(form, pyatspi.ROLE_PUSH_BUTTON, "Send")
alice = find(form, pyatspi.ROLE_CHECK_BOX, "Alice Able")
check("Send and the recipient box are found", send is not None and alice is not None)
if send is not None and alice is not None:
    check("Send starts disabled", not fresh_states(send).contains(pyatspi.STATE_ENABLED))
    check("the recipient box offers Toggle", act(alice, "Toggle"))
    deadline = time.time() + 5
    while time.time() < deadline and not fresh_states(send).contains(pyatspi.STATE_ENABLED):
        time.sleep(0.1)
    check("Toggle ticks the recipient", fresh_states(alice).contains(pyatspi.STATE_CHECKED))
    check("and enables Send", fresh_states(send).contains(pyatspi.STATE_ENABLED))

check("Setup opens through its Press action", press(form, "Setup"))
setup = window("Setup")
check("Setup is on the accessibility bus", setup is not None)
if setup is not None:
    fields = names_of(setup, TEXT_ROLES)
    for name in ("Host name: e.g. smtp.example.com", "Port", "Username", "Password", "Name: e.g. My Name",
                 "Email Address: e.g. me@example.com"):
        check("Setup's field %r is named" % name, name in fields)
    password = find(setup, pyatspi.ROLE_PASSWORD_TEXT, "Password")
    check("the password field has the password role", password is not None)

    check("Custom Messages opens from Setup", press(setup, "Setup Custom Messages..."))
    custom = window("Custom Messages")
    if custom is not None:
        images = {n.name for n in nodes(custom) if n.getRole() == pyatspi.ROLE_IMAGE}
        check("the sample and the icon are named pictures", {"Sample Preview", "Quorvane"} <= images)
        press(custom, "OK")
    else:
        check("Custom Messages is on the accessibility bus", False)
    window("Setup")
    press(setup, "OK")

check("Edit Recipients opens through its Press action", press(form, "Edit Recipients..."))
editor = window("Edit Recipients")
if editor is not None:
    fields = names_of(editor, TEXT_ROLES)
    check("the recipients' edits are named by entry",
          all(n in fields for n in ("Name 1", "Address 1", "Name 40", "Address 40")))
    press(editor, "OK")
else:
    check("Edit Recipients is on the accessibility bus", False)

check("About opens through its Press action", press(form, "About"))
about = window("About Quorvane")
if about is not None:
    links = [n for n in nodes(about) if n.getRole() == pyatspi.ROLE_LINK]
    check("the web address is a named link", len(links) == 1 and links[0].name != "")
    images = [n for n in nodes(about) if n.getRole() == pyatspi.ROLE_IMAGE]
    check("About's pictures are named", images and all(i.name for i in images))
    press(about, "OK")
else:
    check("About is on the accessibility bus", False)

sys.exit(1 if failures else 0)
