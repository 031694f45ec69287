# SPDX-License-Identifier: GPL-2.0-or-later
"""The user documentation's pictures of a thanks source at work in Debian's
OBS Studio: gifts posted to the source's endpoint and a test gift sent as
the Controls button "Send a test gift" sends it; while that thanks is on
air, OBS Studio's main window is photographed from the X screen; then the
gift activity page is photographed in Debian's Chromium (headless, through
chromedriver and Selenium) at a dock's width of 320 px.
    docs_client.py PORT PASSWORD OBS_PID ACTIVITY_JSON ON_AIR_PNG PAGE_PNG"""
import json, subprocess, sys, time

from Xlib import X, display
from Xlib.ext import xtest
from selenium.webdriver.common.by import By

from gift_endpoint import free_url, post_answer
from obs_ws import log, must, open_session, vendor
from page_browser import chromium, until
from screenshots import fail
from vendor_events import Events
from x_windows import windows_named

port, password, obs_pid, activity_json, on_air_png, page_png = sys.argv[1:7]
KIND = "morvik_thanks_image"
SOURCE = "答谢"
# OBS Studio's main window as photographed: wide enough for its docks and a
# legible preview of the 1280x720 canvas, within Xvfb's 1920x1080 screen.
MAIN_WINDOW = (1440, 900)


def main_window_on_screen():
    """OBS Studio's main window at the top left of the screen at
    MAIN_WINDOW's size (there is no window manager to place it), the source
    deselected by a click on the empty canvas above it, so that the preview
    shows the thanks as the stream does, without the selection's frame and
    guides."""
    d = display.Display()
    found = until(lambda: windows_named(d, lambda name: name.startswith("OBS ")), "no OBS Studio main window")
    found[0].configure(x=0, y=0, width=MAIN_WINDOW[0], height=MAIN_WINDOW[1])
    d.sync()
    time.sleep(2)  # laid out anew
    root = d.screen().root
    root.warp_pointer(MAIN_WINDOW[0] // 2, 120)
    d.sync()
    xtest.fake_input(d, X.ButtonPress, 1)
    xtest.fake_input(d, X.ButtonRelease, 1)
    root.warp_pointer(MAIN_WINDOW[0] - 5, MAIN_WINDOW[1] - 5)
    d.sync()


def main():
    ws = open_session(port, password, obs_pid)
    events = Events(port, password, obs_pid)
    scene = must(ws, "GetCurrentProgramScene")["currentProgramSceneName"]
    endpoint = free_url()
    # Each thanks briefly, until the last: the test gift's stays on air.
    settings = {"room_name": endpoint, "font": "WenQuanYi Micro Hei", "fontSize": 56, "show_second": 1,
                "delay_show_second": 0, "outline": 1, "outlineSize": 3}
    item = must(ws, "CreateInput", {"sceneName": scene, "inputName": SOURCE, "inputKind": KIND,
                                    "inputSettings": settings, "sceneItemEnabled": True})["sceneItemId"]
    # In the lower third of the 1280x720 canvas, as a thanks line usually is.
    must(ws, "SetSceneItemTransform", {"sceneName": scene, "sceneItemId": item,
                                       "sceneItemTransform": {"positionX": 60, "positionY": 560}})
    until(lambda: "received" in vendor(ws, "GetThanksState", {"inputName": SOURCE}), "the source's channel")

    gifts = [{"sender": "小鹿", "gift": "小心心", "count": 3, "value": 30, "id": "docs-1"},
             {"sender": "Alex", "gift": "rose", "count": 1, "value": 10, "id": "docs-2"},
             {"sender": "阿明", "gift": "火箭", "count": 1, "combo": "连击x2", "value": 500, "id": "docs-3"}]
    for gift in gifts:
        if post_answer(endpoint, [gift]) != {"accepted": 1, "duplicates": 0}:
            fail("the endpoint did not take %r" % gift)
        events.wait("ThanksShown", lambda d, s=gift["sender"]: s in d.get("text", ""), "for %s's gift" % gift["sender"])
    log("three gifts posted to %s were thanked" % endpoint)

    must(ws, "SetInputSettings", {"inputName": SOURCE, "inputSettings": {"show_second": 120}})
    until(lambda: vendor(ws, "GetThanksState", {"inputName": SOURCE}).get("showing") == "", "the last thanks over")
    before = time.monotonic()
    vendor(ws, "TestThanks", {"inputName": SOURCE})
    _, shown = events.wait("ThanksShown", lambda d: True, "for the test gift", after=before)
    log("on air: %r" % shown["text"])

    main_window_on_screen()
    time.sleep(1)  # the preview drawn anew
    subprocess.run(["import", "-window", "root", "-crop", "%dx%d+0+0" % MAIN_WINDOW, "+repage",
                    "png:" + on_air_png], check=True, timeout=30)
    log("photographed OBS Studio's main window into %s" % on_air_png)

    with open(activity_json, encoding="utf-8") as file:
        kept = json.load(file)
    url = "http://127.0.0.1:%d/%s/" % (kept["port"], kept["token"])
    driver = chromium(320, 900)
    try:
        # Headless Chromium keeps its window 500 px wide at least: the page is
        # laid out at the dock's width by emulating that screen instead.
        driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                               {"width": 320, "height": 900, "deviceScaleFactor": 1, "mobile": False})
        driver.get(url)
        until(lambda: driver.find_element(By.ID, "connection").get_attribute("data-state") == "live",
              "the page's stream not live")
        until(lambda: len(driver.find_elements(By.CSS_SELECTOR, "#rows li.row")) >= 4, "the page's four rows")
        time.sleep(0.5)
        driver.save_screenshot(page_png)
    finally:
        driver.quit()
    log("photographed the gift activity page at 320 px into %s" % page_png)
    must(ws, "RemoveInput", {"inputName": SOURCE})


main()
