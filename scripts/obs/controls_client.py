# SPDX-License-Identifier: GPL-2.0-or-later
"""Drives a thanks source in the real OBS Studio as a streamer's tools do,
through obs-websocket's vendor requests of "morvik-thanks" and its vendor
events: the source's box holds a long thanks (with a colour filter too),
SendGifts, PauseThanks/ResumeThanks, the Properties button test_gift, the
hotkey morvik_thanks.skip, ThankAgain by a GiftReceived's gift_id, requests addressed by inputUuid, bad requests answered with an error while OBS
goes on, and four clients sending as fast as they can. Prints the figures of
that load. Exits non-zero, naming the failed check, at the first one.
    controls_client.py PORT PASSWORD OBS_PID OUT_DIR RECORD_DIR"""
import glob, os, statistics, sys, threading, time

from obs_ws import log, must, open_session, request, vendor
from screenshots import HANG_BOUND, fail, settle
from vendor_events import Events

port, password, obs_pid, out_dir, record_dir = sys.argv[1:6]
KIND = "morvik_thanks_image"
NAME = "答谢 controls"
GREEN = 0xFF00FF00
LONG_SENDER, LONG_GIFT = "一位名字特别特别长的老朋友", "超级豪华游艇"


def gift(sender, name, gift_id=None):
    entry = {"sender": sender, "gift": name, "count": 1}
    if gift_id:
        entry["id"] = gift_id
    return entry


def green_width(shot):
    """Columns holding green text in a screenshot."""
    columns = set()
    for row in shot.rows:
        for x in range(shot.width):
            r, g, b, a = row[4 * x:4 * x + 4]
            if a > 200 and g > 180 and r < 90 and b < 90:
                columns.add(x)
    return max(columns) - min(columns) + 1 if columns else 0


def check_geometry_and_filter(ws, events, scene):
    """A long thanks: the source's size is the whole line, in the scene and
    through a colour filter."""
    answer = vendor(ws, "SendGifts", {"inputName": NAME, "gifts": [gift(LONG_SENDER, LONG_GIFT)]})
    if answer != {"accepted": 1, "duplicates": 0}:
        fail("SendGifts of one gift answered %r" % answer)
    events.wait("GiftReceived", lambda d: d.get("sender") == LONG_SENDER and d.get("outcome") == "thanked"
                and d.get("inputName") == NAME, "for the long thanks' gift")
    events.wait("ThanksShown", lambda d: LONG_GIFT in d.get("text", ""), "for the long thanks")
    plain = settle(ws, "6-long-thanks", NAME, out_dir,
                   lambda s: 700 <= green_width(s) <= s.width <= green_width(s) + 8,
                   "the source's size is that of the whole long thanks")
    width = green_width(plain)
    settle(ws, "7-scene", scene, out_dir, lambda s: abs(green_width(s) - width) <= 4,
           "the scene shows the whole %d px thanks" % width)
    must(ws, "CreateSourceFilter", {"sourceName": NAME, "filterName": "colour", "filterKind": "color_filter_v2"})
    settle(ws, "8-filtered", NAME, out_dir, lambda s: abs(green_width(s) - width) <= 2,
           "a colour filter shows the whole %d px thanks" % width)
    must(ws, "RemoveSourceFilter", {"sourceName": NAME, "filterName": "colour"})
    log("a %d px thanks: the source is %dx%d, the scene and a colour filter show it whole" %
        (width, plain.width, plain.height))

    # OBS's bounding box of "maximum size only", narrower than the thanks:
    # the line is shrunk to fit, centred in the box as laid out.
    item = must(ws, "GetSceneItemId", {"sceneName": scene, "sourceName": NAME})["sceneItemId"]
    must(ws, "SetSceneItemTransform", {"sceneName": scene, "sceneItemId": item, "sceneItemTransform": {
        "positionX": 40, "positionY": 40, "boundsType": "OBS_BOUNDS_MAX_ONLY", "boundsWidth": 480,
        "boundsHeight": 200, "boundsAlignment": 0}})
    bounded = settle(ws, "9-bounded", scene, out_dir, lambda s: 400 < green_width(s) <= 482,
                     "a bounding box 480 px wide shows the thanks shrunk to fit it")
    must(ws, "SetSceneItemTransform", {"sceneName": scene, "sceneItemId": item, "sceneItemTransform": {
        "boundsType": "OBS_BOUNDS_NONE", "positionX": 0, "positionY": 0}})
    log("a bounding box 480 px wide shrinks the thanks to %d px (%s)" % (green_width(bounded), bounded.path))


def check_controls(ws, events):
    """Pause holds a gift back and resume shows it; the test_gift button and
    the skip hotkey; bad requests are errors and OBS goes on. A thanks shows
    for ten minutes here, so only a skip brings on the next one."""
    if vendor(ws, "PauseThanks", {"inputName": NAME}).get("paused") is not True:
        fail("PauseThanks did not pause")
    vendor(ws, "SendGifts", {"inputName": NAME, "gifts": gift("小明", "火箭")})
    events.none("ThanksShown", lambda d: "小明" in d.get("text", ""), 1.5, "for a gift while paused")
    if vendor(ws, "GetThanksState", {"inputName": NAME}).get("queued") != 1:
        fail("the gift sent while paused does not wait")
    if vendor(ws, "ResumeThanks", {"inputName": NAME}).get("paused") is not False:
        fail("ResumeThanks did not resume")
    vendor(ws, "SkipThanks", {"inputName": NAME})
    _, first_thanks = events.wait("ThanksShown", lambda d: "小明" in d.get("text", ""), "for the gift once resumed")

    status, _ = request(ws, "PressInputPropertiesButton", {"inputName": NAME, "propertyName": "test_gift"})
    if not status.get("result"):
        fail("PressInputPropertiesButton test_gift: %r" % status)
    deadline = time.monotonic() + HANG_BOUND
    while vendor(ws, "GetThanksState", {"inputName": NAME}).get("queued") != 1:
        if time.monotonic() > deadline:
            fail("the test_gift button queued no test gift")
        time.sleep(0.1)
    must(ws, "TriggerHotkeyByName", {"hotkeyName": "morvik_thanks.skip"})
    events.wait("ThanksShown", lambda d: "测试观众" in d.get("text", ""), "for the test gift after the skip hotkey")
    log("PauseThanks held a gift back and ResumeThanks showed it; test_gift and the skip hotkey showed the test")

    # ThankAgain by the gift_id its GiftReceived carried: the same thanks
    # again, the gift not received again.
    _, gift_event = events.wait("GiftReceived", lambda d: d.get("sender") == "小明", "for 小明's gift")
    received = vendor(ws, "GetThanksState", {"inputName": NAME})["received"]
    asked = time.monotonic()
    answer = vendor(ws, "ThankAgain", {"inputName": NAME, "giftId": gift_event.get("gift_id")})
    if answer.get("queued") != 1 or answer.get("received") != received:
        fail("ThankAgain of gift_id %r answered %r (received was %d)" % (gift_event.get("gift_id"), answer, received))
    vendor(ws, "SkipThanks", {"inputName": NAME})
    events.wait("ThanksShown", lambda d: d == first_thanks, "for 小明's gift thanked again", after=asked)
    unknown = vendor(ws, "ThankAgain", {"inputName": NAME, "giftId": 10 ** 9})
    if "not kept" not in unknown.get("error", ""):
        fail("ThankAgain of an unknown gift_id answered %r" % unknown)
    log("ThankAgain of gift_id %d showed %r again; an unknown one: %s" %
        (gift_event["gift_id"], first_thanks["text"], unknown["error"]))

    too_many = [gift("观众%d" % i, "花") for i in range(101)]
    for label, data in (("101 gifts", {"inputName": NAME, "gifts": too_many}),
                        ("an unknown input", {"inputName": "no such input", "gifts": gift("a", "b")}),
                        ("an empty sender", {"inputName": NAME, "gifts": [gift("甲", "花"), gift("", "花")]})):
        answer = vendor(ws, "SendGifts", data)
        if "error" not in answer:
            fail("SendGifts with %s answered %r" % (label, answer))
        log("SendGifts with %s: %s" % (label, answer["error"]))
    must(ws, "GetVersion")


def load(send, seconds=10, clients=4, pause=0.0):
    """Four clients send batches as fast as they answer; every gift is
    recorded once or was refused."""
    accepted, refused, errors = [0] * clients, [0] * clients, []

    def client(index):
        ws = open_session(port, password, obs_pid)
        end, n = time.monotonic() + seconds, 0
        while time.monotonic() < end:
            taken, error = send(ws, index, n)
            n += 1
            time.sleep(pause)
            if error:
                refused[index] += 1
                errors.append(error)
            accepted[index] += taken
        ws.close()

    threads = [threading.Thread(target=client, args=(i,)) for i in range(clients)]
    started = time.monotonic()
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    elapsed = time.monotonic() - started
    return sum(accepted), sum(refused), elapsed, sorted(set(errors))


def send_gifts(ws, client, n, batch=10, prefix="c"):
    """One batch of gifts with ids of their own: gifts taken, error."""
    ids = ["%s%d-%d-%d" % (prefix, client, n, i) for i in range(batch)]
    answer = vendor(ws, "SendGifts", {"inputName": NAME, "gifts": [gift("观众%d" % client, "花", i) for i in ids]})
    return answer.get("accepted", 0), answer.get("error")


def ask_stats(ws, client, n):
    must(ws, "GetStats")
    return 0, None


def check_load(ws):
    # Thanks off: every gift is only recorded, so no full queue refuses the
    # load and the figure is the path's own.
    must(ws, "SetInputSettings", {"inputName": NAME, "inputSettings": {"is_use_thanks": 0}})

    def skipped_under(send, pause=0.0):
        before = must(ws, "GetStats")["renderSkippedFrames"]
        figures = load(send, pause=pause)
        return figures, must(ws, "GetStats")["renderSkippedFrames"] - before

    # The same clients asking obs-websocket itself as fast: the frames this
    # machine skips under any such load, against which the gifts' are set.
    _, baseline = skipped_under(ask_stats)
    (accepted, refused, elapsed, errors), flooded = skipped_under(send_gifts)
    # A rate a big room reaches: 4 clients, 10 gifts every 0.2 s each.
    (paced_accepted, _, paced_elapsed, _), paced = skipped_under(
        lambda ws, client, n: send_gifts(ws, client, n, prefix="cp"), pause=0.2)

    ids = []
    for path in glob.glob(os.path.join(record_dir, "gifts-*.tsv")):
        with open(path, encoding="utf-8") as record:
            ids += [line.rstrip("\n").split("\t")[7] for line in record if line.count("\t") >= 7]
    load_ids = [i for i in ids if i.startswith("c")]
    if len(load_ids) != len(set(load_ids)):
        fail("a gift of the load is in the record twice")
    if len(load_ids) != accepted + paced_accepted:
        fail("%d gifts accepted, %d of them in the record" % (accepted + paced_accepted, len(load_ids)))
    log("load: 4 clients, batches of 10, as fast as answered for %.1f s: %d gifts accepted (%.0f a second), "
        "%d batches refused (%s), %d render frames skipped; at %.0f gifts a second, %d skipped; "
        "under as many GetStats, %d skipped" % (elapsed, accepted, accepted / elapsed, refused,
                                                "; ".join(errors) or "none", flooded,
                                                paced_accepted / paced_elapsed, paced, baseline))
    # How many frames a load costs depends on what else the machine runs (on
    # two cores kept busy by other programs, a big room's rate cost 52 where
    # it costs none on an idle machine): those figures are printed above for
    # the record, and only a stall, half of the 300 frames of the 10 s
    # skipped, fails here.
    for skipped, what in ((flooded, "the flood of gifts"),
                          (paced - baseline, "%.0f gifts a second" % (paced_accepted / paced_elapsed))):
        if skipped > 150:
            fail("OBS Studio stalled under %s: %d render frames skipped in 10 s" % (what, skipped))
    must(ws, "SetInputSettings", {"inputName": NAME, "inputSettings": {"is_use_thanks": 1, "show_second": 1}})


def poller_slowest(after):
    """The slowest call, in microseconds, of the Lua script's state polls
    reported after its first `after` lines, and how many lines there are."""
    try:
        with open(os.path.join(os.environ["HOME"], "state_poller.txt"), encoding="utf-8") as file:
            lines = [line.split(" ", 2) for line in file.read().splitlines() if line.count(" ") >= 2]
    except FileNotFoundError:
        return 0, 0
    return max([int(line[1]) for line in lines[after:]] or [0]), len(lines)


def check_busy_core(ws):
    """A settings form holds the core for 10 s (its script sleeps). The Lua
    script's timer, polling the state on OBS's video thread every 100 ms, is
    answered at once, and OBS skips no more frames than without the form;
    four clients flooding SendGifts are answered "busy" at once, OBS answers
    GetStats within 100 ms meanwhile (nine in ten), and the refused gifts are
    never taken once the form has closed."""
    form = os.path.join(os.environ["HOME"], "form.txt")
    with open(form, encoding="utf-8") as file:
        saved = file.read()
    received = vendor(ws, "GetThanksState", {"inputName": NAME})["received"]
    _, lines = poller_slowest(0)
    if lines == 0:
        fail("the Lua script's timer never polled the state (scripts tool not loaded?)")

    def skipped_in(seconds):
        before = must(ws, "GetStats")["renderSkippedFrames"]
        time.sleep(seconds)
        return must(ws, "GetStats")["renderSkippedFrames"] - before

    without_form = skipped_in(3)
    with open(form, "w", encoding="utf-8") as file:
        file.write("sleep 10\nresult 1\n")
    status, _ = request(ws, "PressInputPropertiesButton", {"inputName": NAME, "propertyName": "configure"})
    if not status.get("result"):
        fail("PressInputPropertiesButton configure: %r" % status)
    deadline = time.monotonic() + HANG_BOUND
    while "age_ms" not in vendor(ws, "GetThanksState", {"inputName": NAME}):
        if time.monotonic() > deadline:
            fail("the settings form never held the core")
        time.sleep(0.05)
    _, lines = poller_slowest(0)
    with_form = skipped_in(3)
    slowest_poll, _ = poller_slowest(lines)

    answers = []

    def send_idless(ws, client, n):
        answer = vendor(ws, "SendGifts", {"inputName": NAME, "gifts": gift("重试者%d" % client, "花")})
        answers.append(answer)
        return answer.get("accepted", 0), answer.get("error")

    flood = threading.Thread(target=load, args=(send_idless,), kwargs={"seconds": 3})
    flood.start()
    stats_ms = []
    while flood.is_alive():
        started = time.monotonic()
        must(ws, "GetStats")
        stats_ms.append((time.monotonic() - started) * 1000)
        time.sleep(0.05)
    flood.join()
    if not answers or any("busy" not in a.get("error", "") for a in answers):
        fail("SendGifts while the form held the core: %r" % [a for a in answers if "busy" not in a.get("error", "")][:3])
    deadline = time.monotonic() + HANG_BOUND
    while "age_ms" in vendor(ws, "GetThanksState", {"inputName": NAME}):
        if time.monotonic() > deadline:
            fail("the settings form never closed")
        time.sleep(0.2)
    with open(form, "w", encoding="utf-8") as file:
        file.write(saved)
    time.sleep(1)
    now = vendor(ws, "GetThanksState", {"inputName": NAME})["received"]
    if now != received:
        fail("gifts answered busy were taken afterwards: received went from %d to %d" % (received, now))
    stats_ms.sort()
    log("with the form holding the core: the Lua timer's slowest state poll %.2f ms; render frames skipped in 3 s "
        "%d (without the form %d); %d SendGifts from 4 clients in 3 s, every one answered busy, none taken; "
        "GetStats meanwhile in %.1f ms median, %.1f ms slowest (%d asked)"
        % (slowest_poll / 1000, with_form, without_form, len(answers), statistics.median(stats_ms), stats_ms[-1],
           len(stats_ms)))
    if slowest_poll > 100_000:
        fail("the Lua timer's state poll waited %.0f ms on OBS's video thread" % (slowest_poll / 1000))
    # The poll's own time above shows whether OBS's video thread waited; the
    # frames a 3 s window skips also follow what else the machine runs (15 of
    # 90 once, with four test runs sharing two cores), so only a second's
    # worth more than without the form fails.
    if with_form > without_form + 30:
        fail("%d render frames skipped with the form open, %d without" % (with_form, without_form))
    # Nine in ten within 100 ms, none near the 2 s a request once waited for
    # a busy core: the few slower ones are this 2-core machine scheduling
    # the flooding clients, not OBS waiting.
    if stats_ms[len(stats_ms) * 9 // 10] > 100 or stats_ms[-1] > 1000:
        fail("GetStats took %.0f ms (nine in ten within %.0f ms) while SendGifts flooded a busy core"
             % (stats_ms[-1], stats_ms[len(stats_ms) * 9 // 10]))


def latency(ws, events, count=8):
    """From sending SendGifts to its answer, and to its ThanksShown event
    (the core has drawn the thanks; OBS outputs it with its next frame),
    with nothing queued."""
    events.quiet(1)
    # Gifts the load sent before its "thanks off" had reached the logic
    # assembly wait as thanks: dropped, and the one on screen skipped.
    vendor(ws, "ClearThanks", {"inputName": NAME})
    vendor(ws, "SkipThanks", {"inputName": NAME})
    answers, drawn = [], []
    for i in range(count):
        time.sleep(1.2)  # the show time of the one before has run out
        sender = "延迟%d" % i
        sent = time.monotonic()
        vendor(ws, "SendGifts", {"inputName": NAME, "gifts": gift(sender, "花")})
        answers.append(1000 * (time.monotonic() - sent))
        at, _ = events.wait("ThanksShown", lambda d: sender in d.get("text", ""), "for " + sender)
        drawn.append(1000 * (at - sent))
    log("SendGifts, nothing queued (%d gifts): answered after %.1f ms (median; worst %.1f), drawn after %.1f ms "
        "(median; worst %.1f)" % (count, statistics.median(answers), max(answers), statistics.median(drawn),
                                  max(drawn)))


def wait_for_channel(ws, name):
    """Until the source's channel in the logic assembly answers."""
    deadline = time.monotonic() + HANG_BOUND
    while "error" in vendor(ws, "GetThanksState", {"inputName": name}):
        if time.monotonic() > deadline:
            fail("the channel of %r did not start: %r" % (name, vendor(ws, "GetThanksState", {"inputName": name})))
        time.sleep(0.2)


def check_uuid(ws, scene, settings):
    """A vendor request addressed by inputUuid reaches that source and no
    other: a second thanks source is paused by its uuid while the first goes
    on. obs-websocket gives uuids from 5.5 (OBS Studio 30.2); where it gives
    none, OBS Studio cannot look a source up by one before 29.1, and the
    module says so."""
    other = NAME + " uuid"
    must(ws, "CreateInput", {"sceneName": scene, "inputName": other, "inputKind": KIND,
                             "inputSettings": dict(settings, is_save_record=0), "sceneItemEnabled": True})
    wait_for_channel(ws, other)
    uuids = {i["inputName"]: i.get("inputUuid") for i in must(ws, "GetInputList", {"inputKind": KIND})["inputs"]}
    if not uuids.get(other):
        version = must(ws, "GetVersion")["obsVersion"]
        answer = vendor(ws, "PauseThanks", {"inputUuid": "00000000-0000-0000-0000-000000000000"})
        if tuple(int(n) for n in version.split(".")[:2]) < (29, 1) and "29.1" not in answer.get("error", ""):
            fail("PauseThanks by inputUuid on OBS Studio %s answered %r" % (version, answer))
        log("OBS Studio %s gives no input uuids; by inputUuid: %s" % (version, answer.get("error")))
    else:
        answer = vendor(ws, "PauseThanks", {"inputUuid": uuids[other]})
        if answer.get("paused") is not True:
            fail("PauseThanks by inputUuid did not pause %r: %r" % (other, answer))
        if vendor(ws, "GetThanksState", {"inputName": other}).get("paused") is not True:
            fail("the source paused by its inputUuid is not the one named %r" % other)
        if vendor(ws, "GetThanksState", {"inputUuid": uuids[NAME]}).get("paused") is not False:
            fail("pausing %r by its inputUuid paused %r too" % (other, NAME))
        answer = vendor(ws, "GetThanksState", {"inputUuid": "00000000-0000-0000-0000-000000000000"})
        if "error" not in answer:
            fail("GetThanksState for an unknown inputUuid answered %r" % answer)
        log("PauseThanks by inputUuid paused that source alone; an unknown uuid: %s" % answer["error"])
    must(ws, "RemoveInput", {"inputName": other})


def main():
    # Every thread of this client (the event reader, the load's clients) at
    # the lowest priority: what OBS Studio does for them, not their own
    # Python, is what competes with its frames on this machine's two cores.
    os.nice(19)
    ws = open_session(port, password, obs_pid)
    events = Events(port, password, obs_pid)
    scene = must(ws, "GetCurrentProgramScene")["currentProgramSceneName"]
    settings = {"room_name": "", "is_no_thanks": 1, "no_thanks_string": "Idle", "font": "WenQuanYi Micro Hei",
                "fontSize": 40, "color": GREEN - (1 << 32), "outline": 0, "show_second": 600,
                "delay_show_second": 0, "thanks_string": "感谢$sender$赠送的$gift$",
                "is_save_record": 1, "save_folder": record_dir}
    must(ws, "CreateInput", {"sceneName": scene, "inputName": NAME, "inputKind": KIND,
                             "inputSettings": settings, "sceneItemEnabled": True})
    wait_for_channel(ws, NAME)
    check_geometry_and_filter(ws, events, scene)
    check_controls(ws, events)
    check_uuid(ws, scene, settings)
    check_busy_core(ws)
    check_load(ws)
    latency(ws, events)
    must(ws, "RemoveInput", {"inputName": NAME})
    log("every control check passed")


main()
