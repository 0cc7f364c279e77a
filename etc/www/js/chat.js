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
        window.addEventListener('message', function (event) {
            if (event.source !== window.parent || event.origin !== parentOrigin) return;
            var data = event.data || {};
            if (data.vorta === 'autoscroll') window.autoscroll(data.on);
        });
        // Typing while the stream has the focus belongs to the input line.
        window.addEventListener('keydown', function (event) {
            if (event.key.length === 1 && !event.ctrlKey && !event.metaKey) stream.post({ vorta: 'focus' });
        });
        // A new style sheet in the stream (a changed skin) dresses the chat page too.
        new MutationObserver(function (records) {
            records.forEach(function (record) {
                record.addedNodes.forEach(function (node) {
                    if (node.nodeName === 'LINK' && /stylesheet/i.test(node.rel)) {
                        stream.post({ vorta: 'skin', href: node.href });
                    }
                });
            });
        }).observe(document.documentElement, { childList: true, subtree: true });
    }

    // ---- the chat page --------------------------------------------------------

    function Client(root) {
        var self = this;
        var byId = function (id) { return document.getElementById(id); };
        var ui = {
            status: byId('vc-status'),
            login: byId('vc-login'),
            nickname: byId('vc-nickname'),
            password: byId('vc-password'),
            wantedRoom: byId('vc-wanted-room'),
            chat: byId('vc-chat'),
            where: byId('vc-where'),
            room: byId('vc-room'),
            frame: byId('vc-stream'),
            log: byId('vc-log'),
            members: byId('vc-members'),
            input: byId('vc-input'),
            line: byId('vc-line'),
            colour: byId('vc-colour'),
            autoscroll: byId('vc-autoscroll'),
            leave: byId('vc-leave'),
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

        function setStatus(text, isError) {
            ui.status.textContent = text;
            ui.status.className = isError ? 'vc-error' : '';
        }

        function send(line) {
            if (socket && socket.readyState === WebSocket.OPEN) socket.send(line);
        }

        this.say = function (text) {
            send(protoLine('TXT', [text]));
            ui.line.focus();
        };

        // ---- prompts --------------------------------------------------------

        function ask(label, secret, answer) {
            ui.promptLabel.textContent = label;
            ui.promptValue.type = secret ? 'password' : 'text';
            ui.promptValue.value = '';
            ui.prompt.hidden = false;
            promptAnswer = answer;
            ui.promptValue.focus();
        }

        function closePrompt() {
            ui.prompt.hidden = true;
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
            button.addEventListener('click', function () {
                ui.line.value = '.w ' + nickname + ' ';
                ui.line.focus();
            });
            item.appendChild(button);
            item.setAttribute('data-nickname', nickname);
            return item;
        }

        function findMember(nickname) {
            var items = ui.members.children;
            for (var i = 0; i < items.length; i++) {
                if (items[i].getAttribute('data-nickname').toLowerCase() === nickname.toLowerCase()) return items[i];
            }
            return null;
        }

        function addMember(nickname) {
            if (!findMember(nickname)) ui.members.appendChild(memberItem(nickname));
        }

        function removeMember(nickname) {
            var item = findMember(nickname);
            if (item) item.remove();
        }

        // ---- the session ----------------------------------------------------------

        function showChat() {
            ui.login.hidden = true;
            ui.chat.hidden = false;
            ui.where.hidden = false;
            ui.line.focus();
        }

        function end(text) {
            if (ended) return;
            ended = true;
            window.clearInterval(heartbeat);
            heartbeat = null;
            if (socket) {
                socket.onclose = null;
                socket.close();
                socket = null;
            }
            closePrompt();
            ui.frame.src = 'about:blank';
            ui.chat.hidden = true;
            ui.where.hidden = true;
            ui.login.hidden = false;
            ui.members.textContent = '';
            setStatus(text, true);
            ui.nickname.focus();
        }

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

        var verbs = {
            CNT: function (v) {
                var answer = (parseInt(v[3], 10) ^ CHALLENGE_KEY) >>> 0;
                showChat();
                setStatus('Angemeldet als ' + v[1] + '.', false);
                if (v[4] === '1') {
                    openStream(v[2], answer);
                } else {
                    // Without the page's script the chat comes as lines.
                    useLog();
                    send(protoLine('AUT', [String(answer)]));
                }
            },
            LGN: function () {
                ui.line.focus();
            },
            NRM: function (v) {
                ui.room.textContent = v[0] || '';
                ui.members.textContent = '';
                for (var i = 1; i < v.length; i++) addMember(v[i]);
            },
            ADD: function (v) { addMember(v[0] || ''); },
            DEL: function (v) { removeMember(v[0] || ''); },
            TXT: function (v) {
                if (ui.log.hidden) useLog();
                ui.log.insertAdjacentHTML('beforeend', v[0] || '');
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
                ask('Dieser Nickname geht nicht. Anderer Nickname:', false, function (nickname) {
                    send(protoLine('NCK', [nickname]));
                });
            },
            PWD: function () {
                ask('Passwort f\u00fcr diesen Nickname:', true, function (password) {
                    send(protoLine('PWD', [password]));
                });
            },
            RPW: function (v) {
                var room = v[0] || '';
                ask('Passwort f\u00fcr den Raum ' + room + ':', true, function (password) {
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
                    end('Der Chat-Server hat die Verbindung beendet.');
                }
            }
        };

        function receive(line) {
            var handler = verbs[line.slice(0, 3)];
            if (handler) handler(protoValues(line));
        }

        function enter(nickname, password, room) {
            ended = false;
            setStatus('Verbinde \u2026', false);
            socket = new WebSocket(socketAddress);
            socket.onopen = function () {
                var referer = window.location.href.split('?')[0].split('#')[0];
                send(protoLine('LGN', [PROTOCOL, nickname, password, room, INTERNAL_ADDRESS,
                    navigator.userAgent, referer, '', 'false']));
                heartbeat = window.setInterval(function () { send('HTB'); }, HEARTBEAT_MS);
            };
            socket.onmessage = function (event) {
                if (typeof event.data === 'string') receive(event.data);
            };
            var opened = false;
            socket.addEventListener('open', function () { opened = true; });
            socket.onclose = function () {
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
            enter(ui.nickname.value.trim(), ui.password.value, ui.wantedRoom.value.trim());
        });

        ui.input.addEventListener('submit', function (event) {
            event.preventDefault();
            var text = ui.line.value;
            if (text.trim() === '') return;
            if (protoLine('TXT', [text]).length > MAX_LINE) {
                setStatus('Die Nachricht ist zu lang.', true);
                return;
            }
            self.say(text);
            ui.line.value = '';
            ui.line.focus();
        });

        ui.colour.addEventListener('change', function () {
            send(protoLine('COL', [ui.colour.value.slice(1).toUpperCase()]));
            ui.line.focus();
        });

        ui.autoscroll.addEventListener('change', function () {
            if (ui.frame.contentWindow && !ui.frame.hidden) {
                ui.frame.contentWindow.postMessage({ vorta: 'autoscroll', on: ui.autoscroll.checked }, streamOrigin);
            }
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
            }
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
