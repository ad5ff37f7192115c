// A stand-in for the client's page interface, injected before the pages load. It answers like
// the client's commands, records every request, and lets a test script answers and raise
// events: window.__mock.{requests, rules, emit(name, args), answerLater}.
(function () {
  const config = window.__mockConfig || {};
  const files = config.files || {};
  const mock = {
    requests: [],
    rules: config.rules || [],
    callbacks: {},
    held: [],
    devices: config.devices || [],
    emit(name, args) {
      const fn = mock.callbacks[name];
      if (fn) fn(name, args || []);
    },
    // Answers every held query (rule answer "hold") in order.
    release(ok = true, text = 'writeDevices success!') {
      const held = mock.held.splice(0);
      held.forEach((q) => (ok ? q.onSuccess && q.onSuccess(text) : q.onFailure && q.onFailure(0, text)));
    },
  };
  window.__mock = mock;

  const WRITE_OK = 'writeDevices success!';
  const POINTER = {
    modifyMouseAcce: 'modifyMouseAccel success',
    ModifyWindowAcceleratedSpeed: 'ModifyWindowAcceleratedSpeed success',
    ModifyMouseScrollLines: 'ModifyMouseScrollLines success',
    modifyMouseScrollLinesX: 'modifyMouseScrollLinesX success',
    modifyMouseDoubleClick: 'modifyMouseDoubleClick success',
  };

  function matches(rule, req) {
    return Object.keys(rule.match).every((k) => String(req[k]) === String(rule.match[k]));
  }

  // The client's answer: [ok, text], or null for none.
  function answer(req) {
    const name = req.FuncName;
    if (name === 'GetDevicesList') return mock.devices.length ? [true, JSON.stringify(mock.devices)] : null;
    if (name === 'GetLocalConf') return [true, files[req.Name] || ''];
    if (name === 'CustomButton' || name === 'WriteDeviceMultimedia' || name === 'WriteDeviceSn') return [true, WRITE_OK];
    if (name === 'RestDevice') return [true, 'RestDevice success'];
    if (name === 'NotifyRGBDevice') return [true, String(req.Data).slice(2, -2).replace(/\\\\/g, '\\')];
    if (name === 'ModifyFileFromStr') return [true, 'ModifyFileFromStr success'];
    if (name === 'savexml') return [true, 'save xml success'];
    if (name === 'CloseX') return [true, 'CloseX sucess'];
    if (name === 'CloseApp') return [true, 'modify conf sucess'];
    if (POINTER[name]) return [true, POINTER[name]];
    if (name === 'RGBMusicPlay') return [true, 'RGBMusicPlay success'];
    if (name === 'mouseTracks') return req.status === '开始' ? [true, 'mouseTracks success'] : req.status === '停止' ? [true, mock.track || ''] : null;
    if (name === 'GetClientUpdate') return [true, JSON.stringify({ Version: '2.0.0', UpdateUrl: '', Status: 'noUrl', Reason: '' })];
    if (name === 'GetVirtualDevice') return [true, files.Virtual || ''];
    if (name === 'GetVirtualDeviceStatus') return [true, config.virtualStatus || 'success'];
    if (name === 'GetDeviceLibraryStatus') return [true, config.libraryStatus || 'success'];
    if (name === 'GetKeyMapCaptureStatus') return [true, config.captureStatus || 'success'];
    if (name === 'RefreshVirtualDrive') return req.VirtualStr === '<map/>' ? [false, 'RefreshVirtualDrive failed!'] : [true, 'RefreshVirtualDrive success!'];
    if (name === 'saveFileDialog' || name === 'OpenFileDialog') return config.dialogPath ? [true, config.dialogPath] : [false, "doesn't select file"];
    if (name === 'ReadFileToStr') return files['file:' + req.FilePath] !== undefined ? [true, files['file:' + req.FilePath]] : [false, 'queryProfile load xml file failed!'];
    return null;
  }

  let nextId = 1;
  window.ClientRequest = function (q) {
    const id = nextId++;
    let req;
    try {
      req = JSON.parse(q.request);
    } catch (e) {
      req = { raw: q.request };
    }
    mock.requests.push(req);
    const rule = mock.rules.find((r) => matches(r, req));
    if (rule && rule.answer === 'hold') {
      mock.held.push(q);
      return id;
    }
    const a = rule ? (rule.answer === 'none' ? null : rule.answer) : answer(req);
    if (a) {
      const delay = config.delay || 0;
      setTimeout(() => (a[0] ? q.onSuccess && q.onSuccess(a[1]) : q.onFailure && q.onFailure(0, a[1])), delay);
    }
    return id;
  };
  window.cefQueryCancel = function () {
    return true;
  };
  window.setMessageCallback = function (name, fn) {
    if (!mock.callbacks[name]) mock.callbacks[name] = fn;
  };
})();
