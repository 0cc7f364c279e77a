#!/usr/bin/python3
"""Two visitors chat through the web client in headless Chromium, over HTTPS behind nginx with the
shipped site, against the daemon on the bundled configuration; Bernd comes from an address that nginx
forwards. Usage: chat_browser_test.py VCD_BINARY SOURCE_DIR ARTIFACT_DIR"""

import os, shutil, signal, socket, subprocess, sys, tempfile, time, traceback  # noqa: E401

from selenium import webdriver  # python3-selenium, from tools/install-deps.sh
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.keys import Keys

TOOLS = CHROMIUM, CHROMEDRIVER, NGINX, OPENSSL = ("/usr/bin/chromium", "/usr/bin/chromedriver", "/usr/sbin/nginx",
                                                  "/usr/bin/openssl")
PAGE, PASSWORD = "https://localhost/chat/", "geheim123"  # Bernd's nickname is registered with it
SECOND, RELAY = "127.0.0.2", "127.0.0.3"  # Bernd comes from SECOND when he connects to RELAY
PATIENCE, DEADLINE = 15.0, time.monotonic() + 220.0  # seconds for one change on a page, for the test

def wait_for(what, probe, patience=PATIENCE):  # probe()'s first true value
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
    """vcd on etc/vcd.conf, its files in the scratch directory, the client's files left to nginx."""

    def __init__(self, run):
        etc, self.scratch, self.log, self.pid = run.source + "/etc", run.scratch, run.scratch + "/vcd.log", None
        self.command = [run.binary, "-c", run.scratch + "/vcd.conf"]
        write(run.scratch + "/permissions.conf", "visitor Visitor 4 4 0 0 0 10 0 0 0 0 1\n")
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

    def log_in(self, room="", password=""):
        for field, value in (("vc-nickname", self.name), ("vc-wanted-room", room), ("vc-password", password)):
            self.element(field).clear()
            self.element(field).send_keys(value)
        self.element("vc-enter").click()

    def say(self, line):
        self.element("vc-line").send_keys(line + Keys.ENTER)

    def in_stream(self, script):  # what `script` returns inside the stream's frame
        self.driver.switch_to.frame(self.element("vc-stream"))
        try:
            return self.js(script)
        finally:
            self.driver.switch_to.default_content()

    def sees(self, html):
        wait_for("%s: %r in the stream" % (self.name, html),
                 lambda: html in self.in_stream("return document.documentElement.innerHTML;"))

# The page's size and scroll width, and the boxes of the controls that matter on a phone.
BOXES = """return [innerWidth, innerHeight, document.documentElement.scrollWidth, Object.fromEntries(
    arguments[0].map(id => { const e = document.getElementById(id), r = e.getBoundingClientRect();
        return [id, [r.left, r.right, r.bottom, Math.min(r.width, r.height), e.offsetParent !== null]]; }))];"""
CONTROLS = ["vc-line", "vc-send", "vc-menu-toggle", "vc-members-toggle", "vc-side", "vc-leave"]

def phone(anna):
    """At a phone's size nothing is wider than the screen (long words wrap in the stream), the bar's
    controls are in view and large enough to touch, and Escape closes the menu."""
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
        anna.element("vc-menu-toggle").click()  # the menu opens over the chat; Escape closes it
        wait_for("the menu", lambda: anna.shown("vc-leave"))
        ActionChains(anna.driver).send_keys(Keys.ESCAPE).perform()
        wait_for("the menu closed, the focus on its button",
                 lambda: not anna.shown("vc-leave") and anna.focused() == "vc-menu-toggle")
        anna.cdp("Emulation.clearDeviceMetricsOverride", {})  # each size starts from the desktop
    wait_for("the desktop again: member list beside the chat, no member button",
             lambda: anna.shown("vc-side") and anna.shown("vc-leave") and not anna.shown("vc-members-toggle"))

def body(run):
    """Log-in, a line each way, the phone layout, a time-out and a restart, step by step."""
    daemon = Daemon(run)
    start_nginx(run)
    subprocess.run(["ip", "route", "add", "local", RELAY, "dev", "lo", "src", SECOND, "table", "local"], check=True)
    anna, bernd = Browser(run, "Anna", "127.0.0.1"), Browser(run, "Bernd", RELAY)
    for visitor in (anna, bernd):
        visitor.driver.get(PAGE)
        wait_for("%s: the log-in form, the focus in its first field" % visitor.name,
                 lambda: visitor.shown("vc-nickname") and visitor.focused() == "vc-nickname")
        visitor.log_in(password=PASSWORD if visitor is bernd else "")
        # The stream from the page's origin; its script, named with "http://", comes over HTTPS all the same.
        wait_for("%s: the stream from %sstream/web/ and its script" % (visitor.name, PAGE),
                 lambda: visitor.js("return document.getElementById('vc-stream').src;").startswith(PAGE + "stream/web/")
                 and visitor.in_stream("return typeof window.autoscroll === 'function';"))
    wait_for("both in both lists", lambda: anna.members() == bernd.members() == ["Anna", "Bernd"])
    # UTF-8 in the browser, ISO-8859-15 in the server: the dash is not in it.
    bernd.say("Grüße aus Köln, das Bier kostet 3 € – ok?")
    anna.sees("Grüße aus Köln, das Bier kostet 3 € ? ok?")
    assert bernd.focused() == "vc-line", "the focus stays in the input line"
    anna.say("Prost, Bernd!")
    bernd.sees("Prost, Bernd!")
    bernd.say(".u Bernd")
    bernd.sees("IP: %s;" % SECOND)  # as nginx forwards it

    # Bernd's page freezes and times out while Anna's page goes through the phone's sizes; running
    # again, it comes back by itself.
    bernd.cdp("Page.setWebLifecycleState", {"state": "frozen"})
    phone(anna)
    wait_for("Bernd's time-out", lambda: anna.members() == ["Anna"], 100)  # five heartbeats of twelve seconds
    bernd.cdp("Page.setWebLifecycleState", {"state": "active"})
    for told in ("unterbrochen", "wieder da"):
        wait_for("Bernd's page: %s" % told, lambda: told in bernd.text("vc-status"))
    wait_for("Bernd back", lambda: anna.members() == ["Anna", "Bernd"])

    # The daemon restarts: Anna's page comes back by itself to her room; Bernd stops his and logs in
    # again with his password.
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

def attempt(action):
    """Runs action(); whether it failed, which it tells with an assertion's text or a broken tool's trace."""
    try:
        action()
    except Exception as error:
        print("FAIL: %s" % error) if isinstance(error, AssertionError) else traceback.print_exc()
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
    sys.exit(1 if failed else 0)
