# SPDX-License-Identifier: GPL-2.0-or-later
"""The vendor events of the "morvik-thanks" module (ThanksShown and the
others), as the OBS scripts' clients read them: on a connection of their own
subscribed to vendor events, collected on a thread, waited for by kind and
content."""
import json, threading, time

import websocket

from obs_ws import connect
from screenshots import HANG_BOUND, fail

VENDORS = 1 << 9  # obs-websocket's event subscription for vendor events


class Events:
    """A second connection, subscribed to vendor events, read on a thread."""

    def __init__(self, port, password, obs_pid):
        self.ws = connect(port, password, obs_pid, time.monotonic() + 30, VENDORS)
        self.ws.settimeout(None)  # events may pause for longer than a request may take
        self.lock = threading.Lock()
        self.seen = []
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        while True:
            try:
                message = json.loads(self.ws.recv())
            except websocket.WebSocketConnectionClosedException:
                return
            data = message.get("d", {})
            if message.get("op") == 5 and data.get("eventType") == "VendorEvent" and \
                    data["eventData"].get("vendorName") == "morvik-thanks":
                with self.lock:
                    self.seen.append((time.monotonic(), data["eventData"]["eventType"],
                                      data["eventData"]["eventData"]))

    def wait(self, kind, match, what, seconds=HANG_BOUND, after=0.0):
        """The time and data of the first event `kind` whose data `match`es,
        of those that came at or `after` a time.monotonic()."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            with self.lock:
                for at, seen_kind, data in self.seen:
                    if seen_kind == kind and at >= after and match(data):
                        return at, data
            time.sleep(0.02)
        fail("no %s event %s within %d s" % (kind, what, seconds))

    def quiet(self, seconds, limit=HANG_BOUND):
        """Waits until no event has come for `seconds` (a backlog has been
        delivered)."""
        deadline = time.monotonic() + limit
        while time.monotonic() < deadline:
            with self.lock:
                last = self.seen[-1][0] if self.seen else 0
            if time.monotonic() - last > seconds:
                return
            time.sleep(0.1)
        fail("the module's events did not stop within %d s" % limit)

    def none(self, kind, match, seconds, what):
        time.sleep(seconds)
        with self.lock:
            if any(seen_kind == kind and match(data) for _, seen_kind, data in self.seen):
                fail("a %s event %s" % (kind, what))
