#!/usr/bin/python3
"""pexumo-web in a real browser: headless Chromium driven by Selenium, against a journal that a
real `pexumo-logger --demo` fills. Checks what a person sees: the demo's latest pH on the site
page, a new row without a reload within 2 s, the chart drawn, the alarm and the alarm command's
output as text (never as markup), the CSV download equal to `pexumo-journal export --csv`, and
on an address other than loopback the password asked, a wrong one refused, the right one let in.

Usage: browser_test.py PEXUMO_WEB PEXUMO_LOGGER PEXUMO_JOURNAL
Exit status 0 when all holds, 1 with the first broken promise, 77 when no browser is installed.
"""
import os
import re
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time

try:
    from selenium import webdriver
    from selenium.common.exceptions import NoSuchElementException, StaleElementReferenceException
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
except ImportError:
    print("skipped: python3-selenium is not installed")
    sys.exit(77)

WEB, LOGGER, JOURNAL_TOOL = sys.argv[1:4]
if not os.path.exists("/usr/bin/chromedriver"):
    print("skipped: chromium-driver is not installed")
    sys.exit(77)

CAPTION = "<script>window.pwned=1</script>Pond 3"
COMMAND_OUTPUT = "<img src=x onerror=\"window.pwned2=1\">mail sent"
failures = []
passed = []


def check(ok, what):
    print(("ok    " if ok else "FAIL  ") + what, flush=True)
    (passed if ok else failures).append(what)


def wait_for(what, timeout=10.0, step=0.05):
    # An element looked for while the page is being replaced (the login form posting, a reload)
    # is not there yet or no longer there: look again until the time is up, then let it raise.
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        try:
            value = what()
        except (NoSuchElementException, StaleElementReferenceException):
            value = None
        if value:
            return value
        time.sleep(step)
    return what()


def private_env(home):
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(name, None)
    env.update(HOME=home, XDG_CONFIG_HOME=home + "/config", XDG_DATA_HOME=home + "/data",
               XDG_STATE_HOME=home + "/state", XDG_CACHE_HOME=home + "/cache",
               XDG_RUNTIME_DIR=home, LANG="C.UTF-8", LC_ALL="C.UTF-8")
    return env


def start_web(args, env, cwd):
    web = subprocess.Popen([WEB] + args, env=env, cwd=cwd, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, text=True)
    line = web.stdout.readline()
    m = re.search(r"open http://[^/]+:(\d+)/", line)
    if not m:
        raise SystemExit("pexumo-web did not start: " + line + web.stderr.read())
    return web, int(m.group(1))


def latest(journal, list_number):
    """The newest row of a list in the journal: (n, value, time), read-only."""
    db = sqlite3.connect("file:%s?mode=ro" % journal, uri=True, timeout=5)
    try:
        return db.execute("SELECT n, value, time_or_no FROM reading WHERE list = ? ORDER BY n DESC"
                          " LIMIT 1", (list_number,)).fetchone()
    except sqlite3.Error:
        return None
    finally:
        db.close()


def newest_row(journal):
    db = sqlite3.connect("file:%s?mode=ro" % journal, uri=True, timeout=5)
    try:
        return db.execute("SELECT n, list, time_or_no FROM reading WHERE list < 7 ORDER BY n DESC"
                          " LIMIT 1").fetchone()
    except sqlite3.Error:
        return None
    finally:
        db.close()


LISTS = ["pH", "ORP", "COND", "TDS", "Salt", "DO", "O2"]


def texts(browser, selector):
    """The texts of the elements matching SELECTOR, read in one go (the page redraws often)."""
    return browser.execute_script(
        "return [...document.querySelectorAll(arguments[0])].map(e => e.textContent)", selector)


def main():
    home = tempfile.mkdtemp(prefix="pexumo-browser-")
    env = private_env(home)
    journal = os.path.join(home, "journal.sqlite")
    with open(os.path.join(home, "config.ini"), "w") as f:
        f.write("[Pexumo]\nFormCaption=%s\n" % CAPTION)
    command = os.path.join(home, "alarm-command")
    with open(command, "w") as f:
        f.write("#!/bin/sh\necho '%s'\n" % COMMAND_OUTPUT)
    os.chmod(command, 0o755)
    alarms = os.path.join(home, "alarms.conf")
    with open(alarms, "w") as f:
        f.write("[Alarms]\npH=..1.0\nDelaySeconds=0\nNoReadingSeconds=0\nCommand=%s\n" % command)

    logger = subprocess.Popen([LOGGER, "--demo", "--interval", "1", "--journal", journal,
                               "--settings", alarms], env=env, cwd=home,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    web, port = start_web(["--listen", "127.0.0.1:0", "--journal", journal, "--settings", alarms],
                          env, home)
    base = "http://127.0.0.1:%d" % port
    options = webdriver.ChromeOptions()
    for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
              "--window-size=1000,900", "--user-data-dir=" + os.path.join(home, "chromium")):
        options.add_argument(a)
    browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    browser.set_script_timeout(20)
    try:
        check(wait_for(lambda: latest(journal, 0), 15) is not None, "the logger wrote a pH row")
        browser.get(base + "/")

        def shown_ph():
            cells = texts(browser, 'tr[data-list="pH"] td.value')
            return cells[0] if cells else None

        def ph_matches():
            row = latest(journal, 0)
            return row is not None and shown_ph() == row[1] + " pH"
        check(wait_for(ph_matches, 10), "the site page shows the demo's latest pH (%s)" % shown_ph())
        title = browser.find_element(By.ID, "title").text
        check(title == CAPTION, "a caption with <script> is shown as text: %r" % title)
        check(browser.execute_script("return window.pwned === undefined"), "the caption's script did not run")

        # A new row reaches the open page without a reload within 2 s of its commit.
        first = newest_row(journal)
        committed = wait_for(lambda: (newest_row(journal) or first)[0] != first[0] and newest_row(journal), 10, 0.02)
        seen_at_commit = time.monotonic()
        n, list_number, at = committed

        def shown_time():
            cells = texts(browser, 'tr[data-list="%s"] td.time' % LISTS[list_number])
            return cells and cells[0] == at
        appeared = wait_for(shown_time, 5, 0.02)
        delay = time.monotonic() - seen_at_commit
        check(bool(appeared) and delay <= 2.0, "row %d (%s %s) on the page %.2f s after its commit" % (n, LISTS[list_number], at, delay))

        # The alarm: red on the tile with the window's text.
        alarm = wait_for(lambda: texts(browser, ".tile .alarms li"), 10)
        check(bool(alarm) and alarm[0].startswith("ALARM pH ") and " above 1.0 since " in alarm[0],
              "the tile shows the alarm as the window does: %r" % alarm)

        # The meter page draws its chart.
        browser.get(browser.execute_script("return document.querySelector('.tile nav a').href"))
        points = wait_for(lambda: browser.execute_script(
            "const p = document.querySelector('.chart[data-list=\"pH\"] .uplot');"
            "return p && Number(p.dataset.points) > 0 ? Number(p.dataset.points) : 0"), 10)
        # Pixels of the line's own blue (#0b5cad), not just the axes and the grid.
        drawn = wait_for(lambda: browser.execute_script(
            "const c = document.querySelector('.chart[data-list=\"pH\"] canvas');"
            "const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data; let n = 0;"
            "for (let i = 0; i < d.length; i += 4)"
            "  if (Math.abs(d[i] - 11) < 40 && Math.abs(d[i + 1] - 92) < 40 && Math.abs(d[i + 2] - 173) < 40 && d[i + 3] > 128) n++;"
            "return n;") > 20, 5)
        check(bool(points) and bool(drawn), "the pH chart's canvas is drawn (%s points)" % points)
        if not drawn:
            print("      readout:", texts(browser, ".chart .readout"))

        # The alarms page: the command's output as text.
        browser.get(base + "/alarms")
        result = wait_for(lambda: texts(browser, "#events td.result"), 10)
        check(bool(result) and result[-1] == "alarm command: exit 0: " + COMMAND_OUTPUT,
              "the alarm command's output is shown as text: %r" % (result[-1] if result else None))
        check(browser.execute_script("return window.pwned2 === undefined"), "the command's markup did not run")

        # The logger ends; the CSV download equals pexumo-journal export --csv.
        logger.send_signal(signal.SIGTERM)
        logger.wait(10)
        browser.get(base + "/")
        stopped = wait_for(lambda: texts(browser, ".tile .link") == ["logger stopped"], 8)
        check(bool(stopped), "the tile says the logger stopped")
        meter = browser.execute_script("return document.querySelector('.tile nav a').href")
        j = re.search(r"j=([0-9a-f]{12})", meter).group(1)
        csv = browser.execute_async_script(
            "const done = arguments[arguments.length - 1];"
            "fetch('/download?j=%s&session=1&list=pH&format=csv').then(r => r.text()).then(done);" % j)
        exported = subprocess.run([JOURNAL_TOOL, "--journal", journal, "export", "--csv", "1", "pH"],
                                  env=env, cwd=home, capture_output=True, check=True).stdout.decode()
        check(csv == exported and csv.startswith("Date,Time,Type,Value,Unit,Temperature,Temperature unit\r\n"),
              "the CSV download equals pexumo-journal export --csv (%d bytes)" % len(csv))
        if csv != exported:
            print("      web:  %r\n      tool: %r" % (csv[:300], exported[:300]))
        web.terminate()
        web.wait(10)

        # On an address other than loopback the password is asked.
        subprocess.run([WEB, "--set-password"], input="pond password\n", env=env, cwd=home,
                       text=True, check=True, capture_output=True)
        web, port = start_web(["--listen", "0.0.0.0:0", "--journal", journal], env, home)
        browser.delete_all_cookies()
        browser.get("http://127.0.0.1:%d/" % port)
        check(wait_for(lambda: browser.current_url.endswith("/login"), 5), "the page asks for the password")
        browser.find_element(By.ID, "password").send_keys("not the password")
        browser.find_element(By.ID, "enter").click()
        message = wait_for(lambda: browser.find_element(By.ID, "message").text, 5)
        check(message == "Wrong password.", "a wrong password is refused: %r" % message)
        browser.find_element(By.ID, "password").send_keys("pond password")
        browser.find_element(By.ID, "enter").click()
        check(wait_for(lambda: texts(browser, 'tr[data-list="pH"] th'), 5),
              "the right password gets in")
        if failures and failures[-1] == "the right password gets in":
            print("      at", browser.current_url, texts(browser, "body"))
    finally:
        browser.quit()
        for p in (logger, web):
            if p.poll() is None:
                p.terminate()
                p.wait(10)
    print("%d passed, %d failed" % (len(passed), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
