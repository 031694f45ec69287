# SPDX-License-Identifier: GPL-2.0-or-later
"""Quits OBS Studio while it is busiest with the module: a thanks source's
settings form open (its "configure" button, the logic assembly's own form
on the X display) and clients posting gifts to its loopback endpoint as
fast as it answers them. HOW is "keys" (Ctrl+Q into OBS Studio's main
window, its Exit shortcut) or "sigint". Fails unless OBS Studio has ended
within 10 s; its exit status is the caller's to check.
    quit_under_load.py PORT PASSWORD OBS_PID HOW"""
import os, signal, sys, threading, time, urllib.error

from Xlib import X, XK, display
from Xlib.ext import xtest

from gift_endpoint import free_url, post, wait_until_listening
from obs_ws import log, must, obs_alive, open_session
from screenshots import HANG_BOUND, fail
from x_windows import windows_named

port, password, obs_pid, how = sys.argv[1:5]
NAME = "答谢 outlined"  # the name the session's stop_obs answers for
FORM_TITLE = "Thanks settings"  # after its Chinese title
CLIENTS = 3


def flood(url, client, counts, stop):
    """Posts gifts back to back until OBS Studio is gone."""
    n = 0
    while not stop.is_set():
        try:
            post(url, {"sender": "刷屏%d" % n, "gift": "火箭", "count": 1, "id": "flood-%d-%d" % (client, n)})
            counts[0] += 1
        except urllib.error.HTTPError:
            counts[1] += 1  # refused (a full queue): the client goes on
        except (urllib.error.URLError, OSError):
            if not obs_alive(obs_pid):
                return
            time.sleep(0.01)
        n += 1


def main():
    d = display.Display()
    ws = open_session(port, password, obs_pid)
    url = free_url()
    scene = must(ws, "GetCurrentProgramScene")["currentProgramSceneName"]
    must(ws, "CreateInput", {"sceneName": scene, "inputName": NAME, "inputKind": "morvik_thanks_image",
                             "inputSettings": {"room_name": url, "show_second": 1, "font": "WenQuanYi Micro Hei"},
                             "sceneItemEnabled": True})
    wait_until_listening(url)
    must(ws, "PressInputPropertiesButton", {"inputName": NAME, "propertyName": "configure"})
    deadline = time.monotonic() + HANG_BOUND
    while not windows_named(d, lambda name: FORM_TITLE in name):
        if time.monotonic() > deadline:
            fail("the settings form did not open within %d s" % HANG_BOUND)
        time.sleep(0.2)
    log("the settings form is open")
    ws.close()

    stop, counts = threading.Event(), [0, 0]
    threads = [threading.Thread(target=flood, args=(url, i, counts, stop), daemon=True) for i in range(CLIENTS)]
    for thread in threads:
        thread.start()
    # Three seconds of posting, and at least one gift taken before the quit.
    posting = time.monotonic()
    while counts[0] == 0 or time.monotonic() - posting < 3:
        if time.monotonic() - posting > HANG_BOUND:
            fail("the endpoint took no gift in %d s of posting" % HANG_BOUND)
        time.sleep(0.1)
    log("%d gifts taken, %d refused in %.1f s; quitting by %s" % (counts[0], counts[1], time.monotonic() - posting,
                                                                  how))

    quit_at = time.monotonic()
    if how == "keys":
        main_windows = windows_named(d, lambda name: name.startswith("OBS "))
        if not main_windows:
            fail("no main window of OBS Studio")
        main_windows[0].set_input_focus(X.RevertToParent, X.CurrentTime)
        control, q = (d.keysym_to_keycode(XK.string_to_keysym(k)) for k in ("Control_L", "q"))
        for kind, key in ((X.KeyPress, control), (X.KeyPress, q), (X.KeyRelease, q), (X.KeyRelease, control)):
            xtest.fake_input(d, kind, key)
        d.sync()
    else:
        os.kill(int(obs_pid), signal.SIGINT)
    while obs_alive(obs_pid) and time.monotonic() - quit_at < 30:
        time.sleep(0.05)
    took = time.monotonic() - quit_at
    stop.set()
    if obs_alive(obs_pid):
        fail("OBS Studio still runs 30 s after the quit (%s)" % how)
    log("OBS Studio ended %.1f s after the quit by %s, %d gifts taken in all" % (took, how, counts[0]))
    if took > 10:
        fail("OBS Studio took %.1f s to quit by %s (10 s at most)" % (took, how))


main()
