// Start page: shows the state of the client bridge and sends a request typed by the user.
(function () {
    'use strict';
    var $ = function (id) { return document.getElementById(id); };
    var pendingId = null;
    var events = 0;

    function setBridgeState() {
        var ok = typeof window.ClientRequest === 'function' && typeof window.setMessageCallback === 'function';
        $('bridge-state').textContent = ok ? 'connected' : 'not available';
        $('bridge-state').className = ok ? 'ok' : 'fail';
        return ok;
    }

    function onEvent(name, args) {
        events += 1;
        $('event-count').textContent = String(events);
        $('last-event').textContent = '(last: ' + name + ' ' + JSON.stringify(args) + ')';
    }

    function show(text, cls) {
        $('answer').textContent = text;
        $('answer').className = cls || '';
        console.log('answer: ' + text);
    }

    function send() {
        var text = $('request').value;
        var persistent = $('persistent').checked;
        show('Waiting for the answer…');
        pendingId = window.ClientRequest({
            request: text,
            persistent: persistent,
            onSuccess: function (response) {
                show('success: ' + JSON.stringify(response), 'ok');
                if (!persistent) finish();
            },
            onFailure: function (code, message) {
                show('failure ' + code + ': ' + message, 'fail');
                finish();
            }
        });
        $('cancel').disabled = false;
    }

    function finish() {
        pendingId = null;
        $('cancel').disabled = true;
    }

    function request(text) {
        window.ClientRequest({ request: text });
    }

    // Devices: the client answers "GetDevicesList" with the configurable devices, or not at all
    // when there are none, so an unanswered list request counts as "no device".
    var listQuery = null;
    var listTimer = null;

    function showDevices(devices) {
        var list = $('devices');
        list.textContent = '';
        if (!devices.length) {
            var empty = document.createElement('li');
            empty.className = 'muted';
            empty.textContent = 'No device found.';
            list.appendChild(empty);
        }
        devices.forEach(function (device) {
            var item = document.createElement('li');
            var name = document.createElement('span');
            name.className = 'name';
            name.textContent = device.Version || '(no version)';
            var detail = document.createElement('span');
            detail.className = 'detail';
            detail.textContent = 'serial ' + (device.Sn || '-') + '  ·  ' + (device.DevicePath || '');
            var restart = document.createElement('button');
            restart.textContent = 'Restart';
            restart.addEventListener('click', function () {
                window.ClientRequest({
                    request: JSON.stringify({ FuncName: 'RestDevice', Version: device.Version }),
                    onSuccess: function (r) { show('success: ' + JSON.stringify(r), 'ok'); },
                    onFailure: function (c, m) { show('failure ' + c + ': ' + m, 'fail'); }
                });
            });
            item.appendChild(name);
            item.appendChild(detail);
            item.appendChild(restart);
            list.appendChild(item);
        });
        console.log('devices: ' + devices.length);
    }

    function refreshDevices() {
        if (listQuery !== null) {
            window.cefQueryCancel(listQuery);
        }
        clearTimeout(listTimer);
        var query = listQuery = window.ClientRequest({
            request: '{"FuncName":"GetDevicesList"}',
            onSuccess: function (text) {
                if (query !== listQuery) return;
                clearTimeout(listTimer);
                listQuery = null;
                var devices = [];
                try { devices = JSON.parse(text); } catch (e) { devices = []; }
                showDevices(Array.isArray(devices) ? devices : []);
            }
        });
        listTimer = setTimeout(function () {
            if (query !== listQuery) return;
            window.cefQueryCancel(query);
            listQuery = null;
            showDevices([]);
        }, 1500);
    }

    var refreshSoon = null;
    function onDevicesChanged(name, args) {
        onEvent(name, args);
        clearTimeout(refreshSoon);
        refreshSoon = setTimeout(refreshDevices, 300);
    }

    if (setBridgeState()) {
        console.log('bridge: connected');
        ['navStateChanged', 'RefreshDownState', 'RefreshUpdateState', 'OnBrowserMsg']
            .forEach(function (name) { window.setMessageCallback(name, onEvent); });
        window.setMessageCallback('DevicesChanged', onDevicesChanged);
    }
    if (typeof window.ClientRequest === 'function') {
        refreshDevices();
    }
    $('send').addEventListener('click', send);
    $('cancel').addEventListener('click', function () {
        if (pendingId !== null) {
            window.cefQueryCancel(pendingId);
            show('Cancelled.');
            finish();
        }
    });
    $('minimize').addEventListener('click', function () { request('{"FuncName":"MinisizeWindow"}'); });
    var maximized = false;
    $('maximize').addEventListener('click', function () {
        request(maximized ? 'restoreWindow' : 'maxsizeWindow');
        maximized = !maximized;
    });
    $('close').addEventListener('click', function () { request('{"FuncName":"CloseX"}'); });

    // Dragging the title bar moves the window through the client.
    var drag = null;
    $('titlebar').addEventListener('mousedown', function (e) {
        if (e.target.tagName === 'BUTTON') return;
        drag = { x: e.screenX, y: e.screenY };
    });
    window.addEventListener('mousemove', function (e) {
        if (!drag) return;
        var dx = e.screenX - drag.x, dy = e.screenY - drag.y;
        if (dx === 0 && dy === 0) return;
        drag = { x: e.screenX, y: e.screenY };
        request('MoveWindow:' + dx + ',' + dy + ',' + window.outerWidth + ',' + window.outerHeight);
    });
    window.addEventListener('mouseup', function () { drag = null; });
})();
