// The page interface of the client, injected into every page before its own scripts run.
//   ClientRequest({request, persistent, onSuccess, onFailure}) -> query id
//   cefQueryCancel(id)
//   setMessageCallback(name, fn)   fn(name, argsArray) is called for the named event
// Requests travel to the client over the web channel object "kfBridge"; answers and events
// come back as its signals.
(function () {
    'use strict';
    if (window.ClientRequest && window.ClientRequest.__kestrafon) {
        return;
    }

    var EVENT_NAMES = ['mouseMove', 'DevicesChanged', 'OnDeviceData', 'macroItem', 'currentPropChanged',
        'navStateChanged', 'OnBrowserMsg', 'onSwitchVirtualDevice', 'OnRGBMusicData', 'RefreshDownState',
        'RefreshUpdateState'];

    var bridge = null;          // the native object once the channel is up
    var browserId = 0;
    var token = makeToken();    // this document's own, sent with every message
    var waiting = [];           // requests made before the channel was up
    var queries = {};           // id -> {persistent, onSuccess, onFailure}
    var nextId = 1;
    var callbacks = {};         // "name\u0000browserId" -> fn

    // Sixteen random bytes in hexadecimal: the client tells this document's messages and answers
    // from those of the document before or after it in the same page.
    function makeToken() {
        var bytes = new Uint8Array(16);
        if (window.crypto && window.crypto.getRandomValues) {
            window.crypto.getRandomValues(bytes);
        } else {
            for (var i = 0; i < bytes.length; i++) {
                bytes[i] = Math.floor(Math.random() * 256);
            }
        }
        return Array.prototype.map.call(bytes, function (b) {
            return (b < 16 ? '0' : '') + b.toString(16);
        }).join('');
    }

    function fail(message) {
        throw new TypeError(message);
    }

    function isFunction(value) {
        return typeof value === 'function';
    }

    function callSafely(fn, args) {
        try {
            return fn.apply(window, args);
        } catch (e) {
            if (window.console) {
                console.error('Kestrafon bridge: page callback threw: ' + (e && e.stack ? e.stack : e));
            }
        }
        return undefined;
    }

    function send(id) {
        var q = queries[id];
        if (!q) {
            return;
        }
        bridge.inbox = ['query', token, id, q.request, q.persistent];
    }

    function onAnswer(to, id, success, code, text, final) {
        if (to !== token) {
            return;             // for another document of this page
        }
        var q = queries[id];
        if (!q) {
            return;             // cancelled or from an earlier document
        }
        if (final) {
            delete queries[id];
        }
        if (success) {
            if (q.onSuccess) callSafely(q.onSuccess, [text]);
        } else if (q.onFailure) {
            callSafely(q.onFailure, [code, text]);
        }
    }

    function onEvent(name, args) {
        if (EVENT_NAMES.indexOf(name) < 0) {
            return;
        }
        var fn = callbacks[name + '\u0000' + browserId];
        if (!fn) {
            return;
        }
        callSafely(fn, [name, Array.isArray(args) ? args : []]);
    }

    window.ClientRequest = function (options) {
        if (arguments.length !== 1 || options === null || typeof options !== 'object' || Array.isArray(options)) {
            fail('Invalid arguments; expecting a single object');
        }
        if (typeof options.request !== 'string') {
            fail("Invalid arguments; object member 'request' is required and must have type string");
        }
        if (options.persistent !== undefined && typeof options.persistent !== 'boolean') {
            fail("Invalid arguments; object member 'persistent' must have type boolean");
        }
        if (options.onSuccess !== undefined && !isFunction(options.onSuccess)) {
            fail("Invalid arguments; object member 'onSuccess' must have type function");
        }
        if (options.onFailure !== undefined && !isFunction(options.onFailure)) {
            fail("Invalid arguments; object member 'onFailure' must have type function");
        }
        var id = nextId++;
        queries[id] = {
            request: options.request,
            persistent: options.persistent === true,
            onSuccess: options.onSuccess,
            onFailure: options.onFailure
        };
        if (bridge) {
            send(id);
        } else {
            waiting.push(id);
        }
        return id;
    };
    window.ClientRequest.__kestrafon = true;

    window.cefQueryCancel = function (id) {
        if (arguments.length !== 1 || typeof id !== 'number' || Math.floor(id) !== id) {
            fail('Invalid arguments; expecting a single integer');
        }
        if (!queries[id]) {
            return false;
        }
        delete queries[id];
        var w = waiting.indexOf(id);
        if (w >= 0) {
            waiting.splice(w, 1);
        } else if (bridge) {
            bridge.inbox = ['cancel', token, id];
        }
        return true;
    };

    // Other arguments than exactly a string and a function are not handled: the call is logged
    // and returns false, so it cannot abort the rest of a page's start-up script.
    window.setMessageCallback = function (name, fn) {
        if (arguments.length !== 2 || typeof name !== 'string' || !isFunction(fn)) {
            if (window.console) {
                console.warn('Kestrafon bridge: setMessageCallback expects exactly a string and a function; ' +
                    'the call is ignored');
            }
            return false;
        }
        var key = name + '\u0000' + browserId;
        if (callbacks[key]) {
            return false;       // the first registration stays in force
        }
        callbacks[key] = fn;
        return true;
    };

    function connect() {
        if (typeof qt === 'undefined' || !qt.webChannelTransport || typeof QWebChannel === 'undefined') {
            var pending = waiting;
            waiting = [];
            pending.forEach(function (id) {
                var q = queries[id];
                delete queries[id];
                if (q && q.onFailure) {
                    callSafely(q.onFailure, [-1, 'The client bridge is not available in this frame']);
                }
            });
            return;
        }
        new QWebChannel(qt.webChannelTransport, function (channel) {
            var b = channel.objects.kfBridge;
            if (!b) {
                return;
            }
            // Registrations made before the id was known move under the real id.
            var id = b.browserId || 0;
            if (id !== browserId) {
                var moved = {};
                Object.keys(callbacks).forEach(function (key) {
                    var name = key.split('\u0000')[0];
                    moved[name + '\u0000' + id] = callbacks[key];
                });
                callbacks = moved;
                browserId = id;
            }
            b.answer.connect(onAnswer);
            b.event.connect(onEvent);
            bridge = b;
            b.inbox = ['ready', token];
            // Pending queries of this document end with it; events wait for the next one.
            window.addEventListener('pagehide', function () {
                try {
                    b.inbox = ['leaving', token];
                } catch (e) {
                    // the channel may already be closed
                }
            });
            var pending = waiting;
            waiting = [];
            pending.forEach(send);
        });
    }

    if (document.readyState === 'loading') {
        // The transport is installed during document creation; give it that moment.
        setTimeout(connect, 0);
    } else {
        connect();
    }
})();
