// Updates: a new firmware image for each attached device, chosen in the open dialog, with a
// clear warning first, the update's progress as a bar and, at the end, the firmware the
// device reports now, or what to try next.
import { useState } from 'preact/hooks';
import type { DeviceInfo } from '../../bridge/protocol';
import { fmt } from '../../i18n';
import { firmwareText } from '../../model/updates';
import { Dialog, Empty, Icon, ScreenHead, useApp } from '../kit';

function deviceName(app: ReturnType<typeof useApp>, d: DeviceInfo): string {
  return app.deviceName(app.sessions.get(d.Version)?.kind ?? (/-ZKC/.test(d.Version) ? 'keyboard' : 'mouse'), d.Version);
}

function Progress() {
  const app = useApp();
  const t = app.t.updates;
  const job = app.firmware.job!;
  const now = app.firmware.deviceNow();
  return (
    <div class="card update-job" data-status={job.status}>
      {job.status === 'running' && (
        <>
          <h2>{fmt(t.running, { name: job.name })}</h2>
          <p class="banner warn" role="note">
            <Icon name="alert" size={16} />
            {t.warning}
          </p>
          <div class="update-bar" role="progressbar" aria-label={t.progress} aria-valuemin={0} aria-valuemax={100} aria-valuenow={job.progress}>
            <span style={{ width: `${job.progress}%` }} />
          </div>
          <p class="update-bar-text" aria-hidden="true">
            {job.progress}%
          </p>
          {job.stalled && (
            <p class="hint" role="status">
              {t.stalled}
            </p>
          )}
        </>
      )}
      {job.status === 'done' && (
        <div role="status">
          <h2>
            <Icon name="check" /> {t.done}
          </h2>
          <p class="update-result">{now ? fmt(t.nowRuns, { fw: firmwareText(now), before: job.before }) : t.comingBack}</p>
        </div>
      )}
      {job.status === 'failed' && (
        <div role="alert">
          <h2>
            <Icon name="alert" /> {fmt(t.failed, { name: job.name })}
          </h2>
          <p class="update-result">{job.progress <= 5 ? t.failedEarly : fmt(t.failedLate, { n: job.progress })}</p>
        </div>
      )}
      {job.status !== 'running' && (
        <button type="button" class="btn ghost" onClick={() => app.firmware.dismiss()}>
          {t.close}
        </button>
      )}
    </div>
  );
}

function DeviceRow({ d }: { d: DeviceInfo }) {
  const app = useApp();
  const t = app.t.updates;
  const name = deviceName(app, d);
  const [file, setFile] = useState<string | null>(null);
  const [error, setError] = useState('');
  const choose = async () => {
    setError('');
    const chosen = await app.firmware.choose();
    if (!chosen) return;
    if ('path' in chosen) setFile(chosen.path);
    else setError(chosen.error === 'notBin' ? fmt(t.notBin, { file: chosen.text }) : fmt(t.dialogFailed, { reason: chosen.text }));
  };
  const busy = app.firmware.running;
  return (
    <li class="update-device" data-device={d.Version}>
      <div class="grow">
        <div class="update-name">{name}</div>
        <div class="hint">
          {t.installed}: {firmwareText(d)}
        </div>
        {error && (
          <p class="field-error" role="alert">
            {error}
          </p>
        )}
      </div>
      <button type="button" class="btn" disabled={busy} aria-label={fmt(t.chooseFor, { name })} title={busy ? t.other : undefined} onClick={() => void choose()}>
        <Icon name="update" size={16} />
        {t.choose}
      </button>
      {file && (
        <Dialog title={fmt(t.confirmTitle, { name })} onClose={() => setFile(null)}>
          <div class="dialog-body">
            <p>{t.confirmBody}</p>
            <p class="mono path">{file}</p>
            <p class="banner warn" role="note">
              <Icon name="alert" size={16} />
              {t.warning}
            </p>
          </div>
          <footer class="dialog-foot">
            <span class="grow" />
            <button type="button" class="btn ghost" data-autofocus onClick={() => setFile(null)}>
              {app.t.common.cancel}
            </button>
            <button type="button" class="btn primary" onClick={() => (app.firmware.run(d, name, file), setFile(null))}>
              {t.start}
            </button>
          </footer>
        </Dialog>
      )}
    </li>
  );
}

export function UpdatesScreen() {
  const app = useApp();
  const t = app.t.updates;
  return (
    <section class="screen" aria-labelledby="updates-title">
      <ScreenHead title={t.title} sub={t.hint} titleId="updates-title" />
      {app.firmware.job && <Progress />}
      <div class="card">
        <h2 class="card-title">{t.firmware}</h2>
        {app.devices.length === 0 ? (
          <Empty icon="usb" title={t.noDevices} />
        ) : (
          <ul class="update-list">
            {app.devices.map((d) => (
              <DeviceRow d={d} key={d.Version} />
            ))}
          </ul>
        )}
      </div>
    </section>
  );
}
