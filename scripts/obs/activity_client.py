# SPDX-License-Identifier: GPL-2.0-or-later
"""The gift activity page in the real OBS Studio, as a streamer uses it:
Debian's Chromium, headless, driven through Debian's chromedriver and
Selenium, opens the page at the address OBS's Tools menu gave (the file
OPENED_URL, written by the desktop's browser launcher) and must show the
gifts posted to two thanks sources' endpoints as rows, newest first, with
their outcomes; its pause, resume, test and skip buttons act on the source
as obs-websocket's requests do (checked through obs-websocket); "thank
again" puts a gift's thanks on air again (the source's next ThanksShown is
that gift's first thanks). Requests from elsewhere are refused with their
codes and change nothing. Screenshots at a dock's width and a window's go
to OUT_DIR. Exits non-zero, naming the failed check, at the first one.
    activity_client.py PORT PASSWORD OBS_PID OUT_DIR SETTINGS_JSON OPENED_URL"""
import http.client, json, os, sys, time

from selenium.webdriver.common.by import By

import page_browser
from gift_endpoint import free_url, post_answer
from obs_ws import log, must, open_session, vendor
from screenshots import HANG_BOUND, fail
from vendor_events import Events

port, password, obs_pid, out_dir, settings_json, opened_url = sys.argv[1:7]
KIND = "morvik_thanks_image"
SOURCES = ("答谢 page A", "答谢 page B")


def status_of(page_port, method, path, headers=None, body=None):
    """The status of a request made as another page or program would."""
    connection = http.client.HTTPConnection("127.0.0.1", page_port, timeout=10)
    connection.request(method, path, body=body, headers=headers or {})
    status = connection.getresponse().status
    connection.close()
    return status


def until(condition, what, seconds=HANG_BOUND):
    return page_browser.until(condition, "the page did not show " + what, seconds)


def panel(driver, name):
    for element in driver.find_elements(By.CSS_SELECTOR, "#sources .source"):
        if element.get_attribute("data-source") == name:
            return element
    return None


def rows(driver, name):
    return [row for row in driver.find_elements(By.CSS_SELECTOR, "#rows li.row")
            if row.get_attribute("data-source") == name]


def field(element, name):
    return element.find_element(By.CSS_SELECTOR, '[data-field="%s"]' % name).text


def press(driver, name, action):
    def click():
        panel(driver, name).find_element(By.CSS_SELECTOR, 'button[data-action="%s"]' % action).click()
        return True
    until(click, "the %s button of %s" % (action, name))


def row_summary(driver, name):
    """(sender, outcome) of the source's rows, newest first."""
    return [(field(row, "sender"), row.get_attribute("data-outcome")) for row in rows(driver, name)]


def state(ws, name):
    return vendor(ws, "GetThanksState", {"inputName": name})


def main():
    ws = open_session(port, password, obs_pid)
    events = Events(port, password, obs_pid)
    scene = must(ws, "GetCurrentProgramScene")["currentProgramSceneName"]
    endpoints = {}
    for name in SOURCES:
        endpoints[name] = free_url()
        settings = {"room_name": endpoints[name], "font": "WenQuanYi Micro Hei", "fontSize": 40, "outline": 0,
                    "show_second": 1, "delay_show_second": 0, "thanks_string": "感谢$sender$赠送的$gift$"}
        must(ws, "CreateInput", {"sceneName": scene, "inputName": name, "inputKind": KIND,
                                 "inputSettings": settings, "sceneItemEnabled": True})
    until(lambda: all("received" in state(ws, name) for name in SOURCES), "both sources' channels")

    with open(settings_json, encoding="utf-8") as file:
        kept = json.load(file)
    page_port, token = kept["port"], kept["token"]
    url = "http://127.0.0.1:%d/%s/" % (page_port, token)
    with open(opened_url, encoding="utf-8") as file:
        opened = file.read().strip()
    if opened != url:
        fail("the Tools menu opened %r, not the page's address" % opened[:30])
    log("Tools, Gift activity… opened the page's address in the desktop's browser")

    driver = page_browser.chromium(320, 900)
    try:
        driver.get(url)
        until(lambda: driver.find_element(By.ID, "connection").get_attribute("data-state") == "live",
              "its stream live")
        until(lambda: all(panel(driver, name) for name in SOURCES), "both sources")

        # Gifts posted to each source's endpoint: rows, newest first.
        gifts = [{"sender": "观众%d" % i, "gift": "花", "value": 10 * i, "id": "page-%d" % i} for i in (1, 2, 3)]
        thanked = {}
        for gift in gifts:
            if post_answer(endpoints[SOURCES[0]], [gift]) != {"accepted": 1, "duplicates": 0}:
                fail("the endpoint did not take %r" % gift)
            _, shown = events.wait("ThanksShown", lambda d, s=gift["sender"]: s in d.get("text", ""),
                                   "for %s's gift" % gift["sender"])
            thanked[gift["sender"]] = shown["text"]
        post_answer(endpoints[SOURCES[1]], [{"sender": "别处", "gift": "船", "value": 1000}])
        post_answer(endpoints[SOURCES[0]], [gifts[0]])  # a repeat of an id: a duplicate
        shown_rows = until(lambda: (lambda r: r if len(r) >= 4 else None)(row_summary(driver, SOURCES[0])),
                           "the four rows of the first source")
        senders = [sender for sender, _ in shown_rows[:4]]
        outcomes = [outcome for _, outcome in shown_rows[:4]]
        if senders != ["观众1", "观众3", "观众2", "观众1"] or outcomes != ["duplicate", "thanked", "thanked", "thanked"]:
            fail("the rows are %r %r, not the gifts newest first" % (senders, outcomes))
        until(lambda: rows(driver, SOURCES[1]), "the second source's row")
        log("four gifts to one source and one to another: rows newest first, the repeat a duplicate")
        driver.save_screenshot(os.path.join(out_dir, "activity-dock.png"))

        # The page's buttons act as obs-websocket's requests do.
        press(driver, SOURCES[0], "pause")
        until(lambda: state(ws, SOURCES[0]).get("paused") is True, "the source paused (by obs-websocket)")
        until(lambda: panel(driver, SOURCES[0]).get_attribute("data-paused") == "true", "the source paused")
        press(driver, SOURCES[0], "resume")
        until(lambda: state(ws, SOURCES[0]).get("paused") is False, "the source resumed (by obs-websocket)")
        press(driver, SOURCES[0], "test")
        events.wait("ThanksShown", lambda d: "测试观众" in d.get("text", ""), "for the page's test gift")
        press(driver, SOURCES[0], "skip")
        until(lambda: state(ws, SOURCES[0]).get("showing") == "", "the test thanks skipped")
        log("pause, resume, test and skip from the page acted on the source")

        # Thank again: the first gift's row, its thanks on air again.
        before = time.monotonic()
        def thank_first_again():
            first = [row for row in rows(driver, SOURCES[0])
                     if field(row, "sender") == "观众1" and row.get_attribute("data-gift-id")][-1]
            first.find_element(By.CSS_SELECTOR, 'button[data-action="again"]').click()
            return True
        until(thank_first_again, "the first gift's Thank again button")
        events.wait("ThanksShown", lambda d: d.get("text") == thanked["观众1"], "for the thanks given again",
                    after=before)
        log("thank again showed %r again" % thanked["观众1"])

        driver.set_window_size(1280, 800)
        time.sleep(0.5)
        driver.save_screenshot(os.path.join(out_dir, "activity-window.png"))
    finally:
        driver.quit()

    # Refused, each with its code, and nothing changed.
    pause = json.dumps({"source": SOURCES[0], "action": "pause"})
    wrong = ("b" if token[0] == "a" else "a") + token[1:]
    refusals = {
        "no token": status_of(page_port, "GET", "/"),
        "a wrong token": status_of(page_port, "GET", "/%s/api/state" % wrong),
        "a foreign Host": status_of(page_port, "GET", "/%s/" % token, {"Host": "evil.example:%d" % page_port}),
        "a foreign Origin": status_of(page_port, "POST", "/%s/api/control" % token,
                                      {"Origin": "http://evil.example", "Content-Type": "application/json"}, pause),
    }
    expected = {"no token": 401, "a wrong token": 401, "a foreign Host": 403, "a foreign Origin": 403}
    if refusals != expected:
        fail("refusals answered %r, not %r" % (refusals, expected))
    if state(ws, SOURCES[0]).get("paused") is not False:
        fail("a refused control paused the source")
    log("refused: %s" % ", ".join("%s %d" % item for item in refusals.items()))
    for name in SOURCES:
        must(ws, "RemoveInput", {"inputName": name})
    log("every gift activity page check passed")


main()
