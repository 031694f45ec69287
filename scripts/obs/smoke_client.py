"""Drives OBS Studio with the installed thanks module through obs-websocket,
as a streamer's tools would, and checks what the source draws in
GetSourceScreenshot PNGs (kept in OUT_DIR). Exits non-zero, naming the
failed check, at the first one that fails. With "short", only the hint and
the demo room's first text are checked before the source is removed.
    smoke_client.py PORT PASSWORD OBS_PID OUT_DIR [short]"""
import base64, json, os, struct, sys, time, zlib

from obs_ws import log, must, open_session, request

port, password, obs_pid, out_dir = sys.argv[1:5]
short = sys.argv[5:6] == ["short"]
KIND = "morvik_thanks_image"
NAME = "答谢 smoke"
GOLD, GREEN, RED = 0xFFFFC800, 0xFF00FF00, 0xFFFF0000  # the module's colours are 0xAARRGGBB


def fail(text):
    sys.exit("check failed: " + text)


def decode_png(data):
    """Width, height and RGBA rows of an 8-bit RGBA or RGB PNG."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        fail("the screenshot is not a PNG")
    pos, chunks, header = 8, [], None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            chunks.append(body)
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        fail("unexpected PNG format %r" % (header,))
    channels = 4 if colour == 6 else 3
    raw = zlib.decompress(b"".join(chunks))
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        line = raw[y * (stride + 1):(y + 1) * (stride + 1)]
        kind, row = line[0], bytearray(line[1:])
        for i in range(stride):
            left = row[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                row[i] = (row[i] + left) & 0xFF
            elif kind == 2:
                row[i] = (row[i] + up) & 0xFF
            elif kind == 3:
                row[i] = (row[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                row[i] = (row[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 0xFF
        previous = row
        if channels == 3:
            row = bytearray(b"".join(bytes(row[i:i + 3]) + b"\xff" for i in range(0, stride, 3)))
        rows.append(row)
    return width, height, rows


class Shot:
    """One GetSourceScreenshot of the source at its own size, kept as a PNG."""

    def __init__(self, ws, label):
        # Code 702 while the source has no size yet (before its first frame).
        status, response = request(ws, "GetSourceScreenshot", {"sourceName": NAME, "imageFormat": "png"})
        self.path = os.path.join(out_dir, label + ".png")
        if not status.get("result"):
            self.width = self.height = 0
            self.rows, self.content = [], None
            return
        png = base64.b64decode(response["imageData"].split(",", 1)[1])
        with open(self.path, "wb") as out:
            out.write(png)
        self.width, self.height, self.rows = decode_png(png)
        self.content = hash(b"".join(bytes(row) for row in self.rows))

    def pixels(self):
        for row in self.rows:
            for i in range(0, len(row), 4):
                yield row[i], row[i + 1], row[i + 2], row[i + 3]

    def ink(self):
        """The opaque pixels' share of the image."""
        total = self.width * self.height
        return sum(1 for p in self.pixels() if p[3] > 200) / total if total else 0

    def share_near(self, argb, tolerance=60):
        """The share of the opaque pixels within `tolerance` of the colour."""
        r, g, b = (argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF
        opaque = [p for p in self.pixels() if p[3] > 200]
        near = [p for p in opaque if abs(p[0] - r) + abs(p[1] - g) + abs(p[2] - b) <= tolerance]
        return len(near) / len(opaque) if opaque else 0


def settle(ws, label, condition, seconds, what):
    """Screenshots until `condition(shot)` holds; the shot that made it."""
    deadline = time.monotonic() + seconds
    while True:
        shot = Shot(ws, label)
        if condition(shot):
            log("%s: %dx%d, ink %.0f%% (%s)" % (label, shot.width, shot.height, 100 * shot.ink(), shot.path))
            return shot
        if time.monotonic() > deadline:
            fail("%s within %d s (last: %dx%d, %s)" % (what, seconds, shot.width, shot.height, shot.path))
        time.sleep(0.3)


def remove_input(ws):
    """Removed: OBS Studio releases it once its last reference goes."""
    must(ws, "RemoveInput", {"inputName": NAME})
    end = time.monotonic() + 10
    while NAME in [i["inputName"] for i in must(ws, "GetInputList")["inputs"]]:
        if time.monotonic() > end:
            fail("the input is still listed 10 s after RemoveInput")
        time.sleep(0.3)
    log("removed the input; every check passed")
    ws.close()


def settings_of(ws):
    return must(ws, "GetInputSettings", {"inputName": NAME})["inputSettings"]


def main():
    os.makedirs(out_dir, exist_ok=True)
    ws = open_session(port, password, obs_pid)

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
    hint = settle(ws, "1-hint", lambda s: 40 <= s.height <= 80 and s.width > 6 * s.height and s.ink() > 0.02, 20,
                  "the hint is drawn, one line of font size 48")
    if hint.share_near(GOLD) < 0.5:
        fail("the hint is not gold (%.0f%% of its ink near gold)" % (100 * hint.share_near(GOLD)))

    # The demo room, with the idle text on: the idle text and thanks lines,
    # each drawn in the size measured for the hint.
    must(ws, "SetInputSettings", {"inputName": NAME, "inputSettings": {"room_name": "demo", "is_no_thanks": 1}})
    first = settle(ws, "2-playing", lambda s: s.content != hint.content and s.ink() > 0.02, 20,
                   "the room's first text replaces the hint")
    if short:
        remove_input(ws)
        return
    settle(ws, "3-next-text", lambda s: s.content not in (hint.content, first.content) and s.ink() > 0.02, 30,
           "a second text of the room follows")

    # Properties change: the size follows the font, colours and outline as set.
    must(ws, "SetInputSettings", {"inputName": NAME, "inputSettings": {
        "fontSize": 96, "color": GREEN - (1 << 32), "outline": 1, "outlineColor": RED - (1 << 32),
        "outlineSize": 4}})
    big = settle(ws, "4-restyled", lambda s: s.height >= 1.6 * hint.height and s.share_near(GREEN) > 0.2, 20,
                 "font size 96 and the green colour show")
    if big.share_near(RED) < 0.05:
        fail("no red outline around the green letters (%.1f%% red)" % (100 * big.share_near(RED)))

    # The "Settings…" button plays the form script OBS Studio was started
    # with (font size 30, accepted): the source is measured again.
    status, _ = request(ws, "PressInputPropertiesButton", {"inputName": NAME, "propertyName": "configure"})
    if not status.get("result"):
        fail("PressInputPropertiesButton: %r" % status)
    end = time.monotonic() + 20
    while settings_of(ws).get("fontSize") != 30:
        if time.monotonic() > end:
            fail("the form's font size 30 did not land in the settings: %r" % settings_of(ws).get("fontSize"))
        time.sleep(0.3)
    settle(ws, "5-after-form", lambda s: s.height <= 0.5 * big.height, 20, "the form's font size shows")
    remove_input(ws)


main()
