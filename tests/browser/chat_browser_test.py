#!/usr/bin/python3
"""Two visitors chat through the web client in headless Chromium over HTTPS behind nginx with the shipped
site, against the daemon on the bundled configuration; Bernd comes from an address that nginx forwards.
Usage: chat_browser_test.py VCD_BINARY SOURCE_DIR SCREENSHOT_DIR"""

import contextlib, os, shutil, signal, socket, subprocess, sys, tempfile, time  # noqa: E401

from selenium import webdriver  # python3-selenium, from tools/install-deps.sh
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.keys import Keys

PAGE, PASSWORD = "https://localhost/chat/", "geheim123"  # Bernd's nickname is registered with it
SECOND, RELAY = "127.0.0.2", "127.0.0.3"  # Bernd comes from SECOND when he connects to RELAY
DEADLINE = time.monotonic() + 200.0  # for the whole test
MEMBERS = "return Array.from(document.querySelectorAll('#vc-members li'), li => li.dataset.nickname);"

def wait_for(what, probe, patience=15.0):
    end = min(time.monotonic() + patience, DEADLINE)
    while time.monotonic() < end:
        with contextlib.suppress(WebDriverException, OSError):
            if probe():
                return
        time.sleep(0.1)
    raise AssertionError("timed out waiting for " + what)

def read(path):
    return open(path, encoding="latin-1").read() if os.path.exists(path) else ""

def write(path, text, replacements=()):  # each (shipped, here) pair must be in the text
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
        run.ends.callback(lambda: print("--- daemon log ---\n" + read(self.log)))
        run.ends.callback(lambda: self.pid and self.stop())
        self.start()

    def start(self):
        starts = read(self.log).count("daemon started")
        subprocess.run(self.command[::2], cwd=self.scratch, timeout=10, check=True, capture_output=True)
        wait_for("the daemon's start", lambda: read(self.log).count("daemon started") > starts, 10)
        self.pid = int(read(self.log).rsplit("daemon started (pid: ", 1)[1].split(")")[0])
        listening(1612, 1613, 1614)

    def stop(self):
        os.kill(self.pid, signal.SIGTERM)
        self.pid, starts = None, read(self.log).count("daemon started")
        wait_for("a smooth shutdown", lambda: read(self.log).count("smooth shutdown") >= starts, 10)

def start_nginx(run):
    """nginx with the shipped site, a new certificate and the client's files pointed at the stream
    beside them. One process in front: in the namespace's user mapping workers could not switch users."""
    scratch, etc = run.scratch, run.source + "/etc"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
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
    nginx = subprocess.Popen(["/usr/sbin/nginx", "-e", scratch + "/error.log", "-p", scratch, "-c", "nginx.conf"])
    run.ends.callback(lambda: nginx.terminate() or nginx.wait(10))
    listening(443)

class Browser:
    """One visitor's page in headless Chromium, reaching localhost at `address`."""

    def __init__(self, run, name, address):
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        options.page_load_strategy = "none"  # the stream in its frame never finishes loading
        for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
                         "--window-size=1100,720", "--no-first-run", "--disable-background-networking",
                         "--ignore-certificate-errors", "--host-resolver-rules=MAP localhost " + address):
            options.add_argument(argument)
        self.name, self.driver = name, webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        run.ends.callback(self.driver.quit)  # after the screenshot: the ends run last first
        run.ends.callback(lambda: self.driver.save_screenshot("%s/%s.png" % (run.artifacts, name)))

    def element(self, element_id):
        return self.driver.find_element("id", element_id)

    def js(self, script, in_stream=False):  # what `script` returns in the page or in the stream's frame
        in_stream and self.driver.switch_to.frame(self.element("vc-stream"))
        try:
            return self.driver.execute_script(script)
        finally:
            self.driver.switch_to.default_content()

    def log_in(self, password=""):
        self.driver.get(PAGE)
        wait_for("%s: the focus in the log-in form" % self.name,
                 lambda: self.js("return document.activeElement.id;") == "vc-nickname")
        self.element("vc-nickname").send_keys(self.name)
        self.element("vc-password").send_keys(password + Keys.ENTER)
        # The stream from the page's origin; its script, named with "http://", comes over HTTPS all the same.
        wait_for("%s: the stream from %sstream/web/ and its script" % (self.name, PAGE),
                 lambda: self.js("return document.getElementById('vc-stream').src;").startswith(PAGE + "stream/web/")
                 and self.js("return typeof window.autoscroll === 'function';", True))

    def say(self, line):
        self.element("vc-line").send_keys(line + Keys.ENTER)

    def sees(self, html):
        wait_for("%s: %r in the stream" % (self.name, html),
                 lambda: html in self.js("return document.documentElement.innerHTML;", True))

def body(run):
    """Log-in, a line, the forwarded address and a restart, step by step."""
    daemon = Daemon(run)
    start_nginx(run)
    subprocess.run(["ip", "route", "add", "local", RELAY, "dev", "lo", "src", SECOND, "table", "local"], check=True)
    anna, bernd = Browser(run, "Anna", "127.0.0.1"), Browser(run, "Bernd", RELAY)
    anna.log_in()
    bernd.log_in(PASSWORD)
    wait_for("both in both lists", lambda: anna.js(MEMBERS) == bernd.js(MEMBERS) == ["Anna", "Bernd"])
    # UTF-8 in the browser, ISO-8859-15 in the server: the dash is not in it.
    bernd.say("Grüße aus Köln, das Bier kostet 3 € – ok?")
    anna.sees("Grüße aus Köln, das Bier kostet 3 € ? ok?")
    bernd.say(".u Bernd")
    bernd.sees("IP: %s;" % SECOND)  # as nginx forwards it
    # The daemon restarts: each page comes back by itself to its room, Bernd's with his password.
    anna.say(".go Technik")
    wait_for("Anna in Technik", lambda: anna.element("vc-room").text == "Technik")
    daemon.stop()
    daemon.start()
    for visitor, room in ((anna, "Technik"), (bernd, "Lobby")):
        wait_for("%s back in %s" % (visitor.name, room), lambda: "wieder da" in visitor.element("vc-status").text
                 and visitor.element("vc-room").text == room)

if __name__ == "__main__":
    # In the test command's namespace: body(), then `run.ends`, last first; any exception fails the test.
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    binary, source, artifacts = sys.argv[1:]
    os.makedirs(artifacts, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="vcd-browser-") as scratch, contextlib.ExitStack() as ends:
        body(type("run", (), dict(binary=binary, source=source, artifacts=artifacts, scratch=scratch, ends=ends)))
    print("PASS")
