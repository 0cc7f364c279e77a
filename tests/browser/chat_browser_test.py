#!/usr/bin/python3
"""Two visitors chat through the web client in headless Chromium.

Runs the real daemon on the bundled configuration (etc/vcd.conf, which serves
etc/www on port 1614) inside the private network namespace that the test
command gives it, drives two browser sessions through chromedriver, and has a
third visitor on the line protocol who must not see a whisper. The two pages
are saved as screenshots under the artifact directory.

Beyond the chat itself it checks the page on phone-sized screens (screenshots
of 390 x 844, 320 x 640 and the desktop), that the pages come back by themselves
after a lost connection and a restart of the daemon but not after a kick or a ban, the
title count and the notification of a hidden page, the input line's history and
nickname completion, and the contrast of both skins.

Every wait is bounded; the whole test ends within about two and a half minutes,
one of them spent waiting for the heartbeat time-out. Missing tools fail the test.

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
DEADLINE = time.monotonic() + 220.0
RESTART_PATIENCE = 10.0  # a page is back within this time after the daemon restarted
STALE_PATIENCE = 60.0    # two heartbeat ticks and a retry, on a busy machine


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

    def __init__(self, binary, source, scratch, settings=""):
        """settings: configuration lines that win over the bundled ones."""
        self.log = os.path.join(scratch, "vcd.log")
        etc = os.path.join(source, "etc")
        with open(os.path.join(etc, "vcd.conf"), encoding="latin-1") as f:
            text = settings + f.read().replace("@ETC_DIR@", etc)
        text = re.sub(r"(?m)^file\.log *=.*$", "file.log = " + self.log, text)
        text = re.sub(r"(?m)^db\.connection *=.*$", "db.connection = sqlite:" + os.path.join(scratch, "vcd.db"), text)
        self.config = os.path.join(scratch, "vcd.conf")
        with open(self.config, "w", encoding="latin-1") as f:
            f.write(text)
        self.scratch = scratch
        self.binary = binary
        self.start()

    def start(self):
        """Starts the daemon and waits until it listens on its three ports."""
        # A sanitizer report of the daemon must not vanish with its closed streams.
        env = dict(os.environ)
        for name, prefix in (("ASAN_OPTIONS", "asan"), ("UBSAN_OPTIONS", "ubsan")):
            env[name] = ":".join(filter(None, [env.get(name), "log_path=" + os.path.join(self.scratch, prefix)]))
        starts = self.log_text().count("daemon started")
        started = subprocess.run([self.binary, self.config], cwd=self.scratch, timeout=10, env=env,
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        check(started.returncode == 0, "vcd did not start: %s" % started.stdout)
        wait_for("the daemon's start in its log",
                         lambda: len(re.findall(r"daemon started \(pid: (\d+)\)", self.log_text())) > starts, 10)
        self.pid = int(re.findall(r"daemon started \(pid: (\d+)\)", self.log_text())[-1])
        for port in (1612, 1613, 1614):
            wait_listening(port)

    def log_text(self):
        try:
            with open(self.log, encoding="latin-1") as f:
                return f.read()
        except OSError:
            return ""

    def stop(self):
        if self.pid is None:
            return
        try:
            os.kill(self.pid, signal.SIGTERM)
        except ProcessLookupError:
            return
        stops = self.log_text().count("daemon started")
        wait_for("the daemon's smooth shutdown", lambda: self.log_text().count("smooth shutdown") >= stops, 10)
        self.pid = None

    def sanitizer_reports(self):
        reports = []
        for name in sorted(os.listdir(self.scratch)):
            if name.startswith(("asan", "ubsan")):
                with open(os.path.join(self.scratch, name), encoding="latin-1") as f:
                    reports.append(f.read())
        return reports

    def finish(self, failed):
        """Stops the daemon at the end of a test run that `failed` or not; whether
        the run failed after all (a stop that failed, a sanitizer report), with
        the daemon's log printed when it did."""
        try:
            self.stop()
        except Failure as error:
            print("FAIL: %s" % error)
            failed = True
        for report in self.sanitizer_reports():
            print("FAIL: sanitizer report of the daemon:\n" + report)
            failed = True
        if failed:
            print("--- daemon log ---\n" + self.log_text())
        return failed


class LineVisitor:
    """A visitor on the line protocol (port 1612) whose chat arrives as TXT lines;
    one that does not answer heartbeats looks like a lost connection to the server."""

    def __init__(self, nickname, answers_heartbeats=True):
        self.sock = socket.create_connection(("127.0.0.1", 1612), timeout=5)
        self.buffer = b""
        self.received = []
        self.answers_heartbeats = answers_heartbeats
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
            if text == "HTB" and self.answers_heartbeats:
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

    def __init__(self, name, arguments=()):
        """arguments: further command-line arguments of this Chromium."""
        self.name = name
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
                         "--window-size=1100,720", "--lang=de-DE", "--no-first-run",
                         "--disable-background-networking", "--disable-features=Translate") + tuple(arguments):
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

    def log_in(self, nickname, room="", password=""):
        for field, value in (("vc-nickname", nickname), ("vc-wanted-room", room), ("vc-password", password)):
            self.element(field).clear()
            self.element(field).send_keys(value)
        self.element("vc-enter").click()
        wait_for("%s: the member list" % self.name, lambda: nickname in self.members())
        self.wait_stream("%s: the room information" % self.name, "Raumübersicht")

    def members(self):
        return [item.get_attribute("data-nickname")
                for item in self.driver.find_elements(By.CSS_SELECTOR, "#vc-members li")]

    def room(self):
        return self.element("vc-room").text

    def in_stream(self, script):
        """What `script` returns inside the stream's frame."""
        self.driver.switch_to.frame(self.element("vc-stream"))
        try:
            return self.driver.execute_script(script)
        finally:
            self.driver.switch_to.default_content()

    def stream_html(self):
        """The HTML that the stream has written so far."""
        return self.in_stream("return document.documentElement.innerHTML;")

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

    def status(self):
        return self.element("vc-status").text

    def title(self):
        return self.driver.execute_script("return document.title;")

    def line_value(self):
        return self.element("vc-line").get_attribute("value")

    def emulate(self, width, height):
        """Shows the page as a phone of this size would (no argument: the window again)."""
        if width is None:
            self.driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})
        else:
            self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                "width": width, "height": height, "deviceScaleFactor": 2, "mobile": True})

    def layout(self):
        """The page's scroll width, the viewport and the boxes of the controls that matter on a phone."""
        return self.driver.execute_script("""
            var box = function (id) {
                var element = document.getElementById(id);
                var r = element.getBoundingClientRect();
                var shown = element.offsetParent !== null && getComputedStyle(element).visibility !== 'hidden';
                return { left: r.left, top: r.top, right: r.right, bottom: r.bottom,
                         width: r.width, height: r.height, shown: shown };
            };
            var boxes = {};
            arguments[0].forEach(function (id) { boxes[id] = box(id); });
            return { scrollWidth: document.documentElement.scrollWidth, width: window.innerWidth,
                     height: window.innerHeight, boxes: boxes };
        """, ["vc-line", "vc-send", "vc-menu-toggle", "vc-members-toggle", "vc-side", "vc-leave", "vc-register",
              "vc-stream"])

    def stream_widths(self):
        """The scroll width and the visible width of the stream's document."""
        return self.in_stream("return [document.documentElement.scrollWidth, document.documentElement.clientWidth];")

    def set_hidden(self, hidden):
        """Makes the page report itself hidden or visible, as a switch of tabs would."""
        self.driver.execute_script("""
            if (arguments[0]) {
                Object.defineProperty(document, 'visibilityState', { configurable: true, get: function () { return 'hidden'; } });
                Object.defineProperty(document, 'hidden', { configurable: true, get: function () { return true; } });
            } else {
                delete document.visibilityState;
                delete document.hidden;
            }
            document.dispatchEvent(new Event('visibilitychange'));
        """, hidden)

    def watch_notifications(self):
        """Grants notifications to the page and records the ones it raises."""
        self.driver.execute_cdp_cmd("Browser.grantPermissions", {
            "origin": PAGE.rstrip("/"), "permissions": ["notifications"]})
        self.driver.execute_script("""
            var Real = window.Notification;
            window.vcNotices = [];
            window.Notification = class extends Real {
                constructor(title, options) {
                    window.vcNotices.push(title + ': ' + ((options && options.body) || ''));
                    super(title, options);
                }
            };
        """)

    def notifications(self):
        return self.driver.execute_script("return window.vcNotices || [];")

    def watch_sent(self):
        """Records the lines that the page sends to the server from now on."""
        self.driver.execute_script("""
            if (window.vcSent) return;
            window.vcSent = [];
            var send = WebSocket.prototype.send;
            WebSocket.prototype.send = function (data) {
                window.vcSent.push(String(data));
                return send.call(this, data);
            };
        """)

    def sent(self):
        """The lines sent since watch_sent(), heartbeats left out."""
        return [line for line in self.driver.execute_script("return window.vcSent || [];") if line != "HTB"]

    def screenshot(self, directory, name=None):
        path = os.path.join(directory, "%s.png" % (name or self.name))
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


def chat(daemon, anna, bernd, carl, while_frozen=None):
    """Two visitors chat, whisper, change rooms, answer a room's password and
    live through a time-out; while_frozen() runs while Bernd's page is frozen."""
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
    # again, says that the connection is gone and comes back by itself, into
    # the room with the password it answered before.
    bernd.driver.execute_cdp_cmd("Page.setWebLifecycleState", {"state": "frozen"})
    if while_frozen:
        while_frozen()
    anna.wait_stream("Anna learns of Bernd's time-out", "Die Verbindung zu Bernd wurde unterbrochen.",
                     TIMEOUT_PATIENCE)
    wait_for("Bernd leaves Anna's list after his time-out", lambda: "Bernd" not in anna.members())
    bernd.driver.execute_cdp_cmd("Page.setWebLifecycleState", {"state": "active"})
    wait_for("Bernd's page tells of the lost connection",
             lambda: "Verbindung zum Chat-Server ist unterbrochen" in bernd.status())
    check(bernd.element("vc-reconnect-cancel").is_displayed(), "Bernd's page offers to stop trying")
    wait_for("Bernd back in Anna's list", lambda: anna.members() == ["Anna", "Bernd"])
    wait_for("Bernd's page says it is back", lambda: "wieder da" in bernd.status())
    check(bernd.room() == "Geheim", "Bernd came back to Geheim: %s" % bernd.room())


def check_phone(visitor, width, height, artifacts):
    """The page at a phone's size: nothing wider than the screen, the bar's
    controls in view and large enough to touch, the member list and the menu
    open over the chat and close again."""
    name = "%s-%dx%d" % (visitor.name, width, height)
    visitor.emulate(width, height)
    try:
        layout = wait_for("%s: the narrow layout" % name,
                          lambda: visitor.layout() if visitor.layout()["width"] == width else None)
        check(layout["scrollWidth"] <= layout["width"], "%s scrolls sideways: %s" % (name, layout["scrollWidth"]))
        boxes = layout["boxes"]
        for control in ("vc-send", "vc-menu-toggle", "vc-members-toggle", "vc-line"):
            box = boxes[control]
            check(box["shown"] and box["left"] >= 0 and box["right"] <= width and box["bottom"] <= height,
                  "%s: %s not in view: %s" % (name, control, box))
            check(box["height"] >= 44 and box["width"] >= 44, "%s: %s too small to touch: %s" % (name, control, box))
        check(boxes["vc-line"]["width"] > boxes["vc-send"]["width"] + boxes["vc-menu-toggle"]["width"],
              "%s: the input line is narrower than its buttons" % name)
        check(not boxes["vc-side"]["shown"] and not boxes["vc-leave"]["shown"],
              "%s: the member list or the menu is open from the start" % name)
        check(boxes["vc-stream"]["right"] <= width and boxes["vc-stream"]["height"] > height / 3,
              "%s: the chat frame does not fill the page: %s" % (name, boxes["vc-stream"]))

        widths = visitor.stream_widths()
        check(widths[0] <= widths[1], "%s: the stream's lines do not wrap: %s" % (name, widths))

        visitor.element("vc-members-toggle").click()
        side = wait_for("%s: the member panel opens" % name,
                        lambda: visitor.layout()["boxes"]["vc-side"] if visitor.element("vc-side").is_displayed() else None)
        check(side["right"] <= width and side["left"] >= 0, "%s: the member panel is cut off: %s" % (name, side))
        check(visitor.members(), "%s: the member panel is empty" % name)
        visitor.screenshot(artifacts, name + "-members")
        visitor.element("vc-members-close").click()
        wait_for("%s: the member panel closes" % name, lambda: not visitor.element("vc-side").is_displayed())

        visitor.element("vc-menu-toggle").click()
        menu = wait_for("%s: the menu opens" % name,
                        lambda: visitor.layout()["boxes"] if visitor.element("vc-leave").is_displayed() else None)
        for entry in ("vc-leave", "vc-register"):
            check(menu[entry]["shown"] and menu[entry]["left"] >= 0 and menu[entry]["right"] <= width
                  and menu[entry]["top"] >= 0 and menu[entry]["height"] >= 44,
                  "%s: the menu entry %s is out of view or small: %s" % (name, entry, menu[entry]))
        check(visitor.focused() == "vc-colour", "%s: the open menu has the focus" % name)
        visitor.screenshot(artifacts, name + "-menu")
        webdriver.ActionChains(visitor.driver).send_keys(Keys.ESCAPE).perform()
        wait_for("%s: Escape closes the menu" % name, lambda: not visitor.element("vc-leave").is_displayed())
        check(visitor.focused() == "vc-menu-toggle", "%s: the focus is back on the menu button" % name)
        visitor.screenshot(artifacts, name)
    finally:
        visitor.emulate(None, None)


def phone_layouts(visitor, artifacts):
    # Long words and addresses wrap inside the frame.
    visitor.say("Langes" * 30 + " http://example.org/" + "pfad/" * 30)
    visitor.wait_stream("the long line in the stream", "LangesLanges")
    for width, height in ((390, 844), (320, 640)):
        check_phone(visitor, width, height, artifacts)
    layout = wait_for("the desktop layout again",
                      lambda: visitor.layout() if visitor.layout()["width"] > 1000 else None)
    check(layout["boxes"]["vc-leave"]["shown"] and layout["boxes"]["vc-side"]["shown"],
          "the desktop shows the leave button and the member list beside the chat")
    check(not layout["boxes"]["vc-members-toggle"]["shown"], "the desktop shows no member button")
    visitor.screenshot(artifacts, visitor.name + "-desktop")


def typing(anna, bernd):
    """The arrow keys walk through the lines sent; Tab completes a nickname."""
    line = bernd.element("vc-line")
    bernd.say("erste Zeile")
    bernd.say("zweite Zeile")
    anna.wait_stream("Anna reads Bernd's second line", "zweite Zeile")
    line.send_keys(Keys.ARROW_UP)
    check(bernd.line_value() == "zweite Zeile", "arrow up recalls the last line: %r" % bernd.line_value())
    line.send_keys(Keys.ARROW_UP)
    check(bernd.line_value() == "erste Zeile", "arrow up again: %r" % bernd.line_value())
    line.send_keys(Keys.ARROW_DOWN, Keys.ARROW_DOWN)
    check(bernd.line_value() == "", "arrow down back to the empty line: %r" % bernd.line_value())
    line.send_keys("an", Keys.TAB)
    check(bernd.line_value() == "Anna: ", "Tab completes Anna's nickname: %r" % bernd.line_value())
    check(bernd.focused() == "vc-line", "Tab with a completion keeps the focus")
    line.send_keys("kommst du?", Keys.ENTER)
    anna.wait_stream("Anna reads the completed line", "Anna: kommst du?")
    check(bernd.focused() == "vc-line", "the focus stays in the input line after sending")
    line.send_keys(Keys.TAB)
    check(bernd.focused() != "vc-line", "Tab on an empty line moves on to the next control")


# Anna registers her nickname with it (where the server keeps registrations).
PASSWORD = "geheim123"

# A menu entry, what the visitor answers to its prompt (None: it has none),
# the line the page sends then (None: nothing) and what its status says.
MENU_COMMANDS = [("vc-look", None, 'TXT ".newmode"', None),
                 ("vc-skins", None, 'TXT ".newskin"', None),
                 ("vc-register", "kurz", None, "mindestens 8 Zeichen"),
                 ("vc-register", "mit Leerzeichen", None, "keine Leerzeichen"),
                 ("vc-register", PASSWORD, 'TXT ".register %s"' % PASSWORD, None)]


def menu_commands(visitor):
    """The menu's entries send their commands; a password that the server
    would refuse for a registration stays on the page."""
    visitor.watch_sent()
    for entry, answer, line, told in MENU_COMMANDS:
        what = "%s with %r" % (entry, answer)
        before = len(visitor.sent())
        visitor.element("vc-menu-toggle").click()
        wait_for("the menu entry %s" % entry, lambda: visitor.element(entry).is_displayed())
        visitor.element(entry).click()
        if answer is not None:
            wait_for("the prompt of %s" % entry, lambda: visitor.focused() == "vc-prompt-value")
            visitor.element("vc-prompt-value").send_keys(answer + Keys.ENTER)
        if told:
            wait_for("%s: the status says %r" % (what, told), lambda: told in visitor.status())
        if line:
            wait_for("%s sends %s" % (what, line), lambda: visitor.sent()[before:] == [line])
        else:
            check(visitor.sent()[before:] == [], "%s sent %s" % (what, visitor.sent()[before:]))
        check(visitor.focused() == "vc-line", "%s: the focus is back in the input line" % what)


# What Bernd says while Anna's page is hidden, and what her notification
# shows of it (None: the line raises none).
UNREAD_LINES = [("hört jemand zu?", None),
                (".w Anna psst, nur für dich", "psst, nur für dich"),
                ("bist du da, anna?", "bist du da, anna?")]


def attention(anna, bernd):
    """A hidden page counts unread lines in its title and raises a notification
    for a whisper and for a line that names the visitor; shown again, it clears
    the count and marks the first unread line."""
    anna.watch_notifications()
    anna.element("vc-menu-toggle").click()
    wait_for("the notification entry in the menu",
             lambda: anna.element("vc-notify").is_displayed() and "erlaubt" in anna.element("vc-notify").text)
    webdriver.ActionChains(anna.driver).send_keys(Keys.ESCAPE).perform()
    anna.set_hidden(True)
    for line, _ in UNREAD_LINES:
        bernd.say(line)
    count = "(%d) vorta chat" % len(UNREAD_LINES)
    wait_for("the title %s" % count, lambda: anna.title() == count)
    wanted = [notice for _, notice in UNREAD_LINES if notice]
    notices = wait_for("the notifications",
                       lambda: anna.notifications() if len(anna.notifications()) >= len(wanted) else None)
    check(len(notices) == len(wanted) and all(w in n for w, n in zip(wanted, notices)), "notifications: %s" % notices)
    anna.set_hidden(False)
    wait_for("the title without count", lambda: anna.title() == "vorta chat")
    html = anna.stream_html()
    marker = html.find('class="vc-unread"')
    check(0 <= marker < html.find("hört jemand zu?"), "the unread marker stands before the first unread line")
    check(html.find("erste Zeile") < marker, "the unread marker stands after the lines read")


def restart(daemon, anna, bernd):
    """The daemon stops and starts again: both pages log in by themselves into
    the rooms they were in and chat on."""
    anna.say(".go Technik")
    bernd.say(".go Plauderecke")
    wait_for("Anna in Technik, Bernd in Plauderecke",
             lambda: anna.room() == "Technik" and bernd.room() == "Plauderecke")
    daemon.stop()
    for visitor in (anna, bernd):
        wait_for("%s: the page tells of the lost connection" % visitor.name,
                 lambda: "unterbrochen" in visitor.status())
    time.sleep(1.5)
    daemon.start()
    started = time.monotonic()
    for visitor, room in ((anna, "Technik"), (bernd, "Plauderecke")):
        wait_for("%s: back in %s" % (visitor.name, room),
                 lambda: visitor.room() == room and visitor.name.capitalize() in visitor.members()
                 and "wieder da" in visitor.status(), max(0.5, started + RESTART_PATIENCE - time.monotonic()))
    bernd.say(".go Technik")
    wait_for("Bernd in Anna's list", lambda: "Bernd" in anna.members())
    bernd.say("da sind wir wieder")
    anna.wait_stream("Anna reads Bernd after the restart", "da sind wir wieder")


def stale_nickname(daemon, anna, bernd):
    """A session that lost its connection unnoticed still holds the nickname:
    the returning page waits and takes it over once that session stops
    answering heartbeats."""
    bernd.driver.execute_cdp_cmd("Page.setWebLifecycleState", {"state": "frozen"})
    daemon.stop()
    daemon.start()
    holder = LineVisitor("Bernd", answers_heartbeats=False)
    try:
        bernd.driver.execute_cdp_cmd("Page.setWebLifecycleState", {"state": "active"})
        wait_for("Bernd's page waits for its nickname", lambda: "belegt" in bernd.status())
        wait_for("Bernd's page takes its nickname over",
                 lambda: "wieder da" in bernd.status() and bernd.room() == "Technik", STALE_PATIENCE)
        holder.wait_line(lambda line: line == "EXT")
        wait_for("Anna and Bernd in Technik", lambda: anna.room() == "Technik" and anna.members() == ["Anna", "Bernd"])
    finally:
        holder.close()


# How Anna throws Bernd out, and what his page says then. The ban comes last:
# a store that keeps bans would refuse every later log-in from this address.
THROW_OUTS = [(".kick Bernd", "gekickt"), (".ban Bernd 1", "verbannt")]


def kicked(anna, bernd):
    """A visitor kicked or banned does not come back by himself; he may log in
    again by hand."""
    anna.say(".newroom Raus")
    wait_for("Anna's room is Raus", lambda: anna.room() == "Raus")
    for command, told in THROW_OUTS:
        if bernd.element("vc-login").is_displayed():
            bernd.log_in("Bernd", "Raus")
        else:
            bernd.say(".go Raus")
        wait_for("Bernd in Raus", lambda: anna.members() == ["Anna", "Bernd"])
        anna.say(command)
        wait_for("Bernd's page tells of %s" % command, lambda: told in bernd.status())
        check(bernd.element("vc-login").is_displayed(), "Bernd's page offers the log-in form")
        time.sleep(3)
        check("Bernd" not in anna.members(), "Bernd came back after %s" % command)
        check(bernd.element("vc-login").is_displayed() and not bernd.element("vc-reconnect-cancel").is_displayed(),
              "Bernd's page tries to come back after %s" % command)


def cancelled(daemon, anna, bernd):
    """A visitor stops his page from coming back and logs in again by hand,
    while the other page comes back by itself."""
    daemon.stop()
    wait_for("Bernd's page tells of the lost connection", lambda: "unterbrochen" in bernd.status())
    wait_for("Anna's page offers to stop trying", lambda: anna.element("vc-reconnect-cancel").is_displayed())
    anna.element("vc-reconnect-cancel").click()
    wait_for("Anna's page stops trying", lambda: anna.element("vc-login").is_displayed())
    daemon.start()
    wait_for("Bernd's page is back", lambda: "wieder da" in bernd.status(), RESTART_PATIENCE)
    check(anna.element("vc-login").is_displayed() and not anna.element("vc-reconnect-cancel").is_displayed(),
          "Anna's page came back after she stopped it")
    check("Anna" not in bernd.members(), "Anna is back in Bernd's list")
    anna.log_in("Anna", "Technik", PASSWORD)
    wait_for("Anna in Bernd's list", lambda: bernd.members() == ["Bernd", "Anna"])


def css_colours(path):
    with open(path, encoding="utf-8") as f:
        return dict(re.findall(r"--(vc-[a-z-]+):\s*(#[0-9a-fA-F]{6})", f.read()))


def luminance(colour):
    def channel(value):
        value /= 255.0
        return value / 12.92 if value <= 0.03928 else ((value + 0.055) / 1.055) ** 2.4
    r, g, b = (int(colour[i:i + 2], 16) for i in (1, 3, 5))
    return 0.2126 * channel(r) + 0.7152 * channel(g) + 0.0722 * channel(b)


def contrast(foreground, background):
    lighter, darker = sorted((luminance(foreground), luminance(background)), reverse=True)
    return (lighter + 0.05) / (darker + 0.05)


# Text colour on background colour, as the style sheets pair them.
COLOUR_PAIRS = [("vc-text", "vc-page"), ("vc-text", "vc-notice"), ("vc-muted", "vc-page"), ("vc-muted", "vc-notice"),
                ("vc-error", "vc-page"), ("vc-error", "vc-error-back"), ("vc-text", "vc-hint-back"),
                ("vc-whisper", "vc-page"), ("vc-arrive", "vc-page"), ("vc-arrive", "vc-notice"),
                ("vc-leave", "vc-page"), ("vc-leave", "vc-notice"), ("vc-alarm", "vc-page")]


def skin_contrast(source):
    """Every pair of text and background colours of both skins reads at 4.5:1 or more."""
    www = os.path.join(source, "etc", "www", "css")
    basic = css_colours(os.path.join(www, "basic.css"))
    for skin in ("default", "night"):
        colours = dict(basic, **css_colours(os.path.join(www, "skins", skin + ".css")))
        for foreground, background in COLOUR_PAIRS:
            ratio = contrast(colours[foreground], colours[background])
            check(ratio >= 4.5, "skin %s: %s on %s has a contrast of only %.2f" % (skin, foreground, background, ratio))


def run_test(doc, tools, prefix, body):
    """The frame of a browser test: checks the arguments and the tools, runs
    body(binary, source, artifacts, scratch, ends) and then every end that the
    body registered in `ends`, last first; each end takes and returns whether
    the test failed. Any exception fails the test, which never skips."""
    if len(sys.argv) != 4:
        print(doc)
        return 2
    binary, source, artifacts = sys.argv[1:]
    for tool in tools:
        if not os.access(tool, os.X_OK):
            print("FAIL: %s is missing; tools/install-deps.sh installs it" % tool)
            return 1
    os.makedirs(artifacts, exist_ok=True)
    bring_loopback_up()
    scratch = tempfile.mkdtemp(prefix=prefix)
    ends = []
    failed = True
    try:
        body(binary, source, artifacts, scratch, ends)
        failed = False
    except Failure as error:
        print("FAIL: %s" % error)
    except Exception:  # a broken tool or script
        traceback.print_exc()
    finally:
        for end in reversed(ends):
            failed = end(failed)
        shutil.rmtree(scratch, ignore_errors=True)
    print("PASS" if not failed else "FAIL")
    return 1 if failed else 0


def visitor_end(visitor, artifacts):
    """An end for run_test: the visitor's screenshot, then his browser closes."""
    def end(failed):
        visitor.screenshot(artifacts)
        visitor.quit()
        return failed
    return end


def main():
    def body(binary, source, artifacts, scratch, ends):
        ranks = os.path.join(scratch, "permissions.conf")
        with open(ranks, "w", encoding="latin-1") as f:
            f.write("visitor Visitor 4 4 0 0 0 10 0 5 0 0 0\n")  # may ban for five minutes
        daemon = Daemon(binary, source, scratch, "file.permissions = %s\n" % ranks)
        ends.append(daemon.finish)
        carl = LineVisitor("Carl")
        ends.append(lambda failed: carl.close() or failed)
        anna = BrowserVisitor("anna")
        ends.append(visitor_end(anna, artifacts))
        bernd = BrowserVisitor("bernd")
        ends.append(visitor_end(bernd, artifacts))
        skin_contrast(source)
        chat(daemon, anna, bernd, carl, while_frozen=lambda: phone_layouts(anna, artifacts))
        typing(anna, bernd)
        menu_commands(anna)
        attention(anna, bernd)
        restart(daemon, anna, bernd)
        stale_nickname(daemon, anna, bernd)
        cancelled(daemon, anna, bernd)
        kicked(anna, bernd)
    return run_test(__doc__, (CHROMIUM, CHROMEDRIVER), "vcd-browser-", body)


if __name__ == "__main__":
    sys.exit(main())
