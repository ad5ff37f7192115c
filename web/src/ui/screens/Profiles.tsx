// Profiles: several named profiles per device, switching (which writes the whole profile to the
// device), export and import through the client's file dialogs.
import { useState } from 'preact/hooks';
import { fmt } from '../../i18n';
import type { App, Session } from '../../model/app';
import { plannedWrites } from '../../model/applyAll';
import { Profile, ProfileError } from '../../model/profile';
import { ProfileStore } from '../../model/profileStore';
import { Dialog, Empty, Icon, ScreenHead, Select, useApp } from '../kit';

interface Progress {
  done: number;
  total: number;
  failed: string[];
  running: boolean;
}

async function writeAll(app: App, s: Session, set: (p: Progress) => void): Promise<void> {
  const plan = plannedWrites(s.profile!, s.key, s.mode);
  const p: Progress = { done: 0, total: plan.length, failed: [], running: true };
  set({ ...p });
  for (const w of plan) {
    const answer = await w.send(app.protocol);
    p.done++;
    if (!answer.ok) p.failed.push(w.label);
    set({ ...p });
  }
  p.running = false;
  set({ ...p });
  if (p.failed.length) app.notify('error', fmt(app.t.profiles.someFailed, { failed: p.failed.length, total: p.total }), () => void writeAll(app, s, set));
  else app.notify('info', fmt(app.t.profiles.allWritten, { total: p.total }));
}

function fileName(path: string): string {
  return (path.split(/[\\/]/).pop() ?? path).replace(/\.[^.]*$/, '') || path;
}

export function ProfilesScreen() {
  const app = useApp();
  const t = app.t.profiles;
  const s = app.session && app.session.status === 'ready' ? app.session : null;
  const [progress, setProgress] = useState<Progress | null>(null);
  const [renaming, setRenaming] = useState<string | null>(null);
  const [draftName, setDraftName] = useState('');
  const [creating, setCreating] = useState<{ name: string; from: 'current' | 'defaults' } | null>(null);
  const ready = Array.from(app.sessions.values()).filter((x) => x.status === 'ready');
  // The device whose profiles these are, chosen by its name.
  const devicePick = ready.length > 1 && (
    <label class="device-pick">
      <span class="field-label">{t.device}</span>
      <Select label={t.device} value={s?.key ?? ''} options={ready.map((x) => ({ value: x.key, label: app.deviceName(x.kind, x.key) }))} onChange={(k) => app.select(k)} />
    </label>
  );
  if (!s || !s.profile || !s.named) return <Empty icon="profile" title={t.title} body={t.none}>{devicePick}</Empty>;
  const named = s.named;
  const busy = !!progress?.running;

  const saveIndex = () => {
    app.store.setIndex(s.id, named);
    app.changed();
  };
  const uniqueName = (base: string) => {
    if (!named.items.some((i) => i.name === base)) return base;
    for (let n = 2; ; n++) if (!named.items.some((i) => i.name === `${base} (${n})`)) return `${base} (${n})`;
  };
  const addProfile = async (name: string, profile: Profile, use: boolean) => {
    const file = ProfileStore.nextFile(s.id, named);
    named.items.push({ name, file });
    saveIndex();
    const answer = await app.store.save(file, profile.serialize());
    if (!answer.ok) app.notify('error', fmt(app.t.write.profileSave, { reason: answer.timedOut ? app.t.common.noAnswer : answer.text }));
    if (use) await switchTo(name, profile);
  };
  const switchTo = async (name: string, loaded?: Profile) => {
    const entry = named.items.find((i) => i.name === name);
    if (!entry) return;
    const text = loaded ? null : app.store.text(entry.file);
    let profile = loaded ?? null;
    try {
      if (!profile) profile = text ? Profile.parse(text) : app.builtinProfile(s);
    } catch {
      profile = app.builtinProfile(s);
    }
    if (!profile) return;
    named.active = name;
    s.profile = profile;
    s.mode = profile.modes()[0]?.id ?? 1;
    saveIndex();
    await writeAll(app, s, setProgress);
  };
  const exportProfile = async () => {
    const chosen = await app.protocol.saveFileDialog();
    if (!chosen.ok) return; // cancelled
    const path = /\.[^\\/]+$/.test(chosen.text) ? chosen.text : `${chosen.text}.pfd`;
    const out = s.profile!.clone();
    out.profileName = named.active;
    const written = await app.protocol.modifyFileFromStr(path, out.serialize());
    const saved = written.ok ? await app.protocol.savexml() : written;
    if (saved.ok) app.notify('info', fmt(t.exported, { path }));
    else app.notify('error', fmt(t.exportFailed, { path }), () => void exportProfile());
  };
  const importProfile = async () => {
    const chosen = await app.protocol.openFileDialog();
    if (!chosen.ok) return;
    const read = await app.protocol.readFileToStr(chosen.text, '/configuration');
    if (!read.ok) return app.notify('error', t.readFailed);
    let profile: Profile;
    try {
      profile = Profile.parse(read.text);
    } catch (e) {
      return app.notify('error', e instanceof ProfileError ? t.notProfile : t.readFailed);
    }
    if (profile.kind !== s.kind || (s.kind === 'mouse' && !profile.buttons(profile.modes()[0]?.id ?? 1).length)) return app.notify('error', t.wrongKind);
    const name = uniqueName(profile.profileName || fileName(chosen.text));
    // A file may come from someone else: its key map could type or start programs on any key,
    // so it arrives switched off and plays only once the person has seen it and switched it on.
    const map = profile.softKeyMap();
    const mapOff = !!map?.enabled && map.entries.length > 0;
    if (mapOff) profile.setSoftKeyMap({ ...map!, enabled: false });
    await addProfile(name, profile, false);
    app.notify('info', mapOff ? fmt(t.importedMapOff, { name }) : fmt(t.imported, { name }));
  };

  return (
    <section class="screen">
      <ScreenHead title={t.title} sub={<>{app.deviceName(s.kind, s.key)} · {t.hint}</>}>
        <div class="head-actions">
          <button type="button" class="btn ghost" disabled={busy} onClick={() => void importProfile()}>
            {t.import}
          </button>
          <button type="button" class="btn ghost" disabled={busy} onClick={() => void exportProfile()}>
            {t.export}
          </button>
          <button type="button" class="btn primary" disabled={busy} onClick={() => setCreating({ name: uniqueName(fmt(t.newName, { n: named.items.length + 1 })), from: 'current' })}>
            <Icon name="plus" size={16} />
            {t.new}
          </button>
        </div>
      </ScreenHead>
      {devicePick}
      {creating && (
        <Dialog title={t.newTitle} onClose={() => setCreating(null)}>
          <form
            class="dialog-body new-profile"
            onSubmit={(e) => {
              e.preventDefault();
              const name = creating.name.trim();
              if (!name || named.items.some((i) => i.name === name)) return app.notify('error', t.nameTaken);
              const defaults = creating.from === 'defaults' ? app.builtinProfile(s) : null;
              // Factory defaults start with no software key map; a copy keeps the current one.
              defaults?.setSoftKeyMap({ enabled: true, entries: [] });
              const base = defaults ?? s.profile!.clone();
              setCreating(null);
              void addProfile(name, base, false);
            }}
          >
            <label class="field">
              <span class="field-label">{app.t.macros.name}</span>
              <input class="text" data-autofocus value={creating.name} maxLength={40} onInput={(e) => setCreating({ ...creating, name: (e.currentTarget as HTMLInputElement).value })} />
            </label>
            <fieldset class="field">
              <legend class="field-label">{t.startFrom}</legend>
              {(['current', 'defaults'] as const).map((from) => (
                <label class="check" key={from}>
                  <input type="radio" name="from" checked={creating.from === from} onChange={() => setCreating({ ...creating, from })} />
                  {from === 'current' ? fmt(t.fromCurrent, { name: named.active }) : t.fromDefaults}
                </label>
              ))}
            </fieldset>
            <footer class="dialog-foot">
              <span class="grow" />
              <button type="button" class="btn ghost" onClick={() => setCreating(null)}>
                {app.t.common.cancel}
              </button>
              <button type="submit" class="btn primary">
                {t.create}
              </button>
            </footer>
          </form>
        </Dialog>
      )}
      <ul class="profile-list">
        {named.items.map((item) => {
          const active = item.name === named.active;
          return (
            <li key={item.file} class={active ? 'card profile active' : 'card profile'}>
              <Icon name="profile" size={22} />
              {renaming === item.name ? (
                <input
                  class="text"
                  value={draftName}
                  aria-label={t.rename}
                  ref={(el) => el?.focus()}
                  onInput={(e) => setDraftName((e.currentTarget as HTMLInputElement).value)}
                  onKeyDown={(e) => {
                    if (e.key === 'Escape') setRenaming(null);
                    if (e.key !== 'Enter') return;
                    const next = draftName.trim();
                    if (!next || (next !== item.name && named.items.some((i) => i.name === next))) return app.notify('error', t.nameTaken);
                    if (named.active === item.name) named.active = next;
                    item.name = next;
                    setRenaming(null);
                    saveIndex();
                  }}
                  onBlur={() => setRenaming(null)}
                />
              ) : (
                <span class="profile-name">{item.name}</span>
              )}
              {active && <span class="tag">{t.active}</span>}
              <span class="muted mono small">{item.file}</span>
              <span class="grow" />
              {!active && (
                <button type="button" class="btn" disabled={busy} onClick={() => void switchTo(item.name)}>
                  {t.use}
                </button>
              )}
              <button type="button" class="btn ghost" onClick={() => (setRenaming(item.name), setDraftName(item.name))}>
                {t.rename}
              </button>
              <button
                type="button"
                class="btn ghost"
                disabled={busy}
                onClick={() => {
                  const base = active ? s.profile! : (() => {
                    const text = app.store.text(item.file);
                    return text ? Profile.parse(text) : s.profile!;
                  })();
                  void addProfile(uniqueName(item.name), base.clone(), false);
                }}
              >
                {t.duplicate}
              </button>
              <button
                type="button"
                class="icon-btn"
                aria-label={`${t.remove} ${item.name}`}
                disabled={named.items.length < 2 || active}
                title={named.items.length < 2 ? t.lastOne : t.remove}
                onClick={() => {
                  named.items = named.items.filter((i) => i !== item);
                  app.store.forget(item.file);
                  saveIndex();
                }}
              >
                <Icon name="trash" size={16} />
              </button>
            </li>
          );
        })}
      </ul>
      <div class="card sync">
        <div>
          <strong>{t.writeAll}</strong>
          <p class="hint">{t.stored}</p>
        </div>
        <span class="grow" />
        {progress && (
          <div class="progress" role="status" aria-live="polite">
            <span class="meter-bar">
              <span style={{ width: `${progress.total ? (progress.done / progress.total) * 100 : 0}%` }} />
            </span>
            {progress.running
              ? fmt(t.writing, { done: progress.done, total: progress.total })
              : progress.failed.length
                ? fmt(t.someFailed, { failed: progress.failed.length, total: progress.total })
                : fmt(t.allWritten, { total: progress.total })}
          </div>
        )}
        <button type="button" class="btn primary" disabled={busy} onClick={() => void writeAll(app, s, setProgress)}>
          {t.writeAll}
        </button>
      </div>
    </section>
  );
}
