#!/usr/bin/python3
"""Two visitors chat over HTTPS through nginx in headless Chromium.

Runs the daemon on the bundled configuration and, in front of it, nginx with
the shipped site (etc/nginx/vcd.conf) and a certificate made for this run,
inside the private network namespace that the test command gives it. Both
visitors open https://localhost/chat/; the page talks to the daemon over WSS
and shows the stream from the same origin. The second visitor reaches nginx
through a relay that connects from 127.0.0.2, so nginx forwards that address;
he finds it in his own details, and the first visitor bans him. Certificate
errors are ignored by these two browser profiles only.

Usage: https_browser_test.py VCD_BINARY SOURCE_DIR ARTIFACT_DIR
"""

import os
import shutil
import socket
import subprocess
import sys
import threading

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import chat_browser_test as base  # noqa: E402  (the shared visitors and daemon)
from chat_browser_test import Failure, check, wait_for  # noqa: E402

NGINX = "/usr/sbin/nginx"
OPENSSL = "/usr/bin/openssl"
PAGE = "https://localhost/chat/"
SECOND_VISITOR = "127.0.0.2"  # the address the second visitor comes from
RELAY = "127.0.0.3"           # where his browser finds "localhost"


def run(command):
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=30)
    check(done.returncode == 0, "%s failed: %s" % (command[0], done.stdout.decode(errors="replace")))


def make_certificate(scratch):
    key, certificate = os.path.join(scratch, "privkey.pem"), os.path.join(scratch, "fullchain.pem")
    run([OPENSSL, "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
         "-keyout", key, "-out", certificate, "-days", "2", "-subj", "/CN=localhost",
         "-addext", "subjectAltName=DNS:localhost"])
    return key, certificate


def client_files(source, scratch):
    """The client's files, with the page pointed at the stream beside it."""
    www = os.path.join(scratch, "www")
    shutil.copytree(os.path.join(source, "etc", "www"), www)
    index = os.path.join(www, "index.html")
    with open(index, encoding="utf-8") as f:
        page = f.read()
    check('data-stream=""' in page, "index.html has no data-stream attribute")
    with open(index, "w", encoding="utf-8") as f:
        f.write(page.replace('data-stream=""', 'data-stream="stream/"'))
    return www + "/"


class Nginx:
    """nginx with the shipped site, every file of its own under the scratch directory."""

    def __init__(self, source, scratch):
        self.prefix = os.path.join(scratch, "nginx")
        os.makedirs(self.prefix)
        key, certificate = make_certificate(scratch)
        with open(os.path.join(source, "etc", "nginx", "vcd.conf"), encoding="utf-8") as f:
            site = f.read()
        # HTTPS on 127.0.0.1 only: the relay takes port 443 of another address.
        for shipped, here in (("chat.example.org", "localhost"), ("listen 443 ssl;", "listen 127.0.0.1:443 ssl;"),
                              ("/etc/ssl/vcd/fullchain.pem", certificate),
                              ("/etc/ssl/vcd/privkey.pem", key),
                              ("/usr/local/share/vcd/www/", client_files(source, scratch))):
            check(shipped in site, "the shipped site does not name %s" % shipped)
            site = site.replace(shipped, here)
        with open(os.path.join(self.prefix, "site.conf"), "w", encoding="utf-8") as f:
            f.write(site)
        self.error_log = os.path.join(self.prefix, "error.log")
        self.access_log = os.path.join(self.prefix, "access.log")
        temp = "".join("    %s_temp_path %s;\n" % (kind, os.path.join(self.prefix, kind))
                       for kind in ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
        # One process that stays in front: inside the namespace's user mapping
        # workers could not switch users.
        with open(os.path.join(self.prefix, "nginx.conf"), "w", encoding="utf-8") as f:
            f.write("user root root;\nmaster_process off;\ndaemon off;\npid %s;\nerror_log %s;\n"
                    "events { worker_connections 256; }\n"
                    "http {\n    include /etc/nginx/mime.types;\n    access_log %s;\n%s"
                    "    include %s;\n}\n" % (os.path.join(self.prefix, "nginx.pid"), self.error_log,
                                             self.access_log, temp, os.path.join(self.prefix, "site.conf")))
        self.process = subprocess.Popen([NGINX, "-e", self.error_log, "-p", self.prefix,
                                         "-c", os.path.join(self.prefix, "nginx.conf")])
        try:
            base.wait_listening(443)
        except Failure:
            raise Failure("nginx did not start: %s" % self.text(self.error_log))

    @staticmethod
    def text(path):
        try:
            with open(path, encoding="utf-8", errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def finish(self, failed):
        """Stops nginx; its error log is shown when the test failed."""
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        if failed:
            print("--- nginx error log ---\n" + self.text(self.error_log))
        return failed


class Relay:
    """Passes every connection to `listen` on to 127.0.0.1:443 from `source`:
    to nginx, the browser behind it is a visitor at that address."""

    def __init__(self, listen, source):
        self.server = socket.create_server((listen, 443))
        self.source = source
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            try:
                client, _ = self.server.accept()
                upstream = socket.create_connection(("127.0.0.1", 443), timeout=5, source_address=(self.source, 0))
                upstream.settimeout(None)
            except OSError:
                return
            for reader, writer in ((client, upstream), (upstream, client)):
                threading.Thread(target=self.pipe, args=(reader, writer), daemon=True).start()

    @staticmethod
    def pipe(reader, writer):
        try:
            while True:
                data = reader.recv(65536)
                if not data:
                    break
                writer.sendall(data)
        except OSError:
            pass
        try:
            writer.shutdown(socket.SHUT_WR)
        except OSError:
            pass

    def close(self):
        self.server.close()


def frame_address(visitor):
    return visitor.driver.execute_script("return document.getElementById('vc-stream').src;")


def stream_has_script(visitor):
    """The stream's script, named with "http://", came over HTTPS."""
    return visitor.in_stream("return typeof window.autoscroll === 'function';")


def chat(daemon, nginx, anna, bernd):
    anna.open()
    anna.log_in("Anna")
    bernd.open()
    bernd.log_in("Bernd")
    wait_for("Anna sees Bernd arrive", lambda: "Bernd" in anna.members())
    for visitor in (anna, bernd):
        check(frame_address(visitor).startswith(PAGE + "stream/web/"),
              "%s: the stream comes from %s" % (visitor.name, frame_address(visitor)))
        wait_for("%s: the stream's script" % visitor.name, lambda v=visitor: stream_has_script(v))

    bernd.say("Grüße über HTTPS")
    anna.wait_stream("Anna reads Bernd's line", "Grüße über HTTPS")
    bernd.wait_stream("Bernd reads his own line", "Grüße über HTTPS")

    # The daemon sees each visitor at the address that nginx forwards, and
    # that address is the one a ban of the session names.
    bernd.say(".u Bernd")
    bernd.wait_stream("Bernd's address in his details", "IP: %s;" % SECOND_VISITOR)
    anna.say(".u Anna")
    anna.wait_stream("Anna's address in her details", "IP: 127.0.0.1;")
    anna.say(".ban Bernd")
    anna.wait_stream("the ban", "Bernd wird für 15 Minuten gebannt.")
    wait_for("Bernd's page tells of the ban", lambda: "verbannt" in bernd.element("vc-status").text)

    # Bernd's page closed its WebSocket and its stream, which nginx logs as
    # they end: both went through it, from his address.
    def logged(request):
        return any(line.startswith(SECOND_VISITOR + " ") and request in line
                   for line in nginx.text(nginx.access_log).splitlines())
    wait_for("Bernd's WebSocket in nginx's log", lambda: logged('"GET /chat/ws HTTP/1.1" 101 '))
    wait_for("Bernd's stream in nginx's log", lambda: logged('"GET /chat/stream/web/'))

    # The store keeps the ban on his forwarded address: through nginx he
    # stays out under any nickname.
    bernd.open()
    for field, value in (("vc-nickname", "Bernhard"), ("vc-password", "")):
        bernd.element(field).clear()
        bernd.element(field).send_keys(value)
    bernd.element("vc-enter").click()
    wait_for("Bernd refused at his address",
             lambda: "refused %s: banned address" % SECOND_VISITOR in nginx.text(daemon.log))
    check("Bernhard" not in anna.members(), "Bernd came back as Bernhard")


def main():
    base.PAGE = PAGE

    def body(binary, source, artifacts, scratch, ends):
        ranks = os.path.join(scratch, "permissions.conf")
        with open(ranks, "w", encoding="latin-1") as f:
            f.write("visitor Visitor 4 4 0 0 0 10 0 20 0 0 1\n")  # may ban, sees addresses
        daemon = base.Daemon(binary, source, scratch, "all.www = localhost\nall.proxies = 127.0.0.1\n"
                             "file.permissions = %s\nfile.www =\n" % ranks)
        ends.append(daemon.finish)
        nginx = Nginx(source, scratch)
        ends.append(nginx.finish)
        relay = Relay(RELAY, SECOND_VISITOR)
        ends.append(lambda failed: relay.close() or failed)
        insecure = ["--ignore-certificate-errors"]
        anna = base.BrowserVisitor("https-anna", insecure + ["--host-resolver-rules=MAP localhost 127.0.0.1"])
        ends.append(base.visitor_end(anna, artifacts))
        bernd = base.BrowserVisitor("https-bernd", insecure + ["--host-resolver-rules=MAP localhost " + RELAY])
        ends.append(base.visitor_end(bernd, artifacts))
        chat(daemon, nginx, anna, bernd)
    return base.run_test(__doc__, (base.CHROMIUM, base.CHROMEDRIVER, NGINX, OPENSSL), "vcd-https-", body)


if __name__ == "__main__":
    sys.exit(main())
