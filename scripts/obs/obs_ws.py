# SPDX-License-Identifier: GPL-2.0-or-later
"""What the scripts that drive OBS Studio through obs-websocket (protocol 5)
share: connecting and identifying with the password once OBS Studio has
loaded, and one request at a time."""
import base64, hashlib, json, os, sys, time
import websocket

TAG = os.environ.get("OBS_SESSION_TAG", "obs")

def log(text):
    print(TAG + ": " + text, file=sys.stderr, flush=True)

def obs_alive(obs_pid):
    """Whether OBS Studio runs (a zombie that is not reaped yet does not)."""
    try:
        with open("/proc/%s/stat" % obs_pid) as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False

def connect(port, password, obs_pid, deadline, subscriptions=0):
    """Connects and identifies, retrying until OBS Studio's server answers;
    `subscriptions` are the events asked for (obs-websocket's bit mask)."""
    while True:
        if not obs_alive(obs_pid):
            sys.exit("OBS Studio exited before its websocket server answered")
        try:
            ws = websocket.create_connection("ws://127.0.0.1:%s" % port, timeout=10)
            break
        except (OSError, websocket.WebSocketException):
            if time.monotonic() > deadline:
                sys.exit("OBS Studio's websocket server did not answer within 60 s")
            time.sleep(0.5)
    hello = json.loads(ws.recv())
    if hello.get("op") != 0:
        sys.exit("expected Hello, got %r" % hello)
    identify = {"rpcVersion": 1, "eventSubscriptions": subscriptions}
    auth = hello["d"].get("authentication")
    if auth:
        # Protocol 5: secret = base64(sha256(password + salt)),
        # answer = base64(sha256(secret + challenge)).
        secret = base64.b64encode(hashlib.sha256((password + auth["salt"]).encode()).digest())
        identify["authentication"] = base64.b64encode(
            hashlib.sha256(secret + auth["challenge"].encode()).digest()).decode()
    ws.send(json.dumps({"op": 1, "d": identify}))
    identified = json.loads(ws.recv())
    if identified.get("op") != 2:
        sys.exit("not identified (wrong password?): %r" % identified)
    return ws

counter = 0
def request(ws, kind, data=None):
    """Sends one request and returns its status and response data."""
    global counter
    counter += 1
    rid = "r%d" % counter
    ws.send(json.dumps({"op": 6, "d": {"requestType": kind, "requestId": rid, "requestData": data or {}}}))
    while True:
        message = json.loads(ws.recv())
        if message.get("op") == 7 and message["d"].get("requestId") == rid:
            return message["d"]["requestStatus"], message["d"].get("responseData", {})

def must(ws, kind, data=None):
    status, response = request(ws, kind, data)
    if not status.get("result"):
        sys.exit("%s failed: code %s %s" % (kind, status.get("code"), status.get("comment", "")))
    return response

def vendor(ws, kind, data):
    """A vendor request of morvik-thanks; the module's answer object."""
    status, response = request(ws, "CallVendorRequest",
                               {"vendorName": "morvik-thanks", "requestType": kind, "requestData": data})
    if not status.get("result"):
        sys.exit("check failed: CallVendorRequest %s: %r" % (kind, status))
    return response.get("responseData", {})

def open_session(port, password, obs_pid):
    """Connects (within 60 s) once OBS Studio has loaded; the connection."""
    deadline = time.monotonic() + 60
    ws = connect(port, password, obs_pid, deadline)
    while True:
        status, version = request(ws, "GetVersion")
        if status.get("result"):
            break
        # Code 207 (NotReady): OBS Studio is still loading.
        if status.get("code") != 207 or time.monotonic() > deadline:
            sys.exit("GetVersion failed: %r" % status)
        time.sleep(0.5)
    log("OBS Studio %s answers (obs-websocket %s)" % (version["obsVersion"], version["obsWebSocketVersion"]))
    return ws
