// Updates: the client's own update from the offer at its UpdateUrl (running and offered
// version, notes, the download in bytes, then the restart), and a new firmware image for each
// attached device, chosen in the open dialog or downloaded from the offer, with a clear warning
// first, the update's progress as a bar and, at the end, the firmware the device reports now, or
// what to try next.
import { useEffect, useState } from 'preact/hooks';
import type { DeviceInfo } from '../../bridge/protocol';
import { fmt } from '../../i18n';
import { DOWNLOAD_STALL_MS } from '../../model/client-update';
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

// Bytes as a person reads them: 512 B, 20.5 KB, 3.2 MB.
export function bytesText(n: number): string {
  if (n < 1024) return `${n} B`;
  if (n < 1024 * 1024) return `${(n / 1024).toFixed(1)} KB`;
  return `${(n / 1024 / 1024).toFixed(1)} MB`;
}

// A download's bytes as a bar; without a known size only the bytes received so far.
function BytesBar({ received, total }: { received: number; total: number }) {
  const t = useApp().t.updates;
  const percent = total > 0 ? Math.min(100, Math.floor((received * 100) / total)) : 0;
  const text = total > 0 ? fmt(t.bytes, { received: bytesText(received), total: bytesText(total) }) : bytesText(received);
  return (
    <>
      <div class="update-bar" role="progressbar" aria-label={t.downloadProgress} aria-valuemin={0} aria-valuemax={100} aria-valuenow={percent} aria-valuetext={text}>
        <span style={{ width: `${percent}%` }} />
      </div>
      <p class="update-bar-text" aria-hidden="true">
        {text}
      </p>
    </>
  );
}

function ClientCard() {
  const app = useApp();
  const t = app.t.updates;
  const cu = app.clientUpdate;
  useEffect(() => {
    if (cu.phase === null) void cu.check();
  }, [cu]);
  const info = cu.info;
  const offer = info?.offer ?? null;
  const otherBusy = app.firmware.running || app.firmwareOffers.busy;
  const message =
    info && info.status !== 'ok'
      ? fmt(t.clientStatus[info.status], { reason: info.reason || '?' })
      : cu.phase === 'failed'
        ? cu.failure === 'install'
          ? t.installFailed
          : t.downloadFailed
        : '';
  return (
    <div class="card client-update" data-phase={cu.phase ?? 'checking'} data-status={info?.status ?? ''}>
      <h2 class="card-title">{t.client}</h2>
      <dl class="client-versions">
        <dt>{t.runningVersion}</dt>
        <dd class="mono" data-version="running">
          {info?.running || '—'}
        </dd>
        {offer && (
          <>
            <dt>{t.offeredVersion}</dt>
            <dd class="mono" data-version="offered">
              {offer.version} <span class="hint">({bytesText(offer.size)})</span>
            </dd>
          </>
        )}
      </dl>
      {cu.phase === 'checking' && (
        <p class="hint" role="status">
          {t.checking}
        </p>
      )}
      {message && (
        <p class={cu.phase === 'failed' ? 'banner error client-message' : 'hint client-message'} role={cu.phase === 'failed' ? 'alert' : 'status'}>
          {message}
        </p>
      )}
      {cu.phase === 'ready' && offer && <p role="status">{cu.newer ? fmt(t.available, { v: offer.version }) : t.latest}</p>}
      {offer && offer.notes && (cu.newer || cu.phase !== 'ready') && (
        <div class="client-notes">
          <h3>{t.notes}</h3>
          <p>{offer.notes}</p>
        </div>
      )}
      {(cu.phase === 'downloading' || cu.phase === 'installing') && <BytesBar received={cu.received} total={cu.total} />}
      {cu.phase === 'installing' && (
        <p class="hint" role="status">
          {t.installing}
        </p>
      )}
      {cu.phase === 'restarting' && (
        <p class="banner client-restart" role="status">
          <Icon name="check" size={16} />
          {t.restarting}
        </p>
      )}
      <div class="client-actions">
        {offer && cu.newer && (cu.phase === 'ready' || cu.phase === 'failed') && (
          <button type="button" class="btn primary" disabled={otherBusy} title={otherBusy ? t.other : undefined} onClick={() => cu.update()}>
            <Icon name="update" size={16} />
            {fmt(t.updateTo, { v: offer.version })}
          </button>
        )}
        {(cu.phase === 'ready' || cu.phase === 'failed') && (
          <button type="button" class="btn ghost" onClick={() => void cu.check()}>
            <Icon name="refresh" size={16} />
            {t.checkAgain}
          </button>
        )}
      </div>
    </div>
  );
}

// The warning before any image goes into a device, a chosen one or a downloaded one.
function ConfirmUpdate({ name, file, onCancel, onStart }: { name: string; file: string; onCancel: () => void; onStart: () => void }) {
  const app = useApp();
  const t = app.t.updates;
  return (
    <Dialog title={fmt(t.confirmTitle, { name })} onClose={onCancel}>
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
        <button type="button" class="btn ghost" data-autofocus onClick={onCancel}>
          {app.t.common.cancel}
        </button>
        <button type="button" class="btn primary" onClick={onStart}>
          {t.start}
        </button>
      </footer>
    </Dialog>
  );
}

function DeviceRow({ d }: { d: DeviceInfo }) {
  const app = useApp();
  const t = app.t.updates;
  const name = deviceName(app, d);
  const [file, setFile] = useState<string | null>(null);
  const [error, setError] = useState('');
  const offers = app.firmwareOffers;
  const image = offers.offerFor(d);
  const dl = offers.download?.key === d.Version ? offers.download : null;
  const choose = async () => {
    setError('');
    const chosen = await app.firmware.choose();
    if (!chosen) return;
    if ('path' in chosen) setFile(chosen.path);
    else setError(chosen.error === 'notBin' ? fmt(t.notBin, { file: chosen.text }) : fmt(t.dialogFailed, { reason: chosen.text }));
  };
  // One update or download at a time: the client's quit for its update would cut a flash short.
  const busy = app.firmware.running || offers.busy || (app.clientUpdate.busy && app.clientUpdate.phase !== 'checking');
  return (
    <li class="update-device" data-device={d.Version} data-offer={dl?.phase ?? (image ? (image.usable ? 'offered' : 'unusable') : undefined)}>
      <div class="grow">
        <div class="update-name">{name}</div>
        <div class="hint">
          {t.installed}: {firmwareText(d)}
        </div>
        {image && (
          <div class="hint update-offer">
            {t.offered}: <span class="mono">{image.name}</span>
          </div>
        )}
        {image && !image.usable && <p class="hint offer-message">{t.offerUnusable}</p>}
        {dl?.phase === 'downloading' && (
          <div class="offer-progress">
            <p class="hint" role="status">
              {fmt(t.offerDownloading, { file: dl.name })}
            </p>
            <BytesBar received={dl.received} total={dl.total} />
          </div>
        )}
        {dl?.phase === 'stalled' && (
          <p class="field-error offer-message" role="alert">
            {fmt(t.offerStalled, { s: DOWNLOAD_STALL_MS / 1000 })}
          </p>
        )}
        {error && (
          <p class="field-error" role="alert">
            {error}
          </p>
        )}
      </div>
      {image?.usable && (
        <button
          type="button"
          class="btn primary offer-download"
          disabled={busy}
          aria-label={fmt(dl?.phase === 'stalled' ? t.offerRetryFor : t.offerDownloadFor, { file: image.name, name })}
          title={busy && !dl ? t.other : undefined}
          onClick={() => offers.fetch(d)}
        >
          <Icon name={dl?.phase === 'stalled' ? 'refresh' : 'update'} size={16} />
          {dl?.phase === 'stalled' ? app.t.common.retry : t.offerDownload}
        </button>
      )}
      <button type="button" class="btn choose-image" disabled={busy} aria-label={fmt(t.chooseFor, { name })} title={busy ? t.other : undefined} onClick={() => void choose()}>
        <Icon name="update" size={16} />
        {t.choose}
      </button>
      {file && <ConfirmUpdate name={name} file={file} onCancel={() => setFile(null)} onStart={() => (app.firmware.run(d, name, file), setFile(null))} />}
      {dl?.phase === 'confirm' && <ConfirmUpdate name={name} file={dl.path} onCancel={() => offers.finish(null, name)} onStart={() => offers.finish(d, name)} />}
    </li>
  );
}

export function UpdatesScreen() {
  const app = useApp();
  const t = app.t.updates;
  return (
    <section class="screen" aria-labelledby="updates-title">
      <ScreenHead title={t.title} sub={t.hint} titleId="updates-title" />
      <ClientCard />
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
