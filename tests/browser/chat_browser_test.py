#!/usr/bin/python3
"""Two visitors chat through the web client in headless Chromium.

Runs the real daemon on the bundled configuration (etc/vcd.conf, which serves
etc/www on port 1614) inside the private network namespace that the test
command gives it, drives two browser sessions through chromedriver, and has a
third visitor on the line protocol who must not see a whisper. The two pages
are saved as screenshots under the artifact directory.

Every wait is bounded; the whole test ends within a few minutes, most of them
spent waiting for the heartbeat time-out. Missing tools fail the test.

Usage: chat_browser_test.py VCD_BINARY SOURCE_DIR ARTIFACT_DIR
"""

import fcntl
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import traceback

try:
    from selenium import webdriver
    from selenium.common.exceptions import WebDriverException
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
except ImportError as error:  # the install step brings python3-selenium
    print("FAIL: selenium is not importable by %s: %s" % (sys.executable, error))
    sys.exit(1)

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
PAGE = "http://localhost:1614/"
PATIENCE = 15.0          # seconds for one expected change on a page
TIMEOUT_PATIENCE = 100.0  # five heartbeat ticks of twelve seconds, and some
DEADLINE = time.monotonic() + 170.0


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


def wait_for(what, probe, patience=PATIENCE):
    """Polls probe() until it gives a true value, which is returned."""
    end = min(time.monotonic() + patience, DEADLINE)
    last_error = None
    while time.monotonic() < end:
        try:
            value = probe()
            if value:
                return value
        except WebDriverException as error:
            last_error = error
        time.sleep(0.1)
    raise Failure("timed out waiting for %s%s" % (what, " (%s)" % last_error.msg if last_error else ""))


def bring_loopback_up():
    siocgifflags, siocsifflags, iff_up = 0x8913, 0x8914, 0x1
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        request = struct.pack("16sH", b"lo", 0)
        flags = struct.unpack("16sH", fcntl.ioctl(s.fileno(), siocgifflags, request))[1]
        fcntl.ioctl(s.fileno(), siocsifflags, struct.pack("16sH", b"lo", flags | iff_up))


def wait_listening(port):
    def probe():
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return True
        except OSError:
            return False
    wait_for("port %d" % port, probe, 10)


class Daemon:
    """The daemon on the bundled configuration, its files in a scratch directory."""

    def __init__(self, binary, source, scratch):
        self.log = os.path.join(scratch, "vcd.log")
        etc = os.path.join(source, "etc")
        with open(os.path.join(etc, "vcd.conf"), encoding="latin-1") as f:
            text = f.read().replace("@ETC_DIR@", etc)
        text = re.sub(r"(?m)^file\.log *=.*$", "file.log = " + self.log, text)
        text = re.sub(r"(?m)^db\.connection *=.*$", "db.connection = sqlite:" + os.path.join(scratch, "vcd.db"), text)
        self.config = os.path.join(scratch, "vcd.conf")
        with open(self.config, "w", encoding="latin-1") as f:
            f.write(text)
        # A sanitizer report of the daemon must not vanish with its closed streams.
        self.scratch = scratch
        env = dict(os.environ)
        for name, prefix in (("ASAN_OPTIONS", "asan"), ("UBSAN_OPTIONS", "ubsan")):
            env[name] = ":".join(filter(None, [env.get(name), "log_path=" + os.path.join(scratch, prefix)]))
        started = subprocess.run([binary, self.config], cwd=scratch, timeout=10, env=env,
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        check(started.returncode == 0, "vcd did not start: %s" % started.stdout)
        match = wait_for("the daemon's start in its log",
                         lambda: re.search(r"daemon started \(pid: (\d+)\)", self.log_text()), 10)
        self.pid = int(match.group(1))
        for port in (1612, 1613, 1614):
            wait_listening(port)

    def log_text(self):
        try:
            with open(self.log, encoding="latin-1") as f:
                return f.read()
        except OSError:
            return ""

    def stop(self):
        try:
            os.kill(self.pid, signal.SIGTERM)
        except ProcessLookupError:
            return
        wait_for("the daemon's smooth shutdown", lambda: "smooth shutdown" in self.log_text(), 10)

    def sanitizer_reports(self):
        reports = []
        for name in sorted(os.listdir(self.scratch)):
            if name.startswith(("asan", "ubsan")):
                with open(os.path.join(self.scratch, name), encoding="latin-1") as f:
                    reports.append(f.read())
        return reports


class LineVisitor:
    """A visitor on the line protocol (port 1612) whose chat arrives as TXT lines."""

    def __init__(self, nickname):
        self.sock = socket.create_connection(("127.0.0.1", 1612), timeout=5)
        self.buffer = b""
        self.received = []
        self.send('LGN "vcp2" "%s" "" "" "10.0.0.3" "LineClient" "" "" "false"' % nickname)
        cnt = self.wait_line(lambda line: line.startswith("CNT "))
        challenge = int(re.findall(r'"([^"]*)"', cnt)[3])
        self.send('AUT "%d"' % (challenge ^ 0x3C96))
        self.wait_line(lambda line: line.startswith("NRM "))

    def send(self, line):
        self.sock.sendall(line.encode("latin-1") + b"\n")

    def pump(self):
        self.sock.settimeout(0.05)
        try:
            while True:
                data = self.sock.recv(65536)
                if not data:
                    break
                self.buffer += data
        except (socket.timeout, BlockingIOError):
            pass
        while b"\n" in self.buffer:
            line, self.buffer = self.buffer.split(b"\n", 1)
            text = line.decode("latin-1")
            if text == "HTB":
                self.send("HTB")
            self.received.append(text)

    def wait_line(self, match, patience=PATIENCE):
        def probe():
            self.pump()
            return next((line for line in self.received if match(line)), None)
        return wait_for("a line on the line protocol", probe, patience)

    def saw(self, text):
        self.pump()
        return any(text in line for line in self.received)

    def close(self):
        self.sock.close()


class BrowserVisitor:
    """One browser session on the chat page."""

    def __init__(self, name):
        self.name = name
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
                         "--window-size=1100,720", "--lang=de-DE", "--no-first-run",
                         "--disable-background-networking", "--disable-features=Translate"):
            options.add_argument(argument)
        # The stream in the frame never ends, so the page never finishes loading.
        options.page_load_strategy = "none"
        self.driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        self.driver.set_script_timeout(10)

    def element(self, element_id):
        return self.driver.find_element(By.ID, element_id)

    def open(self):
        self.driver.get(PAGE)
        wait_for("%s: the log-in form" % self.name,
                 lambda: self.driver.current_url.endswith("/chat/") and self.element("vc-nickname").is_displayed())

    def log_in(self, nickname, room=""):
        self.element("vc-nickname").send_keys(nickname)
        if room:
            self.element("vc-wanted-room").send_keys(room)
        self.element("vc-enter").click()
        wait_for("%s: the member list" % self.name, lambda: nickname in self.members())
        self.wait_stream("%s: the room information" % self.name, "Raumübersicht")

    def members(self):
        return [item.get_attribute("data-nickname")
                for item in self.driver.find_elements(By.CSS_SELECTOR, "#vc-members li")]

    def room(self):
        return self.element("vc-room").text

    def stream_html(self):
        """The HTML that the stream has written so far."""
        self.driver.switch_to.frame(self.element("vc-stream"))
        try:
            return self.driver.execute_script("return document.documentElement.innerHTML;")
        finally:
            self.driver.switch_to.default_content()

    def wait_stream(self, what, html, patience=PATIENCE):
        wait_for(what, lambda: html in self.stream_html(), patience)

    def say(self, text):
        line = self.element("vc-line")
        line.send_keys(text)
        line.send_keys(Keys.ENTER)

    def focused(self):
        return self.driver.execute_script("return document.activeElement && document.activeElement.id;")

    def click_in_stream(self, css):
        self.driver.switch_to.frame(self.element("vc-stream"))
        try:
            elements = self.driver.find_elements(By.CSS_SELECTOR, css)
            check(elements, "%s: no element %s in the stream" % (self.name, css))
            # The icons act on mouse down, as the server's HTML says.
            webdriver.ActionChains(self.driver).move_to_element(elements[-1]).click_and_hold().release().perform()
        finally:
            self.driver.switch_to.default_content()

    def screenshot(self, directory):
        path = os.path.join(directory, "%s.png" % self.name)
        try:
            self.driver.save_screenshot(path)
            print("screenshot: %s" % path)
        except WebDriverException as error:
            print("no screenshot of %s: %s" % (self.name, error.msg))

    def quit(self):
        try:
            self.driver.quit()
        except WebDriverException:
            pass


def chat(daemon, anna, bernd, carl):
    anna.open()
    check(anna.focused() == "vc-nickname", "the nickname field has the focus")
    anna.log_in("Anna")
    bernd.open()
    bernd.log_in("Bernd")
    wait_for("Anna sees Bernd arrive in her list", lambda: "Bernd" in anna.members())
    check(bernd.members() == ["Carl", "Anna", "Bernd"], "Bernd's list: %s" % bernd.members())
    anna.wait_stream("Anna sees Bernd enter", "Bernd betritt den Chat.")

    # Umlauts and the euro sign cross both edges: UTF-8 in the browser,
    # ISO-8859-15 in the server, back to UTF-8 and into the stream.
    bernd.say("Grüße aus Köln, das Bier kostet 3 € – ok?")
    said = "Grüße aus Köln, das Bier kostet 3 € ? ok?"  # the dash is not in ISO-8859-15
    anna.wait_stream("Anna reads Bernd's line", said)
    bernd.wait_stream("Bernd reads his own line", said)
    check(bernd.focused() == "vc-line", "the focus stays in the input line")
    carl.wait_line(lambda line: "Gr\xfc\xdfe aus K\xf6ln, das Bier kostet 3 \xa4 ? ok?" in line)
    anna.say("Hallo Bernd, schön dich zu sehen")
    bernd.wait_stream("Bernd reads Anna's line", "Hallo Bernd, schön dich zu sehen")

    # A whisper reaches its target only.
    anna.say(".w Bernd nur für dich")
    bernd.wait_stream("Bernd gets the whisper", "nur für dich")
    anna.wait_stream("Anna sees her whisper", "Du flüsterst zu Bernd")
    anna.say("und das hören alle")
    carl.wait_line(lambda line: "und das h\xf6ren alle" in line)
    check(not carl.saw("nur f\xfcr dich"), "the whisper reached Carl")

    # A change of room by command: the lists follow.
    bernd.say(".go Technik")
    wait_for("Bernd's room is Technik", lambda: bernd.room() == "Technik")
    check(bernd.members() == ["Bernd"], "Bernd alone in Technik: %s" % bernd.members())
    wait_for("Bernd leaves Anna's list", lambda: "Bernd" not in anna.members())

    # A change of room by the icon in the room list.
    anna.say(".rooms")
    anna.wait_stream("Anna's room list", "on_icon_click(this, 'go', '.g Technik')")
    anna.click_in_stream("img[onmousedown*=\"'.g Technik'\"]")
    wait_for("Anna's room is Technik", lambda: anna.room() == "Technik")
    wait_for("Anna in Bernd's list", lambda: bernd.members() == ["Bernd", "Anna"])
    wait_for("the focus back in the input line", lambda: anna.focused() == "vc-line")

    # A room with a password: Bernd is asked for it and answers.
    anna.say(".newroom Geheim")
    wait_for("Anna's room is Geheim", lambda: anna.room() == "Geheim")
    anna.say(".setpassword sesam")
    anna.wait_stream("the password is set", "roomSetPassword")
    bernd.say(".go Geheim")
    wait_for("Bernd's password prompt", lambda: bernd.element("vc-prompt").is_displayed())
    check("Geheim" in bernd.element("vc-prompt-label").text, "the prompt names the room")
    check(bernd.focused() == "vc-prompt-value", "the prompt has the focus")
    bernd.element("vc-prompt-value").send_keys("sesam" + Keys.ENTER)
    wait_for("Bernd's room is Geheim", lambda: bernd.room() == "Geheim")
    wait_for("Bernd in Anna's list", lambda: anna.members() == ["Anna", "Bernd"])

    # Bernd's page stops answering heartbeats: the server ends his session
    # after five ticks, Anna's stream says so, and Bernd's page, once it runs
    # again, says that the connection is gone.
    bernd.driver.execute_cdp_cmd("Page.setWebLifecycleState", {"state": "frozen"})
    anna.wait_stream("Anna learns of Bernd's time-out", "Die Verbindung zu Bernd wurde unterbrochen.",
                     TIMEOUT_PATIENCE)
    wait_for("Bernd leaves Anna's list after his time-out", lambda: "Bernd" not in anna.members())
    bernd.driver.execute_cdp_cmd("Page.setWebLifecycleState", {"state": "active"})
    wait_for("Bernd's page tells of the lost connection",
             lambda: "Verbindung zum Chat-Server ist unterbrochen" in bernd.element("vc-status").text)
    check(bernd.element("vc-login").is_displayed(), "Bernd's page offers the log-in again")


def main():
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    binary, source, artifacts = sys.argv[1:]
    for tool in (CHROMIUM, CHROMEDRIVER):
        if not os.access(tool, os.X_OK):
            print("FAIL: %s is missing; tools/install-deps.sh installs it" % tool)
            return 1
    os.makedirs(artifacts, exist_ok=True)
    bring_loopback_up()
    scratch = tempfile.mkdtemp(prefix="vcd-browser-")
    daemon = anna = bernd = carl = None
    failed = True
    try:
        daemon = Daemon(binary, source, scratch)
        carl = LineVisitor("Carl")
        anna = BrowserVisitor("anna")
        bernd = BrowserVisitor("bernd")
        chat(daemon, anna, bernd, carl)
        failed = False
    except Failure as error:
        print("FAIL: %s" % error)
    except Exception:  # a broken tool or script: the test fails, never skips
        traceback.print_exc()
    finally:
        for visitor in (anna, bernd):
            if visitor:
                visitor.screenshot(artifacts)
                visitor.quit()
        if carl:
            carl.close()
        if daemon:
            try:
                daemon.stop()
            except Failure as error:
                print("FAIL: %s" % error)
                failed = True
            for report in daemon.sanitizer_reports():
                print("FAIL: sanitizer report of the daemon:\n" + report)
                failed = True
            if failed:
                print("--- daemon log ---\n" + daemon.log_text())
        shutil.rmtree(scratch, ignore_errors=True)
    print("PASS" if not failed else "FAIL")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
