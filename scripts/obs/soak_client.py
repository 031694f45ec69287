# SPDX-License-Identifier: GPL-2.0-or-later
"""A streamer's evening in OBS Studio, driven through obs-websocket: two
scenes switched every minute, the recording on, and with "thanks" two thanks
sources (one outlined, its viewers' names with emoji; both with blocked
words and the gift record on) taking RATE gifts a second together through
their loopback gift endpoints, one source's settings changed every 2 minutes
as its Properties window would. Each source gets every other gift; while the
outlined one is off (the second scene), its gifts go to the other, so all
RATE are taken. The viewers' names are drawn from the whole block of common
CJK ideographs and every gift has an id of its own, so that a long evening
fills what the module keeps bounded: the recent event ids, the glyph masks,
the blocked words' folded characters. Every 10 s OBS Studio's GetStats, the
process's resident memory and the logic assembly's managed heap (the
module's GetThanksState) go into CSV. At the end the recording is stopped
(its path and recorded length go to RECORDING_INFO) and OBS Studio is sent
SIGINT while the gifts still arrive; the client waits for it to end. "bare"
is the same evening without thanks sources, for comparison.
    soak_client.py PORT PASSWORD OBS_PID MODE(thanks|bare) MINUTES RATE CSV RECORDING_INFO"""
import csv, os, signal, sys, threading, time, urllib.error

from gift_endpoint import free_url, post, wait_until_listening
from obs_ws import log, must, open_session, obs_alive, vendor
from screenshots import fail

port, password, obs_pid, mode, minutes, rate, csv_path, recording_info = sys.argv[1:9]
minutes, rate = float(minutes), float(rate)
KIND = "morvik_thanks_image"
SCENES = ("Soak A", "Soak B")
PLAIN, OUTLINED = "答谢 plain", "答谢 outlined"
EMOJI_NAMES = ("🌸小花🌸", "👨‍👩‍👧一家人", "阿杰❤️", "🐼熊猫", "🇨🇳老王", "✨星星✨")
# The CJK Unified Ideographs block, U+4E00 to U+9FFF, walked with a prime
# stride: names of ever new characters, as a large room has.
HAN_FIRST, HAN_COUNT, HAN_STRIDE = 0x4E00, 0x5200, 7919
BLOCKED_WORDS = "笨蛋\n坏人\nspam"
SAMPLE_SECONDS = 10
COLUMNS = ("seconds", "rss_mib", "obs_memory_mib", "cpu_percent", "render_skipped", "render_total",
           "output_skipped", "output_total", "gifts_posted", "gifts_refused", "gifts_refused_while_hidden",
           "managed_heap_mib")


def rss_mib():
    with open("/proc/%s/status" % obs_pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024.0
    return 0.0


def viewer_name(n, characters):
    """The n-th viewer's name: `characters` ideographs after a fixed prefix."""
    return "观众" + "".join(chr(HAN_FIRST + (n * characters + k) * HAN_STRIDE % HAN_COUNT) for k in range(characters))


class Gifts:
    """Posts `rate` gifts a second, each source every other one, on a thread
    of its own until told to stop (or, after the quit, until nothing
    answers). While the second source is off (`second_on` False: the second
    scene is on, and the source's endpoint refuses), its gifts go to the
    first. Refusals are counted by endpoint; those of the second one come
    from the moments around a switch."""

    def __init__(self, endpoints, rate):
        self.endpoints = endpoints
        self.interval = len(endpoints) / rate
        self.posted = 0
        self.refused = [0] * len(endpoints)
        self.second_on = True
        self.lock = threading.Lock()
        self.running = True
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def post(self, index, body):
        try:
            ok = post(self.endpoints[index], body)
        except (urllib.error.URLError, OSError):
            ok = False
        with self.lock:
            self.posted += 1
            self.refused[index] += 0 if ok else 1

    def run(self):
        n = 0
        next_at = time.monotonic()
        while self.running:
            for i in range(len(self.endpoints)):
                if i == 1:
                    sender = EMOJI_NAMES[n % len(EMOJI_NAMES)] + viewer_name(n, 1)[2:]
                else:
                    sender = viewer_name(n, 2)
                self.post(i if i == 0 or self.second_on else 0,
                          {"sender": sender, "gift": "鲜花", "count": 1 + n % 3, "value": 100,
                           "id": "soak-%d-%d" % (i, n)})
            n += 1
            next_at += self.interval
            time.sleep(max(0.0, next_at - time.monotonic()))

    def counts(self):
        """Gifts posted, refused by the source in both scenes, refused by
        the one in the first scene only."""
        with self.lock:
            return (self.posted,) + tuple(self.refused)


def make_scenes(ws):
    for scene in SCENES:
        must(ws, "CreateScene", {"sceneName": scene})
        # Something of OBS's own to draw in both runs.
        must(ws, "CreateInput", {"sceneName": scene, "inputName": scene + " background", "inputKind": "color_source_v3",
                                 "inputSettings": {"color": 0xFF302020, "width": 1280, "height": 720},
                                 "sceneItemEnabled": True})
    must(ws, "SetCurrentProgramScene", {"sceneName": SCENES[0]})


def make_thanks_sources(ws):
    """Two thanks sources on loopback endpoints of their own; the plain one
    in both scenes, the outlined one only in the first (so each switch
    hides or shows it). Their endpoint URLs."""
    endpoints = [free_url() for _ in range(2)]
    # The record's folder must exist: the module writes into it, it does not
    # make it (the streamer picks a folder that is there).
    records = os.path.join(os.environ["HOME"], "gift-records")
    os.makedirs(records, exist_ok=True)
    common = {"font": "WenQuanYi Micro Hei", "fontSize": 40, "show_second": 0, "delay_show_second": 0,
              "is_no_thanks": 1, "no_thanks_string": "送礼物上电视啦", "thanks_string": "感谢$sender$赠送的$num$个$gift$",
              "blocked_words": BLOCKED_WORDS, "is_save_record": 1, "save_folder": records}
    plain = dict(common, room_name=endpoints[0], color=0xFF00FF00 - (1 << 32), outline=0)
    outlined = dict(common, room_name=endpoints[1], color=0xFFFFC800 - (1 << 32), outline=1, outlineSize=3,
                    outlineColor=0xFF000000 - (1 << 32))
    must(ws, "CreateInput", {"sceneName": SCENES[0], "inputName": PLAIN, "inputKind": KIND,
                             "inputSettings": plain, "sceneItemEnabled": True})
    must(ws, "CreateInput", {"sceneName": SCENES[0], "inputName": OUTLINED, "inputKind": KIND,
                             "inputSettings": outlined, "sceneItemEnabled": True})
    must(ws, "CreateSceneItem", {"sceneName": SCENES[1], "sourceName": PLAIN, "sceneItemEnabled": True})
    item = must(ws, "GetSceneItemId", {"sceneName": SCENES[0], "sourceName": OUTLINED})["sceneItemId"]
    must(ws, "SetSceneItemTransform", {"sceneName": SCENES[0], "sceneItemId": item,
                                       "sceneItemTransform": {"positionX": 40, "positionY": 400}})
    for url in endpoints:
        wait_until_listening(url)
    return endpoints


def change_settings(ws, turn):
    """What a streamer does in the Properties window: size, colour, outline."""
    must(ws, "SetInputSettings", {"inputName": OUTLINED, "inputSettings": {
        "fontSize": 36 if turn % 2 else 44, "outlineSize": 2 + turn % 3,
        "color": (0xFFFFC800 if turn % 2 else 0xFF40C0FF) - (1 << 32)}})


def managed_heap_mib(ws):
    """The logic assembly's managed heap as the module reports it, or "" when
    the state does not tell it (the core busy, say)."""
    heap = vendor(ws, "GetThanksState", {"inputName": PLAIN}).get("managed_heap_bytes")
    return "%.1f" % (heap / 1048576.0) if isinstance(heap, int) else ""


def main():
    os.nice(10)  # the client's own Python competes with OBS Studio's frames less
    ws = open_session(port, password, obs_pid)
    make_scenes(ws)
    gifts = None
    if mode == "thanks":
        gifts = Gifts(make_thanks_sources(ws), rate)
        log("two thanks sources take %g gifts a second together" % rate)
    must(ws, "StartRecord")
    started = time.monotonic()
    end = started + 60 * minutes
    next_sample, next_switch, next_change = started, started + 60, started + 120
    turn = 0
    with open(csv_path, "w", newline="") as out:
        rows = csv.writer(out)
        rows.writerow(COLUMNS)
        while True:
            now = time.monotonic()
            if now >= next_sample:
                stats = must(ws, "GetStats")
                posted, refused, refused_hidden = gifts.counts() if gifts else (0, 0, 0)
                rows.writerow(["%.0f" % (now - started), "%.1f" % rss_mib(), "%.1f" % stats["memoryUsage"],
                               "%.1f" % stats["cpuUsage"], stats["renderSkippedFrames"], stats["renderTotalFrames"],
                               stats["outputSkippedFrames"], stats["outputTotalFrames"], posted, refused,
                               refused_hidden, managed_heap_mib(ws) if gifts else ""])
                out.flush()
                next_sample += SAMPLE_SECONDS
            if now >= end:
                break
            if now >= next_switch:
                turn += 1
                # The outlined source is only in the first scene: its gifts
                # go elsewhere before it goes off, and to it once it is on.
                if gifts and turn % 2:
                    gifts.second_on = False
                must(ws, "SetCurrentProgramScene", {"sceneName": SCENES[turn % 2]})
                if gifts and not turn % 2:
                    gifts.second_on = True
                next_switch += 60
            if mode == "thanks" and now >= next_change:
                change_settings(ws, turn)
                next_change += 120
            time.sleep(0.2)

    recorded_ms = must(ws, "GetRecordStatus")["outputDuration"]
    path = must(ws, "StopRecord")["outputPath"]
    # The recording ends as a streamer ends it, before quitting: OBS Studio
    # 29.0 quit while its recording output is still stopping hangs or dies.
    deadline = time.monotonic() + 30
    while must(ws, "GetRecordStatus")["outputActive"]:
        if time.monotonic() > deadline:
            fail("the recording still runs 30 s after StopRecord")
        time.sleep(0.1)
    with open(recording_info, "w") as info:
        info.write("%s\n%d\n" % (path, recorded_ms))
    ws.close()
    # Quit with the gifts still arriving: SIGINT shuts OBS Studio down as
    # closing its main window does.
    quit_at = time.monotonic()
    os.kill(int(obs_pid), signal.SIGINT)
    while obs_alive(obs_pid) and time.monotonic() - quit_at < 30:
        time.sleep(0.05)
    took = time.monotonic() - quit_at
    if gifts:
        gifts.running = False
        posted, refused, refused_hidden = gifts.counts()
        log("%d gifts posted; not taken: %d by the source in both scenes, %d by the one hidden every other minute "
            "(those after the quit among them)" % (posted, refused, refused_hidden))
    if obs_alive(obs_pid):
        fail("OBS Studio still runs 30 s after SIGINT")
    log("OBS Studio ended %.1f s after SIGINT" % took)
    if took > 10:
        fail("OBS Studio took %.1f s to quit after SIGINT (10 s at most)" % took)


main()
