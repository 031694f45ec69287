# SPDX-License-Identifier: GPL-2.0-or-later
"""The gift activity page under a big room's load, in the real OBS Studio:
two thanks sources take GIFTS gifts in one minute through their loopback
endpoints, first with no page open, then with the page open in Chromium
(headless, through chromedriver and Selenium) and an event stream read
beside it. Prints per run the render frames OBS skipped (its GetStats),
and for the run with the page: the gift events the stream delivered, how
long after the last post the last one came, the rows the page keeps, and
how long the page took to answer a script while the gifts arrived (the
slowest of one ask every 0.5 s). Exits non-zero when an event is missing,
the rows are not bounded, or the page skipped frames OBS did not skip
without it (3 frames of slack).
    activity_load.py PORT PASSWORD OBS_PID SETTINGS_JSON GIFTS"""
import http.client, json, socket, sys, threading, time

from selenium.webdriver.common.by import By

from obs_ws import log, must, open_session, vendor
from page_browser import chromium
from screenshots import fail

port, password, obs_pid, settings_json = sys.argv[1:5]
gifts_per_run = int(sys.argv[5])
KIND = "morvik_thanks_image"
SOURCES = ("答谢 load A", "答谢 load B")
BATCH = 5
SLACK_FRAMES = 3


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def render_skipped(ws):
    stats = must(ws, "GetStats")
    return stats["renderSkippedFrames"], stats["renderTotalFrames"]


def post_for_a_minute(endpoints, run):
    """GIFTS gifts in 60 s, batches of BATCH alternating between the
    sources' endpoints, each on a kept-alive connection."""
    connections = [http.client.HTTPConnection("127.0.0.1", p, timeout=10) for p in endpoints]
    batches = gifts_per_run // BATCH
    interval = 60.0 / batches
    started = time.monotonic()
    for n in range(batches):
        time.sleep(max(0.0, started + n * interval - time.monotonic()))
        body = json.dumps([{"sender": "观众%d" % ((n * BATCH + i) % 997), "gift": "花", "value": 1,
                            "id": "%s-%d-%d" % (run, n, i)} for i in range(BATCH)])
        connection = connections[n % 2]
        connection.request("POST", "/gifts", body, {"Content-Type": "application/json"})
        answer = connection.getresponse()
        answer.read()
        if answer.status != 202:
            fail("the endpoint answered %d to batch %d" % (answer.status, n))
    return time.monotonic()


class StreamCounter:
    """The page's event stream read beside the browser: gift events counted."""

    def __init__(self, page_port, token):
        self.count, self.last_at = 0, 0.0
        self.connection = http.client.HTTPConnection("127.0.0.1", page_port)
        self.connection.request("GET", "/%s/events" % token)
        self.response = self.connection.getresponse()
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        for line in self.response:
            if line.startswith(b"event: gift"):
                self.count += 1
                self.last_at = time.monotonic()


def main():
    ws = open_session(port, password, obs_pid)
    scene = must(ws, "GetCurrentProgramScene")["currentProgramSceneName"]
    endpoints = []
    for name in SOURCES:
        endpoints.append(free_port())
        settings = {"room_name": "http://127.0.0.1:%d/gifts" % endpoints[-1], "font": "WenQuanYi Micro Hei",
                    "fontSize": 40, "outline": 0, "show_second": 0, "delay_show_second": 0}
        must(ws, "CreateInput", {"sceneName": scene, "inputName": name, "inputKind": KIND,
                                 "inputSettings": settings, "sceneItemEnabled": True})
    deadline = time.monotonic() + 60
    while not all("received" in vendor(ws, "GetThanksState", {"inputName": n}) for n in SOURCES):
        if time.monotonic() > deadline:
            fail("the sources' channels did not start")
        time.sleep(0.2)
    with open(settings_json, encoding="utf-8") as file:
        kept = json.load(file)
    url = "http://127.0.0.1:%d/%s/" % (kept["port"], kept["token"])

    skipped_before, total_before = render_skipped(ws)
    post_for_a_minute(endpoints, "bare")
    skipped, total = render_skipped(ws)
    bare = (skipped - skipped_before, total - total_before)
    log("without the page: %d gifts in 60 s, %d of %d render frames skipped" % (gifts_per_run, *bare))

    driver = chromium(1280, 800)
    try:
        driver.get(url)
        deadline = time.monotonic() + 30
        while driver.find_element(By.ID, "connection").get_attribute("data-state") != "live":
            if time.monotonic() > deadline:
                fail("the page's stream did not go live")
            time.sleep(0.1)
        counter = StreamCounter(kept["port"], kept["token"])
        time.sleep(1)
        asks = []
        posting = threading.Event()

        def ask():
            while not posting.is_set():
                at = time.monotonic()
                driver.execute_script("return document.querySelectorAll('#rows .row').length")
                asks.append(time.monotonic() - at)
                time.sleep(0.5)

        asker = threading.Thread(target=ask)
        skipped_before, total_before = render_skipped(ws)
        asker.start()
        posted_at = post_for_a_minute(endpoints, "page")
        skipped, total = render_skipped(ws)
        posting.set()
        asker.join()
        paged = (skipped - skipped_before, total - total_before)
        deadline = time.monotonic() + 600
        while counter.count < gifts_per_run and time.monotonic() < deadline:
            time.sleep(0.2)
        rows = driver.execute_script("return document.querySelectorAll('#rows .row').length")
    finally:
        driver.quit()
    delivered_after = max(0.0, counter.last_at - posted_at)
    log("with the page: %d gifts in 60 s, %d of %d render frames skipped; %d gift events delivered, the last "
        "%.1f s after the last post; %d rows kept; the page answered a script in %.0f ms at the slowest "
        "(%d asks, median %.0f ms)" %
        (gifts_per_run, *paged, counter.count, delivered_after, rows, 1000 * max(asks), len(asks),
         1000 * sorted(asks)[len(asks) // 2]))
    if counter.count != gifts_per_run:
        fail("the stream delivered %d gift events of %d" % (counter.count, gifts_per_run))
    if rows > 1000:
        fail("the page keeps %d rows, more than 1,000" % rows)
    allowed = SLACK_FRAMES + (bare[0] / bare[1] * paged[1] if bare[1] else 0)
    if paged[0] > allowed:
        fail("%d render frames skipped with the page open, %.0f allowed by the run without" % (paged[0], allowed))
    for name in SOURCES:
        must(ws, "RemoveInput", {"inputName": name})
    log("the page kept up")


main()
