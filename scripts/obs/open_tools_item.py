# SPDX-License-Identifier: GPL-2.0-or-later
"""Chooses an item of OBS Studio's Tools menu by keyboard, as a person
would: the main window focused, Alt+T opens the menu, the item's mnemonic
letter chooses it. Then waits for FILE to appear (what the item's action
leaves behind) and prints its text.
    open_tools_item.py OBS_PID LETTER FILE"""
import os, sys, time

from Xlib import X, XK, display
from Xlib.ext import xtest

from obs_ws import log, obs_alive
from x_windows import windows_named

obs_pid, letter, left_behind = sys.argv[1:4]
d = display.Display()
main = windows_named(d, lambda name: name.startswith("OBS "))
if not main:
    sys.exit("no main window of OBS Studio")
main[0].set_input_focus(X.RevertToParent, X.CurrentTime)
d.sync()


def key(name, hold=None):
    codes = [d.keysym_to_keycode(XK.string_to_keysym(k)) for k in ([hold] if hold else []) + [name]]
    for code in codes:
        xtest.fake_input(d, X.KeyPress, code)
    for code in reversed(codes):
        xtest.fake_input(d, X.KeyRelease, code)
    d.sync()
    time.sleep(0.3)


key("t", hold="Alt_L")
key(letter)
deadline = time.monotonic() + 30
while not os.path.exists(left_behind):
    if time.monotonic() > deadline or not obs_alive(obs_pid):
        sys.exit("the Tools menu item left no %s within 30 s" % left_behind)
    time.sleep(0.1)
time.sleep(0.2)
with open(left_behind, encoding="utf-8") as file:
    print(file.read().strip())
log("Tools menu, item %r: done" % letter)
