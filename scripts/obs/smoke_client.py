# SPDX-License-Identifier: GPL-2.0-or-later
"""Drives OBS Studio with the installed thanks module through obs-websocket,
as a streamer's tools would, and checks what the source draws in
GetSourceScreenshot PNGs (kept in OUT_DIR). Exits non-zero, naming the
failed check, at the first one that fails. With "short" (a user plug-in
install), the hint and the demo room's first text are checked, then a gift
posted to the source's loopback endpoint must be thanked and the
"Settings…" button must open the logic assembly's real Windows Forms form
on the X display (OBS Studio started without a form script), which removing
the source closes.
    smoke_client.py PORT PASSWORD OBS_PID OUT_DIR [short]"""
import os, sys, time

from Xlib import display

from gift_endpoint import free_url, post, wait_until_listening
from obs_ws import log, must, open_session, request
import screenshots
from screenshots import HANG_BOUND, Shot, fail
from vendor_events import Events
from x_windows import windows_named

port, password, obs_pid, out_dir = sys.argv[1:5]
short = sys.argv[5:6] == ["short"]
KIND = "morvik_thanks_image"
NAME = "答谢 smoke"
GOLD, GREEN, RED = 0xFFFFC800, 0xFF00FF00, 0xFFFF0000  # the module's colours are 0xAARRGGBB
FORM_TITLE = "Thanks settings"  # after its Chinese title


def settle(ws, label, condition, what):
    """Screenshots the source until `condition(shot)` holds; the shot that
    made it."""
    shot = screenshots.settle(ws, label, NAME, out_dir, condition, what)
    log("%s: %dx%d, ink %.0f%% (%s)" % (label, shot.width, shot.height, 100 * shot.ink(), shot.path))
    return shot


def thank_posted_gift(ws, events):
    """A gift posted to the source's own loopback endpoint is thanked: the
    thanks line naming its sender is shown and drawn."""
    url = free_url()
    must(ws, "SetInputSettings", {"inputName": NAME, "inputSettings": {"room_name": url, "is_no_thanks": 0}})
    wait_until_listening(url)
    before = Shot(ws, "3-endpoint", NAME, out_dir)
    post(url, {"sender": "小明", "gift": "火箭", "count": 2, "id": "smoke-gift-1"})
    events.wait("ThanksShown", lambda d: "小明" in d.get("text", ""), "for the gift posted to %s" % url)
    settle(ws, "4-thanked", lambda s: s.content != before.content and s.ink() > 0.02,
           "the thanks for the posted gift is drawn")
    log("a gift posted to %s was thanked" % url)


def open_real_form(ws):
    """The "Settings…" button opens the assembly's Windows Forms form (System
    .Windows.Forms and System.Drawing on libgdiplus) as a window on the
    display; a display connection of our own watches for it."""
    screen = display.Display()
    status, _ = request(ws, "PressInputPropertiesButton", {"inputName": NAME, "propertyName": "configure"})
    if not status.get("result"):
        fail("PressInputPropertiesButton configure: %r" % status)
    deadline = time.monotonic() + HANG_BOUND
    while not windows_named(screen, lambda name: FORM_TITLE in name):
        if time.monotonic() > deadline:
            fail("the settings form did not open within %d s" % HANG_BOUND)
        time.sleep(0.2)
    log("the settings form is open on the display")
    return screen


def remove_input(ws, form_screen=None):
    """Removed: OBS Studio releases it once its last reference goes, and a
    settings form it has open closes with it."""
    must(ws, "RemoveInput", {"inputName": NAME})
    end = time.monotonic() + HANG_BOUND
    while NAME in [i["inputName"] for i in must(ws, "GetInputList")["inputs"]]:
        if time.monotonic() > end:
            fail("the input is still listed %d s after RemoveInput" % HANG_BOUND)
        time.sleep(0.3)
    end = time.monotonic() + HANG_BOUND
    while form_screen and windows_named(form_screen, lambda name: FORM_TITLE in name):
        if time.monotonic() > end:
            fail("the settings form is still open %d s after its source was removed" % HANG_BOUND)
        time.sleep(0.3)
    log("removed the input; every check passed")
    ws.close()


def settings_of(ws):
    return must(ws, "GetInputSettings", {"inputName": NAME})["inputSettings"]


def main():
    os.makedirs(out_dir, exist_ok=True)
    ws = open_session(port, password, obs_pid)
    events = Events(port, password, obs_pid) if short else None

    kinds = must(ws, "GetInputKindList", {"unversioned": True})["inputKinds"]
    if KIND not in kinds:
        fail("OBS Studio offers no input kind %s: the package's module did not load" % KIND)
    log("the input kinds include %s" % KIND)

    scene = must(ws, "GetCurrentProgramScene")["currentProgramSceneName"]
    # No room yet, and no idle text: the source shows its built-in hint, in
    # its colour and measured for its font.
    settings = {"room_name": "", "is_no_thanks": 0, "font": "WenQuanYi Micro Hei", "fontSize": 48,
                "color": GOLD - (1 << 32), "outline": 0, "show_second": 2, "delay_show_second": 0}
    must(ws, "CreateInput", {"sceneName": scene, "inputName": NAME, "inputKind": KIND,
                             "inputSettings": settings, "sceneItemEnabled": True})
    hint = settle(ws, "1-hint", lambda s: 40 <= s.height <= 80 and s.width > 6 * s.height and s.ink() > 0.02,
                  "the hint is drawn, one line of font size 48")
    if hint.share_near(GOLD) < 0.5:
        fail("the hint is not gold (%.0f%% of its ink near gold)" % (100 * hint.share_near(GOLD)))

    # The demo room, with the idle text on: the idle text and thanks lines,
    # each drawn in the size measured for the hint.
    must(ws, "SetInputSettings", {"inputName": NAME, "inputSettings": {"room_name": "demo", "is_no_thanks": 1}})
    first = settle(ws, "2-playing", lambda s: s.content != hint.content and s.ink() > 0.02,
                   "the room's first text replaces the hint")
    if short:
        thank_posted_gift(ws, events)
        remove_input(ws, open_real_form(ws))
        return
    settle(ws, "3-next-text", lambda s: s.content not in (hint.content, first.content) and s.ink() > 0.02,
           "a second text of the room follows")

    # Properties change: the size follows the font, colours and outline as set.
    must(ws, "SetInputSettings", {"inputName": NAME, "inputSettings": {
        "fontSize": 96, "color": GREEN - (1 << 32), "outline": 1, "outlineColor": RED - (1 << 32),
        "outlineSize": 4}})
    big = settle(ws, "4-restyled", lambda s: s.height >= 1.6 * hint.height and s.share_near(GREEN) > 0.2,
                 "font size 96 and the green colour show")
    if big.share_near(RED) < 0.05:
        fail("no red outline around the green letters (%.1f%% red)" % (100 * big.share_near(RED)))

    # The "Settings…" button plays the form script OBS Studio was started
    # with (font size 30, accepted): the source is measured again.
    status, _ = request(ws, "PressInputPropertiesButton", {"inputName": NAME, "propertyName": "configure"})
    if not status.get("result"):
        fail("PressInputPropertiesButton: %r" % status)
    end = time.monotonic() + HANG_BOUND
    while settings_of(ws).get("fontSize") != 30:
        if time.monotonic() > end:
            fail("the form's font size 30 did not land in the settings: %r" % settings_of(ws).get("fontSize"))
        time.sleep(0.3)
    settle(ws, "5-after-form", lambda s: s.height <= 0.5 * big.height, "the form's font size shows")
    remove_input(ws)


main()
