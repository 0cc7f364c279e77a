#!/usr/bin/python3
"""Two visitors chat through the web client in headless Chromium, over HTTPS behind nginx with the
shipped site, against the daemon on the bundled configuration; Bernd comes from an address that nginx
forwards. Log-in, chat both ways, the phone layout, a time-out, a restart, a stored ban, and the
contrast of both skins. Usage: chat_browser_test.py VCD_BINARY SOURCE_DIR ARTIFACT_DIR"""

import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import traceback

from selenium import webdriver  # python3-selenium, from tools/install-deps.sh
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.keys import Keys

TOOLS = CHROMIUM, CHROMEDRIVER, NGINX, OPENSSL = ("/usr/bin/chromium", "/usr/bin/chromedriver", "/usr/sbin/nginx",
                                                  "/usr/bin/openssl")
PAGE, PASSWORD = "https://localhost/chat/", "geheim123"  # Bernd's nickname is registered with it
SECOND, RELAY = "127.0.0.2", "127.0.0.3"  # Bernd comes from SECOND when he connects to RELAY
PATIENCE = 15.0           # seconds for one expected change on a page
TIMEOUT_PATIENCE = 100.0  # five heartbeat ticks of twelve seconds, and some
STALE_PATIENCE = 60.0     # two heartbeat ticks and a retry, on a busy machine
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


def read(path):
    return open(path, encoding="latin-1").read() if os.path.exists(path) else ""


def write(path, text, replacements=()):
    """Writes text with each (shipped, here) pair replaced; each must be in it."""
    for shipped, here in replacements:
        assert shipped in text, "no %s in %s" % (shipped, path)
        text = text.replace(shipped, here)
    open(path, "w", encoding="latin-1").write(text)


def listening(*ports):
    for port in ports:
        wait_for("port %d" % port, lambda: socket.create_connection(("127.0.0.1", port), 1).close() or True, 10)


class Daemon:
    """vcd on etc/vcd.conf, its files in the scratch directory, the client's files left to nginx;
    visitors may ban for twenty minutes and see addresses."""

    def __init__(self, run):
        etc, self.scratch, self.log, self.pid = run.source + "/etc", run.scratch, run.scratch + "/vcd.log", None
        self.command = [run.binary, "-c", run.scratch + "/vcd.conf"]
        write(run.scratch + "/permissions.conf", "visitor Visitor 4 4 0 0 0 10 0 20 0 0 1\n")
        write(self.command[2], "file.log = %s\ndb.connection = sqlite:%s/vcd.db\n" % (self.log, run.scratch)
              + "file.permissions = %s/permissions.conf\nall.www = localhost\n" % run.scratch
              + "all.proxies = 127.0.0.1\nfile.www =\n" + read(etc + "/vcd.conf").replace("@ETC_DIR@", etc))
        subprocess.run(self.command + ["register", "Bernd"], input=PASSWORD + "\n", text=True, check=True)
        run.ends.append(self.finish)
        self.start()

    def start(self):
        env = dict(os.environ)  # a sanitizer's report must outlive the daemon's closed streams
        for kind in ("ASAN", "UBSAN"):
            env[kind + "_OPTIONS"] = env.get(kind + "_OPTIONS", "") + ":log_path=%s/%s" % (self.scratch, kind)
        starts = read(self.log).count("daemon started")
        subprocess.run(self.command[::2], cwd=self.scratch, env=env, timeout=10, check=True, capture_output=True)
        wait_for("the daemon's start", lambda: read(self.log).count("daemon started") > starts, 10)
        self.pid = int(read(self.log).rsplit("daemon started (pid: ", 1)[1].split(")")[0])
        listening(1612, 1613, 1614)

    def stop(self):
        os.kill(self.pid, signal.SIGTERM)
        self.pid, starts = None, read(self.log).count("daemon started")
        wait_for("a smooth shutdown", lambda: read(self.log).count("smooth shutdown") >= starts, 10)

    def finish(self):
        try:
            self.pid and self.stop()
        finally:
            print("--- daemon log ---\n" + read(self.log))
        reports = [read(self.scratch + "/" + name) for name in os.listdir(self.scratch) if "SAN." in name]
        assert not reports, "sanitizer report of the daemon:\n" + "\n".join(reports)


def start_nginx(run):
    """nginx with the shipped site, a new certificate and the client's files pointed at the stream
    beside them. One process in front: in the namespace's user mapping workers could not switch users."""
    scratch, etc = run.scratch, run.source + "/etc"
    subprocess.run([OPENSSL, "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                    "-keyout", scratch + "/key.pem", "-out", scratch + "/cert.pem", "-days", "2", "-subj",
                    "/CN=localhost", "-addext", "subjectAltName=DNS:localhost"], check=True, capture_output=True)
    shutil.copytree(etc + "/www", scratch + "/www")
    write(scratch + "/www/index.html", read(etc + "/www/index.html"), [('data-stream=""', 'data-stream="stream/"')])
    write(scratch + "/site.conf", read(etc + "/nginx/vcd.conf"), [
        ("chat.example.org", "localhost"), ("/etc/ssl/vcd/fullchain.pem", scratch + "/cert.pem"),
        ("/etc/ssl/vcd/privkey.pem", scratch + "/key.pem"), ("/usr/local/share/vcd/www/", scratch + "/www/")])
    temp = "".join(" %s_temp_path %s;" % (kind, kind) for kind in ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
    write(scratch + "/nginx.conf", "user root root; master_process off; daemon off; pid nginx.pid;\nerror_log "
          "error.log; events { worker_connections 256; }\nhttp { include /etc/nginx/mime.types;%s\n"
          "access_log access.log; include site.conf; }\n" % temp)
    nginx = subprocess.Popen([NGINX, "-e", scratch + "/error.log", "-p", scratch, "-c", "nginx.conf"])
    run.ends += [lambda: print("--- nginx error log ---\n" + read(scratch + "/error.log")),
                 lambda: nginx.terminate() or nginx.wait(10)]
    listening(443)


class Browser:
    """One visitor's page in headless Chromium, reaching localhost at `address`."""

    def __init__(self, run, name, address):
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        options.page_load_strategy = "none"  # the stream in its frame never finishes loading
        for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
                         "--window-size=1100,720", "--no-first-run", "--disable-background-networking",
                         "--ignore-certificate-errors", "--host-resolver-rules=MAP localhost " + address):
            options.add_argument(argument)
        self.name, self.driver = name, webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        self.driver.set_script_timeout(10)
        self.js, self.cdp = self.driver.execute_script, self.driver.execute_cdp_cmd
        # The ends run last first: the screenshot, then the browser closes.
        run.ends += [self.driver.quit, lambda: self.driver.save_screenshot("%s/%s.png" % (run.artifacts, name))]

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
        self.driver.get(PAGE)
        wait_for("%s: the log-in form, the focus in its first field" % self.name,
                 lambda: self.shown("vc-nickname") and self.focused() == "vc-nickname")

    def log_in(self, room="", password="", nickname=None):
        for field, value in (("vc-nickname", nickname or self.name), ("vc-wanted-room", room), ("vc-password", password)):
            self.element(field).clear()
            self.element(field).send_keys(value)
        self.element("vc-enter").click()

    def say(self, line):
        self.element("vc-line").send_keys(line + Keys.ENTER)

    def in_stream(self, script):
        """What `script` returns inside the stream's frame."""
        self.driver.switch_to.frame(self.element("vc-stream"))
        try:
            return self.js(script)
        finally:
            self.driver.switch_to.default_content()

    def sees(self, html):
        wait_for("%s: %r in the stream" % (self.name, html),
                 lambda: html in self.in_stream("return document.documentElement.innerHTML;"))


def chat(anna, bernd):
    """Log-in, the stream from the page's own origin, a line each way across both character sets, and
    the address that nginx forwards."""
    for visitor in (anna, bernd):
        visitor.open()
        visitor.log_in(password=PASSWORD if visitor is bernd else "")
    wait_for("both in both lists", lambda: anna.members() == bernd.members() == ["Anna", "Bernd"])
    for visitor in (anna, bernd):
        stream = visitor.js("return document.getElementById('vc-stream').src;")
        assert stream.startswith(PAGE + "stream/web/"), "%s: the stream comes from %s" % (visitor.name, stream)
        # The stream names its script with "http://"; it must come over HTTPS all the same.
        wait_for("%s: the stream's script" % visitor.name,
                 lambda: visitor.in_stream("return typeof window.autoscroll === 'function';"))
    # UTF-8 in the browser, ISO-8859-15 in the server: the dash is not in it.
    bernd.say("Grüße aus Köln, das Bier kostet 3 € – ok?")
    anna.sees("Grüße aus Köln, das Bier kostet 3 € ? ok?")
    assert bernd.focused() == "vc-line", "the focus stays in the input line"
    anna.say("Prost, Bernd!")
    bernd.sees("Prost, Bernd!")
    bernd.say(".u Bernd")
    bernd.sees("IP: %s;" % SECOND)


# The page's size and scroll width, and the boxes of the controls that matter on a phone.
BOXES = """return [innerWidth, innerHeight, document.documentElement.scrollWidth, Object.fromEntries(
    arguments[0].map(id => { const e = document.getElementById(id), r = e.getBoundingClientRect();
        return [id, [r.left, r.right, r.bottom, Math.min(r.width, r.height), e.offsetParent !== null]]; }))];"""
CONTROLS = ["vc-line", "vc-send", "vc-menu-toggle", "vc-members-toggle", "vc-side", "vc-leave"]


def phone(anna):
    """At a phone's size nothing is wider than the screen (long words wrap in the stream), the bar's
    controls are in view and large enough to touch, the member list and the menu open over the chat,
    and Escape closes the menu with the focus back on its button."""
    anna.say("Langes" * 30 + " http://example.org/" + "pfad/" * 30)
    anna.sees("LangesLanges")
    for width, height in ((390, 844), (320, 640)):
        anna.cdp("Emulation.setDeviceMetricsOverride",
                 {"width": width, "height": height, "deviceScaleFactor": 2, "mobile": True})
        page = wait_for("the page at %dx%d" % (width, height),
                        lambda: (lambda p: p[:2] == [width, height] and p)(anna.js(BOXES, CONTROLS)))
        assert page[2] <= width and anna.in_stream("const d = document.documentElement;"
                                                   "return d.scrollWidth <= d.clientWidth;"), "scrolls sideways"
        for control, (left, right, bottom, least, shown) in page[3].items():
            on_bar = control in CONTROLS[:4]
            assert shown == on_bar and (not on_bar or left >= 0 and right <= width and bottom <= height
                                        and least >= 44), "%d wide: %s %s" % (width, control, page[3][control])
        for toggle, panel, close in (("vc-members-toggle", "vc-side", "vc-members-close"),
                                     ("vc-menu-toggle", "vc-leave", None)):
            anna.element(toggle).click()
            left, right = wait_for("%s opens" % panel, lambda: anna.shown(panel) and anna.js(BOXES, [panel])[3][panel])[:2]
            assert left >= 0 and right <= width, "%d wide: %s from %d to %d" % (width, panel, left, right)
            if close:
                anna.element(close).click()
            else:
                ActionChains(anna.driver).send_keys(Keys.ESCAPE).perform()
            wait_for("%s closes" % panel, lambda: not anna.shown(panel))
        assert anna.focused() == "vc-menu-toggle", "Escape leaves the focus on the menu button"
        anna.cdp("Emulation.clearDeviceMetricsOverride", {})  # each size starts from the desktop
    wait_for("the desktop again: member list beside the chat, no member button",
             lambda: anna.shown("vc-side") and anna.shown("vc-leave") and not anna.shown("vc-members-toggle"))


def frozen(anna, bernd):
    """Bernd's page freezes and times out, and a line session takes his nickname. Running again, it waits
    for the nickname, takes it over with his password once that session times out too, and rejoins."""
    bernd.cdp("Page.setWebLifecycleState", {"state": "frozen"})
    phone(anna)  # while the time-out runs
    wait_for("Bernd's time-out", lambda: anna.members() == ["Anna"], TIMEOUT_PATIENCE)
    holder = socket.create_connection(("127.0.0.1", 1612), timeout=5)
    holder.sendall(b'LGN "vcp2" "Bernd" "%s" "" "10.0.0.3" "Line" "" "" "false"\n' % PASSWORD.encode())
    lines = holder.makefile("rb")
    challenge = int(next(reply for reply in lines if reply.startswith(b"CNT ")).split(b'"')[7])  # its 4th value
    holder.sendall(b'AUT "%d"\n' % (challenge ^ 0x3C96))
    next(reply for reply in lines if reply.startswith(b"NRM "))
    bernd.cdp("Page.setWebLifecycleState", {"state": "active"})
    for told, patience in (("unterbrochen", PATIENCE), ("belegt", PATIENCE), ("wieder da", STALE_PATIENCE)):
        wait_for("Bernd's page: %s" % told, lambda: told in bernd.text("vc-status"), patience)
    wait_for("Bernd back", lambda: anna.members() == ["Anna", "Bernd"])


def restart(daemon, anna, bernd):
    """The daemon restarts: Anna's page comes back by itself to her room; Bernd stops his and logs in
    again with his password."""
    anna.say(".go Technik")
    wait_for("Anna in Technik", lambda: anna.text("vc-room") == "Technik")
    daemon.stop()
    wait_for("Bernd's page offers to stop trying", lambda: bernd.shown("vc-reconnect-cancel"))
    bernd.element("vc-reconnect-cancel").click()
    wait_for("Bernd's page stops trying", lambda: bernd.shown("vc-login"))
    daemon.start()
    wait_for("Anna back in Technik", lambda: "wieder da" in anna.text("vc-status") and anna.text("vc-room") == "Technik")
    assert bernd.shown("vc-login") and anna.members() == ["Anna"], "Bernd's page came back after he stopped it"
    bernd.log_in("Technik", PASSWORD)
    wait_for("Bernd in Anna's list", lambda: anna.members() == ["Anna", "Bernd"])


def banned(daemon, anna, bernd):
    """Banned, Bernd's page does not come back by itself, and the stored ban on his forwarded address
    keeps him out under any nickname."""
    anna.say(".ban Bernd")
    wait_for("Bernd's page tells of the ban", lambda: "verbannt" in bernd.text("vc-status"))
    time.sleep(3)
    assert bernd.shown("vc-login") and not bernd.shown("vc-reconnect-cancel"), "Bernd's page tries to come back"
    bernd.log_in(nickname="Bernhard")
    wait_for("Bernd refused", lambda: "refused %s: banned address" % SECOND in read(daemon.log))
    assert "Bernhard" not in anna.members(), "Bernd came back as Bernhard"


# Text colour on background colour, as the style sheets pair them: each must read at 4.5:1 or more.
PAIRS = ("text/page text/notice muted/page muted/notice error/page error/error-back text/hint-back whisper/page "
         "arrive/page arrive/notice leave/page leave/notice alarm/page").split()


def skin_contrast(css):
    def luminance(colour):
        linear = [c / 12.92 if c <= 0.03928 else ((c + 0.055) / 1.055) ** 2.4
                  for c in (int(colour[i:i + 2], 16) / 255.0 for i in (1, 3, 5))]
        return 0.2126 * linear[0] + 0.7152 * linear[1] + 0.0722 * linear[2]

    for skin in ("default", "night"):
        palette = dict(re.findall(r"--vc-([a-z-]+):\s*(#[0-9a-fA-F]{6})",
                                  read(css + "basic.css") + read(css + "skins/%s.css" % skin)))
        for pair in PAIRS:
            light, dark = sorted((luminance(palette[name]) for name in pair.split("/")), reverse=True)
            assert light + 0.05 >= 4.5 * (dark + 0.05), "skin %s: %s reads at less than 4.5:1" % (skin, pair)


def body(run):
    skin_contrast(run.source + "/etc/www/css/")
    daemon = Daemon(run)
    start_nginx(run)
    subprocess.run(["ip", "route", "add", "local", RELAY, "dev", "lo", "src", SECOND, "table", "local"], check=True)
    anna, bernd = Browser(run, "Anna", "127.0.0.1"), Browser(run, "Bernd", RELAY)
    chat(anna, bernd)
    frozen(anna, bernd)
    restart(daemon, anna, bernd)
    banned(daemon, anna, bernd)


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


if __name__ == "__main__":
    # In the namespace that the test command gives: body(), then what `run.ends` holds, last first.
    # A missing tool or any exception fails the test, which never skips.
    missing = [tool for tool in TOOLS if not os.access(tool, os.X_OK)]
    assert not missing, "%s missing; tools/install-deps.sh installs it" % " ".join(missing)
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    binary, source, artifacts = sys.argv[1:]
    os.makedirs(artifacts, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="vcd-browser-") as scratch:
        run = type("run", (), dict(binary=binary, source=source, artifacts=artifacts, scratch=scratch, ends=[]))
        failed = attempt(lambda: body(run))
        for end in reversed(run.ends):
            failed = attempt(end) or failed
    print("FAIL" if failed else "PASS")
    sys.exit(int(failed))
