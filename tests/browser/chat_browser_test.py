#!/usr/bin/python3
"""Two visitors chat through the web client in headless Chromium against the daemon on the bundled
configuration: log-in, both character sets, rooms by command, icon and password, the input line's
history and completion, the menu and a registration, and which ends of a connection the page comes
back from by itself (a time-out while another session holds the nickname, a restart) and which not
(a kick, a ban, the visitor's own stop)."""

import socket
import sys
import time

sys.dont_write_bytecode = True
from browser_fixture import PATIENCE, Browser, Daemon, Keys, run_test, wait_for  # noqa: E402

PAGE = "http://localhost:1614/"
PASSWORD = "geheim123"    # Bernd registers his nickname with it
TIMEOUT_PATIENCE = 100.0  # five heartbeat ticks of twelve seconds, and some
STALE_PATIENCE = 60.0     # two heartbeat ticks and a retry, on a busy machine


def chat(anna, bernd):
    """Log-in, a line across both character sets, rooms by command, by icon and with a password."""
    for visitor, nickname in ((anna, "Anna"), (bernd, "Bernd")):
        visitor.open()
        visitor.log_in(nickname)
    wait_for("both in both lists", lambda: anna.members() == bernd.members() == ["Anna", "Bernd"])
    # UTF-8 in the browser, ISO-8859-15 in the server: the dash is not in it.
    bernd.say("Grüße aus Köln, das Bier kostet 3 € – ok?")
    anna.wait_stream("Grüße aus Köln, das Bier kostet 3 € ? ok?")
    assert bernd.focused() == "vc-line", "the focus stays in the input line"

    bernd.say(".go Technik")
    wait_for("Bernd alone in Technik", lambda: bernd.text("vc-room") == "Technik"
             and bernd.members() == ["Bernd"] and anna.members() == ["Anna"])
    anna.say(".rooms")
    anna.wait_stream("on_icon_click(this, 'go', '.g Technik')")
    # The icons act on mouse down, as the server's HTML says.
    anna.in_stream("[...document.querySelectorAll(arguments[0])].pop().dispatchEvent(new MouseEvent('mousedown'));",
                   """img[onmousedown*="'.g Technik'"]""")
    wait_for("Anna in Technik by the icon", lambda: bernd.members() == ["Bernd", "Anna"]
             and anna.text("vc-room") == "Technik" and anna.focused() == "vc-line")

    anna.say(".newroom Geheim")
    anna.say(".setpassword sesam")
    anna.wait_stream("roomSetPassword")
    bernd.say(".go Geheim")
    wait_for("Bernd's password prompt", lambda: bernd.focused() == "vc-prompt-value")
    assert "Geheim" in bernd.text("vc-prompt-label"), "the prompt names the room"
    bernd.element("vc-prompt-value").send_keys("sesam" + Keys.ENTER)
    wait_for("Bernd in Geheim", lambda: bernd.text("vc-room") == "Geheim"
             and anna.members() == ["Anna", "Bernd"])


def typing(anna, bernd):
    """The arrow keys walk through the lines sent; Tab completes a nickname or, on an empty line, moves on."""
    line = bernd.element("vc-line")
    for keys, value in ((Keys.ARROW_UP, ".go Geheim"), (Keys.ARROW_UP, ".go Technik"), (Keys.ARROW_DOWN * 2, ""),
                        ("an" + Keys.TAB, "Anna: ")):
        line.send_keys(keys)
        held = line.get_attribute("value")
        assert held == value and bernd.focused() == "vc-line", "after %r the line holds %r" % (keys, held)
    line.send_keys("kommst du?" + Keys.ENTER)
    anna.wait_stream("Anna: kommst du?")
    line.send_keys(Keys.TAB)
    assert bernd.focused() != "vc-line", "Tab on an empty line keeps the focus"


# A menu entry, the answer to its prompt, the line the page sends then and what its status says.
MENU = [("vc-look", None, 'TXT ".newmode"', ""), ("vc-skins", None, 'TXT ".newskin"', ""),
        ("vc-register", "kurz", None, "mindestens 8 Zeichen"),
        ("vc-register", "mit Leerzeichen", None, "keine Leerzeichen"),
        ("vc-register", PASSWORD, 'TXT ".register %s"' % PASSWORD, "")]


def menu(bernd):
    """The menu's entries send their commands; a password the server would refuse stays on the page."""
    bernd.js("""window.vcSent = [];
                var send = WebSocket.prototype.send;
                WebSocket.prototype.send = function (line) { vcSent.push(line); return send.call(this, line); };""")
    for entry, answer, line, told in MENU:
        bernd.js("vcSent = [];")
        bernd.element("vc-menu-toggle").click()
        wait_for("the menu entry %s" % entry, lambda: bernd.shown(entry))
        bernd.element(entry).click()
        if answer is not None:
            wait_for("the prompt of %s" % entry, lambda: bernd.focused() == "vc-prompt-value")
            bernd.element("vc-prompt-value").send_keys(answer + Keys.ENTER)
        wait_for("%s with %r: %s, %r" % (entry, answer, line, told),
                 lambda: bernd.js("return vcSent.filter(l => l != 'HTB');") == ([line] if line else [])
                 and told in bernd.text("vc-status") and bernd.focused() == "vc-line")
    bernd.wait_stream('class="actionRegister"')


def frozen(anna, bernd):
    """Bernd's page freezes and times out, and a line session takes his nickname. Running again, it waits
    for the nickname, takes it over with his password once that session times out too, and rejoins."""
    bernd.driver.execute_cdp_cmd("Page.setWebLifecycleState", {"state": "frozen"})
    wait_for("Bernd's time-out", lambda: anna.members() == ["Anna"], TIMEOUT_PATIENCE)
    holder = socket.create_connection(("127.0.0.1", 1612), timeout=5)
    holder.sendall(b'LGN "vcp2" "Bernd" "%s" "" "10.0.0.3" "Line" "" "" "false"\n' % PASSWORD.encode())
    lines = holder.makefile("rb")
    challenge = int(next(reply for reply in lines if reply.startswith(b"CNT ")).split(b'"')[7])  # its 4th value
    holder.sendall(b'AUT "%d"\n' % (challenge ^ 0x3C96))
    next(reply for reply in lines if reply.startswith(b"NRM "))
    bernd.driver.execute_cdp_cmd("Page.setWebLifecycleState", {"state": "active"})
    for told, patience in (("unterbrochen", PATIENCE), ("belegt", PATIENCE), ("wieder da", STALE_PATIENCE)):
        wait_for("Bernd's page: %s" % told, lambda: told in bernd.text("vc-status"), patience)
    wait_for("Bernd back in Geheim", lambda: bernd.text("vc-room") == "Geheim"
             and anna.members() == ["Anna", "Bernd"])


def restart(daemon, anna, bernd):
    """The daemon restarts: Anna's page comes back by itself; Bernd stops his and logs in with his password."""
    anna.say(".go Technik")
    wait_for("Anna in Technik", lambda: anna.text("vc-room") == "Technik")
    daemon.stop()
    wait_for("Bernd's page offers to stop trying", lambda: bernd.shown("vc-reconnect-cancel"))
    bernd.element("vc-reconnect-cancel").click()
    wait_for("Bernd's page stops trying", lambda: bernd.shown("vc-login"))
    daemon.start()
    wait_for("Anna back in Technik", lambda: "wieder da" in anna.text("vc-status")
             and anna.text("vc-room") == "Technik")
    assert (bernd.shown("vc-login") and not bernd.shown("vc-reconnect-cancel")
            and anna.members() == ["Anna"]), "Bernd's page came back after he stopped it"
    bernd.log_in("Bernd", "Technik", PASSWORD)
    wait_for("Bernd in Anna's list", lambda: anna.members() == ["Anna", "Bernd"])


def thrown_out(anna, bernd):
    """Kicked or banned, a visitor stays out; after a kick he may log in again. The ban, stored, comes last."""
    anna.say(".newroom Raus")
    wait_for("Anna's room Raus", lambda: anna.text("vc-room") == "Raus")
    bernd.say(".go Raus")
    for command, told in ((".kick Bernd", "gekickt"), (".ban Bernd 1", "verbannt")):
        if bernd.shown("vc-login"):
            bernd.log_in("Bernd", "Raus", PASSWORD)
        wait_for("Bernd in Raus", lambda: anna.members() == ["Anna", "Bernd"])
        anna.say(command)
        wait_for("Bernd's page tells of %s" % command, lambda: told in bernd.text("vc-status"))
        time.sleep(3)
        assert (bernd.shown("vc-login") and not bernd.shown("vc-reconnect-cancel")
                and anna.members() == ["Anna"]), "Bernd's page tries to come back after %s" % command


def body(run):
    daemon = Daemon(run, "4 4 0 0 0 10 0 5 0 0 0")  # visitors may ban for five minutes
    anna, bernd = Browser(run, "anna", PAGE), Browser(run, "bernd", PAGE)
    chat(anna, bernd)
    typing(anna, bernd)
    menu(bernd)
    frozen(anna, bernd)
    restart(daemon, anna, bernd)
    thrown_out(anna, bernd)


if __name__ == "__main__":
    sys.exit(run_test("vcd-browser-", body))
