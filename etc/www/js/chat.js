/*
 * The chat's one script, for its two pages.
 *
 * In the chat page (index.html) it is the client: it logs in over a WebSocket
 * that carries the server's line protocol (one line per text message), opens
 * the chat stream in a frame, keeps the member list, asks for nicknames and
 * passwords when the server wants them, and sends what the visitor types.
 *
 * In the stream (the endless page that the server writes into the frame) it
 * defines the functions that the server's HTML calls: autoscroll, on_icon_click,
 * on_icon_over, on_icon_out, on_mode_change and on_skin_change. The stream
 * comes from another port, so another origin: it reaches the chat page only
 * through postMessage, and each side checks who sent what it receives.
 */
(function () {
    'use strict';

    // ---- the line protocol ------------------------------------------------

    var PROTOCOL = 'vcp2';
    var CHALLENGE_KEY = 0x3C96;
    // What the page reports as its internal address; the stream path repeats it.
    var INTERNAL_ADDRESS = 'web';
    // The longest line the server takes, line feed excluded.
    var MAX_LINE = 1024;
    // The server expects a heartbeat within five ticks of twelve seconds.
    var HEARTBEAT_MS = 20000;
    // A session that missed two heartbeat ticks of twelve seconds gives its
    // nickname to a new log-in, one that missed five is gone. A returning page
    // asks for its nickname this long, every few seconds, before it asks the
    // visitor.
    var NICKNAME_WAIT_MS = 90000;
    var NICKNAME_RETRY_STEPS = 3;  // at most 2^3 seconds between two tries
    // The passwords that ".register" accepts.
    var MIN_PASSWORD = 8;
    var MAX_PASSWORD = 15;

    function escapeValue(value) {
        return String(value).replace(/[\\"']/g, '\\$&');
    }

    function protoLine(verb, values) {
        var line = verb;
        for (var i = 0; i < values.length; i++) line += ' "' + escapeValue(values[i]) + '"';
        return line;
    }

    // The values of a line: each opens with a blank and a double quote and
    // ends at the next double quote that no backslash escapes.
    function protoValues(line) {
        var values = [];
        var at = 3;
        for (;;) {
            var open = line.indexOf(' "', at);
            if (open < 0) return values;
            var value = '';
            var i = open + 2;
            for (; i < line.length && line.charAt(i) !== '"'; i++) {
                if (line.charAt(i) === '\\' && i + 1 < line.length) i++;
                value += line.charAt(i);
            }
            values.push(value);
            at = i + 1;
        }
    }

    // ---- the icons of the stream, in either page ----------------------------

    // "info.svg" with the suffix "_over" is "info_over.svg".
    function iconVariant(src, suffix) {
        return src.replace(/(_over|_clicked)?(\.[A-Za-z]+)$/, suffix + '$2');
    }

    var client = null;  // the chat page's client, when this is the chat page
    var stream = null;  // the stream's link to the chat page, when this is the stream

    function sendCommand(line) {
        if (client) {
            client.say(line);
        } else if (stream) {
            stream.post({ vorta: 'command', line: line });
        }
    }

    window.on_icon_over = function (element) {
        element.src = iconVariant(element.src, '_over');
    };
    window.on_icon_out = function (element) {
        element.src = iconVariant(element.src, '');
    };
    window.on_icon_click = function (element, id, command) {
        element.src = iconVariant(element.src, '_clicked');
        sendCommand(command);
    };
    window.on_mode_change = function (mode) {
        sendCommand('.newmode ' + mode);
    };
    window.on_skin_change = function (skin) {
        sendCommand('.newskin ' + skin);
    };

    // Keeps the newest line in view while the page grows.
    var scrolling = false;
    var scrollTimer = null;
    window.autoscroll = function (on) {
        scrolling = !!on;
        if (scrolling && scrollTimer === null) {
            scrollTimer = window.setInterval(function () {
                var page = document.scrollingElement || document.body;
                if (!scrolling || !page) return;
                if (page.scrollTop + window.innerHeight < page.scrollHeight) page.scrollTop = page.scrollHeight;
            }, 200);
        }
    };

    // ---- lines of the chat, in either page --------------------------------------

    // What one line of the chat says: the classes of its elements, the text of
    // its speaker's part (the element whose class begins with "intern") and its
    // whole text. The page decides with it what deserves the visitor's attention.
    function lineInfo(nodes) {
        var kinds = [];
        var lead = '';
        var text = '';
        nodes.forEach(function (node) {
            if (node.nodeType === 1) {
                var named = [node].concat(Array.prototype.slice.call(node.querySelectorAll('[class]')));
                named.forEach(function (element) {
                    var kind = element.getAttribute('class');
                    if (!kind) return;
                    kinds.push(kind);
                    if (!lead && kind.indexOf('intern') === 0 && kind !== 'internMessageId') {
                        lead = element.textContent.trim();
                    }
                });
            }
            text += node.textContent;
        });
        return { kinds: kinds, lead: lead, text: text.replace(/\s+/g, ' ').trim() };
    }

    // Cuts the children of a container into lines: a line ends at a line break
    // (chat lines are spans closed by one) or is a block of its own (notices).
    // Calls report(nodes) for each complete line from "after" on and returns the
    // last node that belongs to a complete line.
    function splitLines(container, after, report) {
        var node = after ? after.nextSibling : container.firstChild;
        var pending = [];
        var done = after;
        for (; node; node = node.nextSibling) {
            if (node.nodeType === 8 || node.classList && node.classList.contains('vc-unread')) {
                if (!pending.length) done = node;
                continue;
            }
            var block = node.nodeType === 1 && /^(DIV|P|TABLE|IFRAME|FORM|UL|OL|H\d)$/.test(node.nodeName);
            if (block && pending.length) {
                report(pending);
                pending = [];
            }
            pending.push(node);
            if (block || node.nodeName === 'BR') {
                report(pending);
                pending = [];
                done = node;
            }
        }
        return done;
    }

    function unreadMarker(doc) {
        var marker = doc.createElement('div');
        marker.className = 'vc-unread';
        marker.setAttribute('role', 'separator');
        marker.textContent = 'Neue Nachrichten';
        return marker;
    }

    // ---- the stream's side of the frame boundary ----------------------------

    function startStream() {
        // The chat page tells its origin in the fragment of the frame's address.
        var parentOrigin = '';
        try {
            parentOrigin = decodeURIComponent(window.location.hash.slice(1));
        } catch (e) {
            parentOrigin = '';
        }
        if (!/^https?:\/\/[^\/]+$/.test(parentOrigin) && document.referrer) {
            parentOrigin = new URL(document.referrer).origin;
        }
        stream = {
            post: function (message) {
                if (parentOrigin) window.parent.postMessage(message, parentOrigin);
            }
        };
        var markNext = false;  // the next line is the first one the visitor has not seen
        window.addEventListener('message', function (event) {
            if (event.source !== window.parent || event.origin !== parentOrigin) return;
            var data = event.data || {};
            if (data.vorta === 'autoscroll') {
                window.autoscroll(data.on);
            } else if (data.vorta === 'unread') {
                markNext = !!data.on;
            }
        });
        // Typing while the stream has the focus belongs to the input line.
        window.addEventListener('keydown', function (event) {
            if (event.key.length === 1 && !event.ctrlKey && !event.metaKey) stream.post({ vorta: 'focus' });
        });
        // Each complete line of the stream goes to the chat page. The parser may
        // add a fragment in pieces, so the lines are read a moment after it.
        var lastLine = null;
        var reading = null;
        function readLines() {
            reading = null;
            if (!document.body) return;
            lastLine = splitLines(document.body, lastLine, function (nodes) {
                var info = lineInfo(nodes);
                if (nodes[0].nodeName === 'IFRAME') {
                    stream.post({ vorta: 'killed' });
                    return;
                }
                if (!info.text) return;
                if (markNext) {
                    markNext = false;
                    var old = document.querySelector('.vc-unread');
                    if (old) old.remove();
                    document.body.insertBefore(unreadMarker(document), nodes[0]);
                }
                stream.post({ vorta: 'line', kinds: info.kinds, lead: info.lead, text: info.text });
            });
        }
        new MutationObserver(function (records) {
            records.forEach(function (record) {
                record.addedNodes.forEach(function (node) {
                    // A new style sheet in the stream (a changed skin) dresses the chat page too.
                    if (node.nodeName === 'LINK' && /stylesheet/i.test(node.rel)) {
                        stream.post({ vorta: 'skin', href: node.href });
                    }
                });
            });
            if (reading === null) reading = window.setTimeout(readLines, 40);
        }).observe(document.documentElement, { childList: true, subtree: true, characterData: true });
    }

    // ---- the chat page --------------------------------------------------------

    // How long the page waits before its next attempt to come back: 1, 2, 4, ...
    // up to 30 seconds, each spread by a fifth either way so that the pages of a
    // restarted server do not all knock at the same moment.
    function retryDelay(attempt) {
        var seconds = Math.min(30, Math.pow(2, attempt));
        return seconds * 1000 * (0.8 + 0.4 * Math.random());
    }

    function Client(root) {
        var self = this;
        var byId = function (id) { return document.getElementById(id); };
        var ui = {
            status: byId('vc-status'),
            cancel: byId('vc-reconnect-cancel'),
            login: byId('vc-login'),
            nickname: byId('vc-nickname'),
            password: byId('vc-password'),
            wantedRoom: byId('vc-wanted-room'),
            chat: byId('vc-chat'),
            where: byId('vc-where'),
            room: byId('vc-room'),
            frame: byId('vc-stream'),
            log: byId('vc-log'),
            side: byId('vc-side'),
            members: byId('vc-members'),
            membersToggle: byId('vc-members-toggle'),
            membersClose: byId('vc-members-close'),
            memberCount: byId('vc-member-count'),
            input: byId('vc-input'),
            line: byId('vc-line'),
            menuToggle: byId('vc-menu-toggle'),
            menu: byId('vc-menu'),
            colour: byId('vc-colour'),
            autoscroll: byId('vc-autoscroll'),
            leave: byId('vc-leave'),
            look: byId('vc-look'),
            skins: byId('vc-skins'),
            notify: byId('vc-notify'),
            register: byId('vc-register'),
            prompt: byId('vc-prompt'),
            promptLabel: byId('vc-prompt-label'),
            promptValue: byId('vc-prompt-value'),
            promptCancel: byId('vc-prompt-cancel'),
            skin: byId('vc-skin')
        };
        // The stream beside this page when a web server passes it on (data-stream),
        // else on its own port of the page's host.
        var streamBase = root.getAttribute('data-stream') ?
            new URL(root.getAttribute('data-stream'), window.location.href).href :
            window.location.protocol + '//' + window.location.hostname + ':' +
                (root.getAttribute('data-stream-port') || '1613') + '/';
        var streamOrigin = new URL(streamBase).origin;
        var socketAddress = root.getAttribute('data-socket') ||
            new URL('ws', window.location.href).href.replace(/^http/, 'ws');

        var socket = null;
        var heartbeat = null;
        var ended = true;
        var promptAnswer = null;  // sends the answer of the open prompt

        // The session the page comes back to after a lost connection. The
        // passwords live here, in memory, and nowhere else.
        var session = null;       // { nickname, password, room, roomPasswords }
        var inRoom = false;       // the server confirmed the log-in of this connection
        var returning = false;    // this connection is an attempt to come back
        var attempt = 0;          // attempts since the connection was lost
        var retryTimer = null;
        var finalWords = '';      // the stream told that the session ended for good
        var rejoining = '';       // the room a returning page asks for
        var nicknameTries = 0;    // the returning page asked again for its nickname ...
        var nicknameSince = 0;    // ... since this time
        var passwordSent = false; // the returning page answered "PWD" with the kept password
        var extSeen = false;      // the server sent "EXT" on this connection
        var shutdownSeen = false; // ... after telling that it goes down

        function setStatus(text, isError) {
            ui.status.textContent = text;
            ui.status.className = isError ? 'vc-error' : '';
        }

        function send(line) {
            if (socket && socket.readyState === WebSocket.OPEN) {
                socket.send(line);
                return true;
            }
            return false;
        }

        this.say = function (text) {
            var sent = inRoom && send(protoLine('TXT', [text]));
            if (!sent) setStatus('Nicht verbunden: die Zeile wurde nicht gesendet.', true);
            ui.line.focus();
            return sent;
        };

        // ---- prompts --------------------------------------------------------

        function ask(label, secret, answer, maxLength) {
            ui.promptLabel.textContent = label;
            ui.promptValue.type = secret ? 'password' : 'text';
            ui.promptValue.maxLength = maxLength || 20;
            ui.promptValue.value = '';
            ui.prompt.hidden = false;
            promptAnswer = answer;
            ui.promptValue.focus();
        }

        function closePrompt() {
            ui.prompt.hidden = true;
            ui.promptValue.value = '';
            promptAnswer = null;
            if (!ended) ui.line.focus();
        }

        ui.prompt.addEventListener('submit', function (event) {
            event.preventDefault();
            var answer = promptAnswer;
            var value = ui.promptValue.value;
            closePrompt();
            if (answer) answer(value);
        });
        ui.promptCancel.addEventListener('click', function () {
            closePrompt();
        });

        // ---- members ------------------------------------------------------------

        function memberItem(nickname) {
            var item = document.createElement('li');
            var button = document.createElement('button');
            button.type = 'button';
            button.textContent = nickname;
            button.title = 'Fl\u00fcstern';
            button.setAttribute('aria-label', 'Fl\u00fcstern mit ' + nickname);
            button.addEventListener('click', function () {
                ui.line.value = '.w ' + nickname + ' ';
                showMembers(false);
                ui.line.focus();
            });
            item.appendChild(button);
            item.setAttribute('data-nickname', nickname);
            return item;
        }

        function memberNames() {
            return Array.prototype.map.call(ui.members.children, function (item) {
                return item.getAttribute('data-nickname');
            });
        }

        function findMember(nickname) {
            var items = ui.members.children;
            for (var i = 0; i < items.length; i++) {
                if (items[i].getAttribute('data-nickname').toLowerCase() === nickname.toLowerCase()) return items[i];
            }
            return null;
        }

        function countMembers() {
            ui.memberCount.textContent = String(ui.members.children.length);
        }

        function addMember(nickname) {
            if (!findMember(nickname)) ui.members.appendChild(memberItem(nickname));
            countMembers();
        }

        function removeMember(nickname) {
            var item = findMember(nickname);
            if (item) item.remove();
            countMembers();
        }

        // On a narrow screen the member list is a panel over the chat.
        function showMembers(on) {
            ui.side.classList.toggle('vc-open', on);
            ui.membersToggle.setAttribute('aria-expanded', on ? 'true' : 'false');
            if (on) {
                var first = ui.members.querySelector('button') || ui.membersClose;
                first.focus();
            }
        }

        ui.membersToggle.addEventListener('click', function () {
            showMembers(!ui.side.classList.contains('vc-open'));
        });
        ui.membersClose.addEventListener('click', function () {
            showMembers(false);
            ui.membersToggle.focus();
        });

        // ---- the menu -------------------------------------------------------------

        var narrow = window.matchMedia('(max-width: 40em)');

        function showMenu(on) {
            ui.input.classList.toggle('vc-menu-open', on);
            ui.menuToggle.setAttribute('aria-expanded', on ? 'true' : 'false');
            if (on) {
                updateNotifyButton();
                // The narrow layout puts everything in the menu, the wide one the rest.
                (narrow.matches ? ui.colour : ui.menu.querySelector('.vc-menu-more a')).focus();
            }
        }

        ui.menuToggle.addEventListener('click', function () {
            showMenu(!ui.input.classList.contains('vc-menu-open'));
        });

        // Escape closes whatever is open over the chat.
        document.addEventListener('keydown', function (event) {
            if (event.key !== 'Escape') return;
            if (!ui.prompt.hidden) {
                closePrompt();
            } else if (ui.input.classList.contains('vc-menu-open')) {
                showMenu(false);
                ui.menuToggle.focus();
            } else if (ui.side.classList.contains('vc-open')) {
                showMembers(false);
                ui.membersToggle.focus();
            }
        });
        document.addEventListener('click', function (event) {
            if (ui.input.classList.contains('vc-menu-open') && !ui.menu.contains(event.target) &&
                !ui.menuToggle.contains(event.target)) {
                showMenu(false);
            }
        });

        // A menu entry that only sends a command.
        function menuCommand(button, line) {
            button.addEventListener('click', function () {
                showMenu(false);
                self.say(line);
            });
        }
        menuCommand(ui.look, '.newmode');
        menuCommand(ui.skins, '.newskin');

        // The password of a registration that the server has not confirmed
        // yet; once it has, a returning page logs in with it.
        var registering = '';

        ui.register.addEventListener('click', function () {
            showMenu(false);
            ask('Passwort f\u00fcr deinen Nickname (' + MIN_PASSWORD + ' bis ' + MAX_PASSWORD + ' Zeichen):', true,
                function (password) {
                    // The server takes one word, and no shorter one.
                    var refusal = password.length < MIN_PASSWORD
                        ? 'Das Passwort braucht mindestens ' + MIN_PASSWORD + ' Zeichen.'
                        : /\s/.test(password) ? 'Das Passwort darf keine Leerzeichen enthalten.' : '';
                    if (refusal) {
                        setStatus(refusal, true);
                        return;
                    }
                    if (self.say('.register ' + password)) registering = password;
                }, MAX_PASSWORD);
        });

        // ---- attention while the page is hidden --------------------------------------

        var TITLE = document.title;
        var unread = 0;

        function pageHidden() {
            return document.visibilityState === 'hidden';
        }

        function showTitle() {
            document.title = unread ? '(' + unread + ') ' + TITLE : TITLE;
        }

        function toStream(message) {
            if (ui.frame.contentWindow && !ui.frame.hidden) ui.frame.contentWindow.postMessage(message, streamOrigin);
        }

        function updateNotifyButton() {
            var state = window.Notification ? window.Notification.permission : 'denied';
            ui.notify.disabled = state !== 'default';
            ui.notify.textContent = state === 'granted' ? 'Benachrichtigungen sind erlaubt'
                : state === 'denied' ? 'Benachrichtigungen sind gesperrt' : 'Benachrichtigungen erlauben';
        }

        ui.notify.addEventListener('click', function () {
            showMenu(false);
            if (!window.Notification) return;
            window.Notification.requestPermission().then(function (state) {
                setStatus(state === 'granted' ? 'Benachrichtigungen sind erlaubt.' : 'Keine Benachrichtigungen.', false);
                updateNotifyButton();
            });
        });

        function notify(text) {
            var Notice = window.Notification;
            if (!Notice || Notice.permission !== 'granted') return;
            try {
                var notice = new Notice(TITLE, { body: text, tag: 'vorta-chat' });
                notice.onclick = function () {
                    window.focus();
                    notice.close();
                };
            } catch (e) {
                // Some browsers allow notifications from a service worker only.
            }
        }

        function escapeRegExp(text) {
            return text.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
        }

        // A line of the chat arrived (from the stream or as a TXT line).
        function onLine(info) {
            var nickname = session ? session.nickname : '';
            var has = function (kind) { return info.kinds.indexOf(kind) >= 0; };
            if (nickname && has('msgIsKickedAdmin') &&
                info.text.toLowerCase().indexOf(nickname.toLowerCase() + ' wird von ') === 0) {
                finalWords = 'Du wurdest aus dem Chat gekickt.';
            }
            if (has('msgShutdown')) shutdownSeen = true;
            if (registering && (has('actionRegister') || has('actionRegisterFailed') ||
                has('actionRegisterFailedTaken'))) {
                if (has('actionRegister') && session) session.password = registering;
                registering = '';
            }
            if (!pageHidden()) return;
            unread++;
            showTitle();
            var own = nickname && info.lead.toLowerCase().indexOf(nickname.toLowerCase()) === 0;
            var named = nickname && info.lead && !own &&
                new RegExp('(^|[^A-Za-z0-9])' + escapeRegExp(nickname) + '($|[^A-Za-z0-9])', 'i').test(info.text);
            if (has('internGotWhisper') || named) notify(info.text);
        }

        document.addEventListener('visibilitychange', function () {
            if (pageHidden()) {
                unread = 0;
                toStream({ vorta: 'unread', on: true });
                logMarkNext = true;
            } else {
                unread = 0;
                showTitle();
                toStream({ vorta: 'unread', on: false });
                logMarkNext = false;
            }
        });

        // ---- the session ----------------------------------------------------------

        function showChat() {
            ui.login.hidden = true;
            ui.chat.hidden = false;
            ui.where.hidden = false;
            ui.membersToggle.hidden = false;
            updateNotifyButton();
            ui.line.focus();
        }

        function stopConnection() {
            window.clearInterval(heartbeat);
            heartbeat = null;
            window.clearTimeout(retryTimer);
            retryTimer = null;
            inRoom = false;
            if (socket) {
                socket.onclose = null;
                socket.close();
                socket = null;
            }
        }

        // The session is over for good: back to the log-in form.
        function end(text) {
            if (ended) return;
            ended = true;
            session = null;
            registering = '';
            returning = false;
            stopConnection();
            ui.cancel.hidden = true;
            closePrompt();
            showMenu(false);
            showMembers(false);
            ui.frame.src = 'about:blank';
            ui.chat.hidden = true;
            ui.where.hidden = true;
            ui.membersToggle.hidden = true;
            ui.login.hidden = false;
            ui.members.textContent = '';
            countMembers();
            setStatus(text, true);
            ui.nickname.focus();
        }

        // The connection broke without the server ending the session: try again.
        function lost() {
            stopConnection();
            if (finalWords) {
                end(finalWords);
                return;
            }
            var delay = retryDelay(attempt++);
            returning = true;
            ui.cancel.hidden = false;
            setStatus('Die Verbindung zum Chat-Server ist unterbrochen. Neuer Versuch in ' +
                Math.round(delay / 1000) + ' s.', true);
            retryTimer = window.setTimeout(function () {
                retryTimer = null;
                if (finalWords) {
                    end(finalWords);
                } else {
                    connect();
                }
            }, delay);
        }

        ui.cancel.addEventListener('click', function () {
            end('Du kannst dich wieder anmelden.');
        });

        function openStream(randomId, answer) {
            ui.log.hidden = true;
            ui.frame.hidden = false;
            ui.frame.src = streamBase + INTERNAL_ADDRESS + '/' + encodeURIComponent(randomId) + '/' +
                answer + '/#' + encodeURIComponent(window.location.origin);
        }

        function useLog() {
            ui.frame.hidden = true;
            ui.log.hidden = false;
        }

        // The stream's document ends only when its connection does.
        ui.frame.addEventListener('load', function () {
            if (!ended && socket && ui.frame.src.indexOf(streamOrigin + '/') === 0) socket.close();
        });

        var logMarkNext = false;

        // The chat arrived in the log while the page has no stream.
        function logLines(html) {
            var holder = document.createElement('div');
            holder.innerHTML = html;
            var nodes = Array.prototype.slice.call(holder.childNodes);
            var info = lineInfo(nodes);
            if (info.text && pageHidden() && logMarkNext) {
                logMarkNext = false;
                var old = ui.log.querySelector('.vc-unread');
                if (old) old.remove();
                ui.log.appendChild(unreadMarker(document));
            }
            nodes.forEach(function (node) { ui.log.appendChild(node); });
            if (info.text) onLine(info);
        }

        // Once the server has the visitor in a room again.
        function arrived() {
            if (inRoom) return;
            inRoom = true;
            attempt = 0;
            ui.cancel.hidden = true;
            if (returning) {
                returning = false;
                setStatus('Die Verbindung ist wieder da.', false);
            }
        }

        var verbs = {
            CNT: function (v) {
                var answer = (parseInt(v[3], 10) ^ CHALLENGE_KEY) >>> 0;
                showChat();
                if (!returning) setStatus('Angemeldet als ' + v[1] + '.', false);
                if (v[4] === '1') {
                    openStream(v[2], answer);
                } else {
                    // Without the page's script the chat comes as lines.
                    useLog();
                    send(protoLine('AUT', [String(answer)]));
                }
            },
            LGN: function () {
                arrived();
                ui.line.focus();
            },
            NRM: function (v) {
                arrived();
                if (session) session.room = v[0] || '';
                ui.room.textContent = v[0] || '';
                ui.members.textContent = '';
                for (var i = 1; i < v.length; i++) addMember(v[i]);
                countMembers();
            },
            ADD: function (v) { addMember(v[0] || ''); },
            DEL: function (v) { removeMember(v[0] || ''); },
            TXT: function (v) {
                if (ui.log.hidden) useLog();
                logLines(v[0] || '');
                if (ui.autoscroll.checked) ui.log.scrollTop = ui.log.scrollHeight;
            },
            HTB: function () { send('HTB'); },
            COL: function (v) {
                if (/^[0-9A-Fa-f]{6}$/.test(v[0] || '')) ui.colour.value = '#' + v[0].toLowerCase();
            },
            SKN: function (v) {
                if (v[0]) ui.skin.href = window.location.protocol + '//' + v[0].replace(/^https?:\/\//, '');
            },
            NCK: function () {
                if (!nicknameTries) nicknameSince = Date.now();
                if (returning && session && Date.now() - nicknameSince < NICKNAME_WAIT_MS) {
                    // The old session may still hold the nickname: the server
                    // hands it over once that session missed two heartbeats.
                    var delay = retryDelay(Math.min(nicknameTries++, NICKNAME_RETRY_STEPS));
                    setStatus('Dein Nickname ist noch von der alten Verbindung belegt. Neuer Versuch in ' +
                        Math.round(delay / 1000) + ' s.', true);
                    window.clearTimeout(retryTimer);
                    retryTimer = window.setTimeout(function () {
                        retryTimer = null;
                        send(protoLine('NCK', [session.nickname]));
                    }, delay);
                    return;
                }
                ask('Dieser Nickname geht nicht. Anderer Nickname:', false, function (nickname) {
                    if (session) session.nickname = nickname;
                    send(protoLine('NCK', [nickname]));
                });
            },
            PWD: function () {
                if (returning && session && session.password && nicknameTries && !passwordSent) {
                    // Asked again after the nickname came free: the server
                    // forgot the password of the log-in line, the page did not.
                    passwordSent = true;
                    send(protoLine('PWD', [session.password]));
                    return;
                }
                ask('Passwort f\u00fcr diesen Nickname:', true, function (password) {
                    if (session) session.password = password;
                    send(protoLine('PWD', [password]));
                });
            },
            RPW: function (v) {
                var room = v[0] || '';
                var known = session && session.roomPasswords[room.toLowerCase()];
                if (known && rejoining.toLowerCase() === room.toLowerCase()) {
                    // Back into the room the page was in, with the password given there.
                    rejoining = '';
                    send(protoLine('RPW', [room, known]));
                    return;
                }
                ask('Passwort f\u00fcr den Raum ' + room + ':', true, function (password) {
                    if (session) session.roomPasswords[room.toLowerCase()] = password;
                    send(protoLine('RPW', [room, password]));
                });
            },
            MPW: function (v) {
                ask('Passwort f\u00fcr ' + (v[0] || '') + ':', true, function (password) {
                    send(protoLine('MPW', [password]));
                });
            },
            BAN: function (v) {
                end('Du wurdest f\u00fcr ' + (v[0] || '?') + ' Minuten aus dem Chat verbannt.');
            },
            LGO: function () {
                end('Du hast den Chat verlassen. Bis bald!');
            },
            EXT: function (v) {
                if (v[0] === 'vcp2') {
                    end('Diese Seite passt nicht zur Version des Chat-Servers.');
                } else if (v[0] === 'noaccess') {
                    end('Von dieser Seite aus ist der Chat nicht erlaubt.');
                } else {
                    // Final, unless the server only goes down for a restart.
                    extSeen = true;
                    stopConnection();
                    settle();
                }
            }
        };

        function receive(line) {
            var handler = verbs[line.slice(0, 3)];
            if (handler) handler(protoValues(line));
        }

        // Decides how a connection ended once the stream had its say: it tells
        // of a kick, and of the server going down, a moment after the socket.
        var settleTimer = null;

        function settle() {
            window.clearTimeout(settleTimer);
            settleTimer = window.setTimeout(function () {
                settleTimer = null;
                if (ended || socket || retryTimer) return;
                if (finalWords) {
                    end(finalWords);
                } else if (extSeen && !shutdownSeen) {
                    end('Der Chat-Server hat die Verbindung beendet.');
                } else {
                    lost();
                }
            }, 400);
        }

        // Opens a connection and logs the session in; a lost connection of a
        // session that was in a room comes back through lost().
        function connect() {
            var opened = false;
            var wasIn = false;
            socket = new WebSocket(socketAddress);
            setStatus(returning ? 'Die Verbindung zum Chat-Server ist unterbrochen. Verbinde erneut \u2026'
                : 'Verbinde \u2026', returning);
            rejoining = returning ? session.room : '';
            nicknameTries = 0;
            passwordSent = false;
            extSeen = false;
            shutdownSeen = false;
            socket.onopen = function () {
                opened = true;
                var referer = window.location.href.split('?')[0].split('#')[0];
                send(protoLine('LGN', [PROTOCOL, session.nickname, session.password, session.room, INTERNAL_ADDRESS,
                    navigator.userAgent, referer, '', 'false']));
                heartbeat = window.setInterval(function () { send('HTB'); }, HEARTBEAT_MS);
            };
            socket.onmessage = function (event) {
                if (typeof event.data === 'string') receive(event.data);
                wasIn = wasIn || inRoom;
            };
            socket.onclose = function () {
                socket = null;
                if (wasIn || returning) {
                    stopConnection();
                    settle();
                    return;
                }
                // A refused handshake (another origin than the chat's own
                // address, for one) closes before the socket ever opened.
                end(opened ? 'Die Verbindung zum Chat-Server ist unterbrochen.'
                    : 'Der Chat-Server nimmt keine Verbindung an. Ist die Seite unter der Adresse des Chats aufgerufen?');
            };
        }

        // ---- the forms ------------------------------------------------------------

        ui.login.addEventListener('submit', function (event) {
            event.preventDefault();
            if (!ended) return;
            ended = false;
            finalWords = '';
            attempt = 0;
            returning = false;
            session = {
                nickname: ui.nickname.value.trim(),
                password: ui.password.value,
                room: ui.wantedRoom.value.trim(),
                roomPasswords: {}
            };
            // The session keeps the password; the form forgets it.
            ui.password.value = '';
            connect();
        });

        // The lines sent in this session, for the arrow keys; never a password.
        var history = [];
        var historyAt = 0;
        var draft = '';

        function remember(text) {
            if (/^\.(register|setpassword|sp)\b/i.test(text)) return;
            if (history[history.length - 1] !== text) history.push(text);
            if (history.length > 50) history.shift();
            historyAt = history.length;
        }

        ui.input.addEventListener('submit', function (event) {
            event.preventDefault();
            var text = ui.line.value;
            if (text.trim() === '') return;
            if (protoLine('TXT', [text]).length > MAX_LINE) {
                setStatus('Die Nachricht ist zu lang.', true);
                return;
            }
            if (!self.say(text)) return;
            var registration = /^\.register\s+(\S+)/.exec(text);
            if (registration) registering = registration[1];
            remember(text);
            draft = '';
            ui.line.value = '';
            ui.line.focus();
        });

        // Tab completes the word before the cursor to a nickname of the room;
        // pressed again, it offers the next one.
        var completion = null;  // { start, stem, names, index }

        function complete() {
            var value = ui.line.value;
            var caret = ui.line.selectionStart;
            if (completion === null || ui.line.selectionEnd !== caret) {
                var start = caret;
                while (start > 0 && /[A-Za-z0-9]/.test(value.charAt(start - 1))) start--;
                var stem = value.slice(start, caret);
                if (!stem) return false;
                var names = memberNames().filter(function (name) {
                    return name.toLowerCase().indexOf(stem.toLowerCase()) === 0;
                });
                if (!names.length) return false;
                completion = { start: start, end: caret, names: names, index: 0 };
            } else {
                completion.index = (completion.index + 1) % completion.names.length;
            }
            var suffix = completion.start === 0 ? ': ' : ' ';
            var word = completion.names[completion.index] + suffix;
            ui.line.value = value.slice(0, completion.start) + word + value.slice(completion.end);
            completion.end = completion.start + word.length;
            ui.line.setSelectionRange(completion.end, completion.end);
            return true;
        }

        ui.line.addEventListener('keydown', function (event) {
            if (event.altKey || event.ctrlKey || event.metaKey) return;
            if (event.key === 'Tab' && !event.shiftKey) {
                if (complete()) event.preventDefault();
                return;
            }
            completion = null;
            if (event.key === 'ArrowUp' && historyAt > 0) {
                if (historyAt === history.length) draft = ui.line.value;
                ui.line.value = history[--historyAt];
                event.preventDefault();
            } else if (event.key === 'ArrowDown' && historyAt < history.length) {
                historyAt++;
                ui.line.value = historyAt === history.length ? draft : history[historyAt];
                event.preventDefault();
            }
        });
        ui.line.addEventListener('input', function () { completion = null; });

        ui.colour.addEventListener('change', function () {
            send(protoLine('COL', [ui.colour.value.slice(1).toUpperCase()]));
            ui.line.focus();
        });

        ui.autoscroll.addEventListener('change', function () {
            toStream({ vorta: 'autoscroll', on: ui.autoscroll.checked });
            ui.line.focus();
        });

        ui.leave.addEventListener('click', function () {
            end('Du hast den Chat verlassen. Bis bald!');
        });

        // Messages from the stream in the frame, and from nobody else.
        window.addEventListener('message', function (event) {
            if (event.origin !== streamOrigin || event.source !== ui.frame.contentWindow) return;
            var data = event.data || {};
            if (data.vorta === 'command' && typeof data.line === 'string') {
                self.say(data.line);
            } else if (data.vorta === 'focus') {
                ui.line.focus();
            } else if (data.vorta === 'skin' && typeof data.href === 'string' && /^https?:\/\//.test(data.href)) {
                ui.skin.href = data.href;
            } else if (data.vorta === 'line' && Array.isArray(data.kinds) && typeof data.text === 'string') {
                onLine({ kinds: data.kinds.map(String), lead: String(data.lead || ''), text: data.text });
            } else if (data.vorta === 'killed') {
                finalWords = 'Du wurdest aus dem Chat entfernt.';
            }
        });

        // The on-screen keyboard shrinks the visual viewport; the page follows
        // it so that the input line stays above the keyboard.
        if (window.visualViewport) {
            var fit = function () {
                document.documentElement.style.setProperty('--vc-height', window.visualViewport.height + 'px');
            };
            window.visualViewport.addEventListener('resize', fit);
            fit();
        }
        ui.line.addEventListener('focus', function () {
            window.setTimeout(function () { ui.line.scrollIntoView({ block: 'nearest' }); }, 300);
        });
    }

    // The chat page loads this script deferred, once its elements exist. The
    // stream loads it in its head and never finishes loading, so nothing here
    // may wait for the document to be complete.
    var root = document.getElementById('vc-client');
    if (root) {
        client = new Client(root);
    } else {
        startStream();
    }
}());
