#!/usr/bin/python3
"""web_first_view_ms: from navigation to the site page drawn with its latest values, in headless
Chromium, on a journal of 1,000,000 rows. A bench of its own (it needs a browser):

    bench/web/first_view.py build/default/tools/pexumo-web build/default/tools/pexumo-logger

Prints web_first_view_ms (a fresh browser: nothing cached) and web_first_view_ms_cached (the
median of five more visits), in ms since the navigation started, as the page's own clock
(performance.now()) tells when the pH value is on the page.
"""
import os
import re
import signal
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

WEB, LOGGER = (os.path.abspath(p) for p in sys.argv[1:3])
ROWS = 1_000_000


def main():
    home = tempfile.mkdtemp(prefix="pexumo-first-view-")
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home + "/config", XDG_DATA_HOME=home + "/data",
               XDG_STATE_HOME=home + "/state")
    journal = os.path.join(home, "journal.sqlite")
    # A real journal and session from the logger, then a million rows of it in one go.
    logger = subprocess.Popen([LOGGER, "--demo", "--journal", journal], env=env, cwd=home,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(2)
    logger.send_signal(signal.SIGTERM)
    logger.wait(10)
    db = sqlite3.connect(journal)
    start = int(time.time() * 1000) - ROWS * 1000
    first = db.execute("SELECT coalesce(max(n), -1) + 1 FROM reading WHERE session = 1").fetchone()[0]
    db.execute("DELETE FROM reading WHERE session = 1")
    db.executemany("INSERT INTO reading VALUES(1, ?, 0, ?, 'pH', ?, 'pH', '25.3', 'C', 0, ?, 0)",
                   ((first + i, time.strftime("%H:%M:%S", time.gmtime((start + 1000 * i) / 1000)),
                     "7.%02d" % (i % 100), start + 1000 * i) for i in range(ROWS)))
    db.execute("DELETE FROM list_state WHERE session = 1")
    db.execute("INSERT INTO list_state VALUES(1, 0, ?, 0)", (ROWS,))
    db.commit()
    db.close()
    web = subprocess.Popen([WEB, "--listen", "127.0.0.1:0", "--journal", journal], env=env, cwd=home,
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    port = int(re.search(r":(\d+)/", web.stdout.readline()).group(1))
    options = webdriver.ChromeOptions()
    for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1000,900",
              "--user-data-dir=" + os.path.join(home, "chromium")):
        options.add_argument(a)
    browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        times = []
        for _ in range(6):
            browser.get("about:blank")
            browser.execute_script("window.location.href = arguments[0]", "http://127.0.0.1:%d/" % port)
            drawn = None
            for _ in range(2000):
                drawn = browser.execute_script(
                    "return document.querySelector('tr[data-list=\"pH\"] td.value') &&"
                    " location.pathname === '/' ? performance.now() : null")
                if drawn:
                    break
                time.sleep(0.005)
            times.append(drawn)
        print("web_first_view_ms %.0f" % times[0])
        print("web_first_view_ms_cached %.0f" % statistics.median(times[1:]))
    finally:
        browser.quit()
        web.terminate()
        web.wait(10)


if __name__ == "__main__":
    main()
