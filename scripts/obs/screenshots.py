# SPDX-License-Identifier: GPL-2.0-or-later
"""Screenshots of sources in OBS Studio through obs-websocket, decoded for
checks: what the OBS scripts' clients share."""
import base64, os, struct, sys, time, zlib

from obs_ws import request


# How long a check waits for OBS Studio to show or do what it should: only
# a hang reaches it, not a loaded machine.
HANG_BOUND = 60


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
    """One GetSourceScreenshot of a source at its own size, kept as a PNG in
    `out_dir` under `label`."""

    def __init__(self, ws, label, source, out_dir):
        # Code 702 while the source has no size yet (before its first frame).
        status, response = request(ws, "GetSourceScreenshot", {"sourceName": source, "imageFormat": "png"})
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


def settle(ws, label, source, out_dir, condition, what, seconds=HANG_BOUND):
    """Screenshots `source` until `condition(shot)` holds; the shot that made
    it. Fails naming `what` when none has within `seconds`."""
    deadline = time.monotonic() + seconds
    while True:
        shot = Shot(ws, label, source, out_dir)
        if condition(shot):
            return shot
        if time.monotonic() > deadline:
            fail("%s within %d s (last: %dx%d, %s)" % (what, seconds, shot.width, shot.height, shot.path))
        time.sleep(0.3)
