# SPDX-License-Identifier: GPL-2.0-or-later
"""What the OBS scripts' clients share about a thanks source's loopback gift
endpoint: a free port for its URL, posting gifts, waiting until it takes
gifts."""
import json, socket, time, urllib.error, urllib.request

from screenshots import fail


def free_url():
    """A gift endpoint URL on a free loopback port."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return "http://127.0.0.1:%d/gifts" % s.getsockname()[1]


def post_answer(url, body, seconds=10):
    """Posts a body (a gift, or a list of gifts) and returns the endpoint's
    JSON answer. Raises urllib.error.HTTPError when refused and URLError or
    OSError when nothing answers."""
    request = urllib.request.Request(url, json.dumps(body).encode(), {"Content-Type": "application/json"})
    with urllib.request.urlopen(request, timeout=seconds) as answer:
        return json.loads(answer.read())


def post(url, gift):
    """Posts one gift; True when taken (raises as post_answer does)."""
    post_answer(url, gift, 5)
    return True


def wait_until_listening(url, seconds=30):
    """Returns once the endpoint answers (its channel has started)."""
    deadline = time.monotonic() + seconds
    while True:
        try:
            post(url, {})
            return
        except urllib.error.HTTPError:
            return  # it answers: an empty gift is refused
        except (urllib.error.URLError, OSError):
            if time.monotonic() > deadline:
                fail("the gift endpoint %s did not answer within %d s" % (url, seconds))
            time.sleep(0.3)
