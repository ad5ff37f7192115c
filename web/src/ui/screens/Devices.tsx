// Devices: what is attached, which profile each one got, and the way to its settings.
import { useState } from 'preact/hooks';
import { fmt } from '../../i18n';
import type { Session } from '../../model/app';
import { Dialog, Empty, Icon, ScreenHead, useApp, WriteStatus } from '../kit';

function DeviceCard({ s }: { s: Session }) {
  const app = useApp();
  const t = app.t.devices;
  const selected = app.selected === s.key;
  const restartKey = `${s.key}:restart`;
  const [asking, setAsking] = useState(false);
  const open = () => {
    app.select(s.key);
    app.go(s.kind === 'keyboard' ? 'keyboard' : 'mouse');
  };
  const restart = () =>
    app.write(restartKey, app.t.devices.restart, null, () => app.protocol.restDevice(s.key), () => app.notify('info', t.restarted), s);
  return (
    <article class={selected ? 'card device selected' : 'card device'} aria-label={s.info.Version}>
      <div class="device-art" aria-hidden="true">
        <Icon name={s.kind === 'keyboard' ? 'keyboard' : 'mouse'} size={44} />
      </div>
      <div class="device-main">
        <div class="device-title">
          <h2>{s.kind === 'keyboard' ? t.keyboard : t.mouse}</h2>
          {selected && <span class="tag">{t.selected}</span>}
        </div>
        <dl class="facts">
          <dt>{t.firmware}</dt>
          <dd>{s.info.Version + (s.info.LastVersionNum ? ` · ${s.info.LastVersionNum}` : '')}</dd>
          <dt>{t.serial}</dt>
          <dd>{s.info.Sn || '—'}</dd>
          <dt>{t.profile}</dt>
          <dd>
            {s.status === 'loading' && t.loading}
            {s.status === 'ready' && `${s.builtin} · ${s.named?.active ?? ''}`}
            {s.status === 'unknown' && t.unknown}
            {s.status === 'error' && app.t.common.noAnswer}
          </dd>
        </dl>
        {s.status === 'unknown' && <p class="hint">{fmt(t.unknownBody, { fw: s.info.Version, usb: app.usbId(s) || '—' })}</p>}
      </div>
      <div class="device-actions">
        <button type="button" class="btn primary" disabled={s.status !== 'ready'} onClick={open}>
          {t.configure}
        </button>
        <button type="button" class="btn ghost" onClick={() => setAsking(true)}>
          {t.restart}
        </button>
        <WriteStatus state={app.writes.get(restartKey)} />
      </div>
      {asking && (
        <Dialog title={fmt(t.restartTitle, { name: app.deviceName(s.kind, s.key) })} onClose={() => setAsking(false)}>
          <p class="dialog-body">{t.restartBody}</p>
          <footer class="dialog-foot">
            <span class="grow" />
            <button type="button" class="btn ghost" data-autofocus onClick={() => setAsking(false)}>
              {app.t.common.cancel}
            </button>
            <button type="button" class="btn primary" onClick={() => (setAsking(false), restart())}>
              {t.restart}
            </button>
          </footer>
        </Dialog>
      )}
    </article>
  );
}

export function DevicesScreen() {
  const app = useApp();
  const t = app.t.devices;
  const sessions = Array.from(app.sessions.values());
  return (
    <section class="screen" aria-labelledby="devices-title">
      <ScreenHead title={t.title} sub={t.subtitle} titleId="devices-title">
        <button type="button" class="btn ghost" onClick={() => void app.refreshDevices()}>
          <Icon name="refresh" size={16} />
          {t.refresh}
        </button>
      </ScreenHead>
      {app.devicesState === 'loading' && (
        <div class="loading" role="status">
          <span class="spinner" aria-hidden="true" />
          {t.searching}
        </div>
      )}
      {app.devicesState === 'error' && (
        <div class="banner error" role="alert">
          {t.listFailed}
          <button type="button" class="btn small" onClick={() => void app.refreshDevices()}>
            {app.t.common.retry}
          </button>
        </div>
      )}
      {app.devicesState === 'ready' && sessions.length === 0 && app.deviceLibraryMissing && (
        <Empty icon="usb" title={t.noLibraryTitle} body={t.noLibraryBody} />
      )}
      {app.devicesState === 'ready' && sessions.length === 0 && !app.deviceLibraryMissing && (
        <Empty icon="usb" title={t.emptyTitle} body={t.emptyBody}>
          <p class="hint">{t.emptyTip}</p>
        </Empty>
      )}
      <div class="device-list">
        {sessions.map((s) => (
          <DeviceCard s={s} key={s.key} />
        ))}
      </div>
    </section>
  );
}
