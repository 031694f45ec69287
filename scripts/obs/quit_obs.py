# SPDX-License-Identifier: GPL-2.0-or-later
# Quits OBS Studio as a person would: closes its main window with
# WM_DELETE_WINDOW, as a window manager does. If the Properties window of the
# input named by the second argument then asks whether to keep changed
# settings (a message box transient for it), it answers with Return: the
# default button, Save.
#   quit_obs.py OBS_PID INPUT_NAME
import sys, time
from Xlib import X, XK, display, error, protocol
from Xlib.ext import xtest

from obs_ws import log, obs_alive

obs_pid, input_name = sys.argv[1:3]
try:
    d = display.Display()
except error.DisplayConnectionError as e:
    sys.exit("no X server any more: %s" % e)
root = d.screen().root
WM_PROTOCOLS = d.intern_atom("WM_PROTOCOLS")
WM_DELETE_WINDOW = d.intern_atom("WM_DELETE_WINDOW")
NET_WM_NAME = d.intern_atom("_NET_WM_NAME")
UTF8_STRING = d.intern_atom("UTF8_STRING")

def name(window):
    utf8 = window.get_full_property(NET_WM_NAME, UTF8_STRING)
    if utf8:
        return utf8.value.decode("utf-8", "replace")
    plain = window.get_wm_name()
    return plain.decode("latin-1") if isinstance(plain, bytes) else (plain or "")

def toplevels():
    """The viewable top-level windows, with their names and transient-for names."""
    found = []
    for window in root.query_tree().children:
        try:
            if window.get_attributes().map_state != X.IsViewable:
                continue
            owner = window.get_wm_transient_for()
            found.append((window, name(window), name(owner) if owner else ""))
        except error.XError:  # gone meanwhile
            pass
    return found

main = [w for w, n, _ in toplevels() if n.startswith("OBS ")]
if not main:
    sys.exit("no main window of OBS Studio to close")
main[0].send_event(protocol.event.ClientMessage(window=main[0], client_type=WM_PROTOCOLS,
                                                data=(32, [WM_DELETE_WINDOW, X.CurrentTime, 0, 0, 0])),
                   event_mask=X.NoEventMask)
d.flush()

deadline = time.monotonic() + 20
answered = 0
while obs_alive(obs_pid):
    if time.monotonic() > deadline:
        sys.exit("OBS Studio still runs 20 s after its main window was closed")
    for window, _, owner in toplevels():
        if input_name in owner and answered < 3:
            answered += 1
            log("the Properties window asks whether to keep changed settings: answering Save")
            return_key = d.keysym_to_keycode(XK.string_to_keysym("Return"))
            window.set_input_focus(X.RevertToParent, X.CurrentTime)
            xtest.fake_input(d, X.KeyPress, return_key)
            xtest.fake_input(d, X.KeyRelease, return_key)
            d.sync()
            time.sleep(1)
    time.sleep(0.2)
