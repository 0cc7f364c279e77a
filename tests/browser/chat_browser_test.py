#!/usr/bin/python3
"""Two visitors chat through the web client in headless Chromium against the daemon on the bundled
configuration: log-in, both character sets, rooms by command, icon and password, the input line's
history and completion, the menu and a registration, the page on a phone, a hidden page's
count of unread lines and its notifications, and which ends of a connection the page comes
back from by itself (a time-out while another session holds the nickname, a restart) and which not
(a kick, a ban, the visitor's own stop)."""

import socket
import sys
import time

sys.dont_write_bytecode = True
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
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
    phone(anna)  # while the time-out runs
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

# The page's width and scroll width, and the boxes of the controls that matter on a phone.
BOXES = """return {width: innerWidth, height: innerHeight, scroll: document.documentElement.scrollWidth,
    boxes: Object.fromEntries(arguments[0].map(id => { const e = document.getElementById(id);
        const r = e.getBoundingClientRect(); return [id, {left: r.left, right: r.right, top: r.top,
        bottom: r.bottom, width: r.width, height: r.height, shown: e.offsetParent !== null}]; }))};"""
CONTROLS = ["vc-line", "vc-send", "vc-menu-toggle", "vc-members-toggle", "vc-side", "vc-leave", "vc-stream"]


def phone(anna):
    """At a phone's size nothing is wider than the screen (long words wrap in the stream), the bar's
    controls are in view and large enough to touch, the member list and the menu open over the chat,
    and Escape closes the menu with the focus back on its button."""
    anna.say("Langes" * 30 + " http://example.org/" + "pfad/" * 30)
    anna.wait_stream("LangesLanges")
    for width, height in ((390, 844), (320, 640)):
        anna.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                    {"width": width, "height": height, "deviceScaleFactor": 2, "mobile": True})
        sized = lambda p: p["width"] == width and p["height"] == height and p  # noqa: E731
        page = wait_for("the page at %dx%d" % (width, height), lambda: sized(anna.js(BOXES, CONTROLS)))
        boxes = page["boxes"]
        assert page["scroll"] <= width and anna.in_stream("const d = document.documentElement;"
                                                          "return d.scrollWidth <= d.clientWidth;"), \
            "%d wide: the page or the stream scrolls sideways" % width
        for control in ("vc-line", "vc-send", "vc-menu-toggle", "vc-members-toggle"):
            box = boxes[control]
            assert box["shown"] and box["left"] >= 0 and box["right"] <= width and box["bottom"] <= height \
                and min(box["width"], box["height"]) >= 44, "%d wide: %s %s" % (width, control, box)
        assert not boxes["vc-side"]["shown"] and not boxes["vc-leave"]["shown"], "a panel open from the start"
        for toggle, panel, close in (("vc-members-toggle", "vc-side", "vc-members-close"),
                                     ("vc-menu-toggle", "vc-leave", Keys.ESCAPE)):
            anna.element(toggle).click()
            opened = wait_for("%s opens" % panel, lambda: anna.shown(panel) and anna.js(BOXES, [panel])["boxes"][panel])
            assert opened["left"] >= 0 and opened["right"] <= width, "%d wide: %s %s" % (width, panel, opened)
            if close == Keys.ESCAPE:
                ActionChains(anna.driver).send_keys(Keys.ESCAPE).perform()
            else:
                anna.element(close).click()
            wait_for("%s closes" % panel, lambda: not anna.shown(panel))
        assert anna.focused() == "vc-menu-toggle", "Escape leaves the focus on the menu button"
        # Each phone size starts from the desktop, as a page opened on that phone would.
        anna.driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})
    wait_for("the desktop again: member list beside the chat, no member button",
             lambda: anna.shown("vc-side") and anna.shown("vc-leave") and not anna.shown("vc-members-toggle"))


def attention(anna, bernd):
    """A hidden page counts unread lines in its title and raises a notification for a whisper and for
    a line naming the visitor; shown again, it clears the count."""
    anna.driver.execute_cdp_cmd("Browser.grantPermissions", {"origin": PAGE.rstrip("/"),
                                                             "permissions": ["notifications"]})
    anna.js("""window.vcNotices = []; const Real = Notification;
               window.Notification = class extends Real { constructor(title, options) {
                   vcNotices.push(title + ': ' + options.body); super(title, options); } };
               Object.defineProperty(document, 'hidden', {configurable: true, get: () => true});
               Object.defineProperty(document, 'visibilityState', {configurable: true, get: () => 'hidden'});
               document.dispatchEvent(new Event('visibilitychange'));""")
    for line in ("hört jemand zu?", "Anna, bist du da?", ".w Anna psst"):
        bernd.say(line)
    wait_for("three unread in the title", lambda: anna.driver.title == "(3) vorta chat")
    notices = wait_for("two notifications", lambda: len(anna.js("return vcNotices;")) == 2 and anna.js("return vcNotices;"))
    assert "Anna, bist du da?" in notices[0] and "psst" in notices[1], notices
    anna.js("""delete document.hidden; delete document.visibilityState;
               document.dispatchEvent(new Event('visibilitychange'));""")
    wait_for("the title without count", lambda: anna.driver.title == "vorta chat")


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
    attention(anna, bernd)
    restart(daemon, anna, bernd)
    thrown_out(anna, bernd)


if __name__ == "__main__":
    sys.exit(run_test("vcd-browser-", body))
