# SPDX-License-Identifier: GPL-2.0-or-later
"""What the OBS scripts' clients share to read the gift activity page:
Debian's Chromium, headless, driven through Debian's chromedriver and
Selenium, and a wait that reads again what the page redrew meanwhile."""
import time

from selenium import webdriver
from selenium.common.exceptions import StaleElementReferenceException
from selenium.webdriver.chrome.service import Service

from screenshots import HANG_BOUND, fail


def chromium(width, height):
    """A headless Chromium whose window is width x height, in English."""
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=%d,%d" % (width, height),
                     "--lang=en-US", "--no-first-run", "--disable-extensions", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync"):
        options.add_argument(argument)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def until(condition, failure, seconds=HANG_BOUND):
    """condition()'s first true value, asked every 50 ms; fails with
    `failure` after `seconds`. An element the page replaced while it was
    being read is read again."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            value = condition()
        except StaleElementReferenceException:
            value = None
        if value:
            return value
        time.sleep(0.05)
    fail("%s within %d s" % (failure, seconds))
