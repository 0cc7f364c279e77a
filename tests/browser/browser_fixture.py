"""What the browser tests share: the daemon on the bundled configuration, pages in headless
Chromium, bounded waits, and the frame that runs a test and ends whatever it started."""

import os
import signal
import socket
import subprocess
import sys
import tempfile
import time
import traceback
import types

from selenium import webdriver  # python3-selenium, from tools/install-deps.sh
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.keys import Keys

CHROMIUM, CHROMEDRIVER = "/usr/bin/chromium", "/usr/bin/chromedriver"
PATIENCE = 15.0  # seconds for one expected change on a page
DEADLINE = time.monotonic() + 220.0


def wait_for(what, probe, patience=PATIENCE):
    """Polls probe() until it gives a true value, which is returned."""
    end, last = min(time.monotonic() + patience, DEADLINE), None
    while time.monotonic() < end:
        try:
            value = probe()
            if value:
                return value
        except (WebDriverException, OSError) as error:
            last = error
        time.sleep(0.1)
    raise AssertionError("timed out waiting for %s%s" % (what, " (%s)" % last if last else ""))


def wait_listening(port):
    wait_for("port %d" % port, lambda: socket.create_connection(("127.0.0.1", port), 1).close() or True, 10)


def read(path):
    try:
        with open(path, encoding="latin-1") as f:
            return f.read()
    except OSError:
        return ""


def write(path, text):
    with open(path, "w", encoding="latin-1") as f:
        f.write(text)


class Daemon:
    """vcd on etc/vcd.conf with `settings` winning over its lines and `rank` as the visitors' line
    of the permission table, its files in the run's scratch directory."""

    def __init__(self, run, rank, settings=""):
        etc, self.scratch, self.pid = os.path.join(run.source, "etc"), run.scratch, None
        self.log, self.command = run.scratch + "/vcd.log", [run.binary, run.scratch + "/vcd.conf"]
        write(run.scratch + "/permissions.conf", "visitor Visitor %s\n" % rank)
        write(self.command[1], "file.log = %s\ndb.connection = sqlite:%s/vcd.db\n" % (self.log, run.scratch)
              + "file.permissions = %s/permissions.conf\n%s" % (run.scratch, settings)
              + read(etc + "/vcd.conf").replace("@ETC_DIR@", etc))
        run.ends.append(self.finish)
        self.start()

    def start(self):
        env = dict(os.environ)  # a sanitizer's report must outlive the daemon's closed streams
        for kind in ("ASAN", "UBSAN"):
            env[kind + "_OPTIONS"] = env.get(kind + "_OPTIONS", "") + ":log_path=%s/%s" % (self.scratch, kind)
        starts = read(self.log).count("daemon started")
        done = subprocess.run(self.command, cwd=self.scratch, env=env, timeout=10, capture_output=True)
        assert done.returncode == 0, "vcd did not start: %s" % done
        wait_for("the daemon's start", lambda: read(self.log).count("daemon started") > starts, 10)
        self.pid = int(read(self.log).rsplit("daemon started (pid: ", 1)[1].split(")")[0])
        for port in (1612, 1613, 1614):
            wait_listening(port)

    def stop(self):
        if self.pid:
            os.kill(self.pid, signal.SIGTERM)
            self.pid, starts = None, read(self.log).count("daemon started")
            wait_for("a smooth shutdown", lambda: read(self.log).count("smooth shutdown") >= starts, 10)

    def finish(self):
        try:
            self.stop()
        finally:
            print("--- daemon log ---\n" + read(self.log))
        reports = [read(os.path.join(self.scratch, name)) for name in sorted(os.listdir(self.scratch))
                   if name.startswith(("ASAN.", "UBSAN."))]
        assert not reports, "sanitizer report of the daemon:\n" + "\n".join(reports)


class Browser:
    """One visitor's page in headless Chromium."""

    def __init__(self, run, name, page, *arguments):
        self.name, self.page = name, page
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        options.page_load_strategy = "none"  # the stream in its frame never finishes loading
        for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
                         "--window-size=1100,720", "--no-first-run", "--disable-background-networking") + arguments:
            options.add_argument(argument)
        self.driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        self.driver.set_script_timeout(10)
        # The ends run last first: the screenshot, then the browser closes.
        run.ends += [self.driver.quit, lambda: self.driver.save_screenshot(os.path.join(run.artifacts, name + ".png"))]

    def js(self, script, *arguments):
        return self.driver.execute_script(script, *arguments)

    def element(self, element_id):
        return self.driver.find_element("id", element_id)

    def shown(self, element_id):
        return self.element(element_id).is_displayed()

    def text(self, element_id):
        return self.element(element_id).text

    def focused(self):
        return self.js("return document.activeElement && document.activeElement.id;")

    def members(self):
        return self.js("return Array.from(document.querySelectorAll('#vc-members li'), li => li.dataset.nickname);")

    def open(self):
        self.driver.get(self.page)
        wait_for("%s: the log-in form, the focus in its first field" % self.name,
                 lambda: self.shown("vc-nickname") and self.focused() == "vc-nickname")

    def log_in(self, nickname, room="", password="", welcome=True):
        """Logs in by the form; with `welcome`, waits for the member list and the room in the stream."""
        for field, value in (("vc-nickname", nickname), ("vc-wanted-room", room), ("vc-password", password)):
            self.element(field).clear()
            self.element(field).send_keys(value)
        self.element("vc-enter").click()
        if welcome:
            wait_for("%s in the member list" % nickname, lambda: nickname in self.members())
            self.wait_stream("Raumübersicht")

    def say(self, line):
        self.element("vc-line").send_keys(line + Keys.ENTER)

    def in_stream(self, script, *arguments):
        """What `script` returns inside the stream's frame."""
        self.driver.switch_to.frame(self.element("vc-stream"))
        try:
            return self.js(script, *arguments)
        finally:
            self.driver.switch_to.default_content()

    def wait_stream(self, html, patience=PATIENCE):
        wait_for("%s: %r in the stream" % (self.name, html),
                 lambda: html in self.in_stream("return document.documentElement.innerHTML;"), patience)


def attempt(action):
    """Runs action(); whether it failed, which it tells."""
    try:
        action()
        return False
    except AssertionError as error:
        print("FAIL: %s" % error)
    except Exception:  # a broken tool or script
        traceback.print_exc()
    return True


def run_test(prefix, body, *tools):
    """Runs body(run) in the namespace that the test command gives, then what `run.ends` holds, last
    first. A missing tool or any exception fails the test, which never skips."""
    missing = [tool for tool in tools + (CHROMIUM, CHROMEDRIVER) if not os.access(tool, os.X_OK)]
    assert not missing, "%s missing; tools/install-deps.sh installs it" % " ".join(missing)
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    binary, source, artifacts = sys.argv[1:]  # VCD_BINARY SOURCE_DIR ARTIFACT_DIR
    os.makedirs(artifacts, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix=prefix) as scratch:
        run = types.SimpleNamespace(binary=binary, source=source, artifacts=artifacts, scratch=scratch, ends=[])
        failed = attempt(lambda: body(run))
        for end in reversed(run.ends):
            failed = attempt(end) or failed
    print("FAIL" if failed else "PASS")
    return int(failed)
