#!/usr/bin/python3
"""Two visitors chat over HTTPS through nginx with the shipped site (etc/nginx/vcd.conf) and a
certificate made for the run: the page talks WSS and shows the stream from its own origin. The
second visitor comes from 127.0.0.2, which nginx forwards: he finds it in his details, the first
visitor bans him, and the stored ban keeps him out.
"""

import os
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True
from browser_fixture import Browser, Daemon, read, run_test, wait_for, wait_listening, write  # noqa: E402

NGINX, OPENSSL = "/usr/sbin/nginx", "/usr/bin/openssl"
PAGE = "https://localhost/chat/"
SECOND, RELAY = "127.0.0.2", "127.0.0.3"  # Bernd comes from SECOND when he connects to RELAY


def patch(source, target, replacements):
    """Writes source to target with each (shipped, here) pair replaced; each must be in it."""
    text = read(source)
    for shipped, here in replacements:
        assert shipped in text, "%s does not name %s" % (source, shipped)
        text = text.replace(shipped, here)
    write(target, text)


def start_nginx(run):
    """nginx with the shipped site, a new certificate and the client's files pointed at the stream
    beside them; every file of its own under the scratch directory. One process that stays in front:
    in the namespace's user mapping workers could not switch users."""
    scratch = run.scratch
    www, key, certificate = scratch + "/www", scratch + "/privkey.pem", scratch + "/fullchain.pem"
    subprocess.run([OPENSSL, "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                    "-keyout", key, "-out", certificate, "-days", "2", "-subj", "/CN=localhost",
                    "-addext", "subjectAltName=DNS:localhost"], check=True, capture_output=True, timeout=30)
    shutil.copytree(os.path.join(run.source, "etc", "www"), www)
    patch(www + "/index.html", www + "/index.html", [('data-stream=""', 'data-stream="stream/"')])
    patch(os.path.join(run.source, "etc", "nginx", "vcd.conf"), scratch + "/site.conf", [
        ("chat.example.org", "localhost"), ("/etc/ssl/vcd/fullchain.pem", certificate),
        ("/etc/ssl/vcd/privkey.pem", key), ("/usr/local/share/vcd/www/", www + "/")])
    temp = "".join(" %s_temp_path %s;" % (kind, kind) for kind in ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
    write(scratch + "/nginx.conf", "user root root; master_process off; daemon off; pid nginx.pid;\n"
          "error_log error.log; events { worker_connections 256; }\nhttp { include /etc/nginx/mime.types;%s\n"
          "access_log access.log; include site.conf; }\n" % temp)
    nginx = subprocess.Popen([NGINX, "-e", scratch + "/error.log", "-p", scratch, "-c", "nginx.conf"])
    # The ends run last first: nginx stops, then its error log is shown.
    run.ends += [lambda: print("--- nginx error log ---\n" + read(scratch + "/error.log")),
                 lambda: nginx.terminate() or nginx.wait(10)]
    wait_listening(443)


def body(run):
    # Visitors may ban and see addresses; the client's files come from nginx.
    daemon = Daemon(run, "4 4 0 0 0 10 0 20 0 0 1", "all.www = localhost\nall.proxies = 127.0.0.1\nfile.www =\n")
    start_nginx(run)
    subprocess.run(["ip", "route", "add", "local", RELAY, "dev", "lo", "src", SECOND, "table", "local"], check=True)
    anna, bernd = (Browser(run, name, PAGE, "--ignore-certificate-errors", "--host-resolver-rules=MAP localhost "
                           + address) for name, address in (("https-anna", "127.0.0.1"), ("https-bernd", RELAY)))
    for visitor, nickname in ((anna, "Anna"), (bernd, "Bernd")):
        visitor.open()
        visitor.log_in(nickname)
        stream = visitor.js("return document.getElementById('vc-stream').src;")
        assert stream.startswith(PAGE + "stream/web/"), "%s: the stream comes from %s" % (nickname, stream)
        # The stream names its script with "http://"; it must come over HTTPS all the same.
        wait_for("%s: the stream's script" % nickname,
                 lambda: visitor.in_stream("return typeof window.autoscroll === 'function';"))
    bernd.say("Grüße über HTTPS")
    anna.wait_stream("Grüße über HTTPS")
    # The daemon sees Bernd at the address that nginx forwards, and bans that address.
    bernd.say(".u Bernd")
    bernd.wait_stream("IP: %s;" % SECOND)
    anna.say(".ban Bernd")
    wait_for("Bernd's page tells of the ban", lambda: "verbannt" in bernd.text("vc-status"))
    # The store keeps the ban on his forwarded address: he stays out under any nickname.
    bernd.open()
    bernd.log_in("Bernhard", welcome=False)
    wait_for("Bernd refused", lambda: "refused %s: banned address" % SECOND in read(daemon.log))
    assert "Bernhard" not in anna.members(), "Bernd came back as Bernhard"


if __name__ == "__main__":
    sys.exit(run_test("vcd-https-", body, NGINX, OPENSSL))
