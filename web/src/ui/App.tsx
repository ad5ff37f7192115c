// The frame of the pages: title bar, navigation, the current screen, notices and the hidden
// diagnostics view (Ctrl+Shift+D).
import { useEffect, useRef, useState } from 'preact/hooks';
import type { ScreenId } from '../model/app';
import { Icon, useApp } from './kit';
import { DevicesScreen } from './screens/Devices';
import { MouseScreen } from './screens/Mouse';
import { KeyboardScreen } from './screens/Keyboard';
import { MacrosScreen } from './screens/Macros';
import { ProfilesScreen } from './screens/Profiles';
import { PointerScreen } from './screens/Pointer';
import { MusicScreen } from './screens/Music';
import { KeyMapsScreen } from './screens/KeyMaps';
import { UpdatesScreen } from './screens/Updates';
import { Diagnostics } from './screens/Diagnostics';

// The navigation, by group.
const NAV: { group: 'device' | 'system'; items: { id: ScreenId; icon: Parameters<typeof Icon>[0]['name'] }[] }[] = [
  {
    group: 'device',
    items: [
      { id: 'devices', icon: 'devices' },
      { id: 'mouse', icon: 'mouse' },
      { id: 'keyboard', icon: 'keyboard' },
      { id: 'macros', icon: 'macro' },
      { id: 'profiles', icon: 'profile' },
      { id: 'keymaps', icon: 'keymap' },
    ],
  },
  {
    group: 'system',
    items: [
      { id: 'pointer', icon: 'pointer' },
      { id: 'music', icon: 'music' },
      { id: 'updates', icon: 'update' },
    ],
  },
];

const SCREENS: Record<ScreenId, () => preact.JSX.Element> = {
  devices: DevicesScreen,
  mouse: MouseScreen,
  keyboard: KeyboardScreen,
  macros: MacrosScreen,
  profiles: ProfilesScreen,
  pointer: PointerScreen,
  keymaps: KeyMapsScreen,
  music: MusicScreen,
  updates: UpdatesScreen,
};

function TitleBar() {
  const app = useApp();
  const [max, setMax] = useState(false);
  const drag = useRef<{ x: number; y: number } | null>(null);
  useEffect(() => {
    const move = (e: MouseEvent) => {
      if (!drag.current) return;
      const dx = e.screenX - drag.current.x;
      const dy = e.screenY - drag.current.y;
      if (!dx && !dy) return;
      drag.current = { x: e.screenX, y: e.screenY };
      app.protocol.moveWindow(dx, dy, window.outerWidth, window.outerHeight);
    };
    const up = () => (drag.current = null);
    window.addEventListener('mousemove', move);
    window.addEventListener('mouseup', up);
    return () => {
      window.removeEventListener('mousemove', move);
      window.removeEventListener('mouseup', up);
    };
  }, [app]);
  const [menu, setMenu] = useState(false);
  const menuRef = useRef<HTMLDivElement>(null);
  useEffect(() => {
    if (!menu) return;
    menuRef.current?.querySelector<HTMLElement>('[role="menuitem"]')?.focus();
    const away = (e: MouseEvent) => !menuRef.current?.contains(e.target as Node) && setMenu(false);
    window.addEventListener('mousedown', away);
    return () => window.removeEventListener('mousedown', away);
  }, [menu]);
  const toggleMax = () => {
    app.protocol.maximize(!max);
    setMax(!max);
  };
  return (
    <header
      class="titlebar"
      onMouseDown={(e) => {
        if (e.button === 0 && !(e.target as HTMLElement).closest('button')) drag.current = { x: e.screenX, y: e.screenY };
      }}
      onDblClick={(e) => !(e.target as HTMLElement).closest('button') && toggleMax()}
    >
      <span class="brand">
        <span class="logo" aria-hidden="true" />
        {app.t.appName}
      </span>
      <span class="spacer" />
      <div class="win-menu" ref={menuRef} onKeyDown={(e) => e.key === 'Escape' && (setMenu(false), menuRef.current?.querySelector<HTMLElement>('.win-btn')?.focus())}>
        <button type="button" class="win-btn" title={app.t.win.menu} aria-label={app.t.win.menu} aria-haspopup="menu" aria-expanded={menu} onClick={() => setMenu(!menu)}>
          <Icon name="menu" size={16} />
        </button>
        {menu && (
          <div class="menu" role="menu" aria-label={app.t.win.menu}>
            <button type="button" role="menuitem" onClick={() => (setMenu(false), void app.protocol.quit())}>
              {app.t.win.quit}
            </button>
          </div>
        )}
      </div>
      <button type="button" class="win-btn" title={app.t.win.minimize} aria-label={app.t.win.minimize} onClick={() => app.protocol.minimize()}>
        <Icon name="min" size={16} />
      </button>
      <button type="button" class="win-btn" title={max ? app.t.win.restore : app.t.win.maximize} aria-label={max ? app.t.win.restore : app.t.win.maximize} onClick={toggleMax}>
        <Icon name={max ? 'restore' : 'max'} size={16} />
      </button>
      <button type="button" class="win-btn close" title={app.t.win.close} aria-label={app.t.win.close} onClick={() => void app.protocol.closeToTray()}>
        <Icon name="close" size={16} />
      </button>
    </header>
  );
}

function Nav() {
  const app = useApp();
  const count = (kind: 'mouse' | 'keyboard') => Array.from(app.sessions.values()).filter((s) => s.kind === kind).length;
  const badge: Partial<Record<ScreenId, number>> = { devices: app.devices.length, mouse: count('mouse'), keyboard: count('keyboard') };
  return (
    <nav class="nav" aria-label={app.t.appName}>
      {NAV.map((g) => (
        <div class="nav-group" key={g.group}>
          <div class="nav-title">{app.t.nav[g.group]}</div>
          {g.items.map((item) => (
            <button
              type="button"
              key={item.id}
              class="nav-item"
              data-screen={item.id}
              aria-current={app.screen === item.id ? 'page' : undefined}
              onClick={() => app.go(item.id)}
            >
              <Icon name={item.icon} />
              <span>{app.t.nav[item.id]}</span>
              {item.id !== 'devices' && badge[item.id] === 0 ? null : badge[item.id] ? <span class="count">{badge[item.id]}</span> : null}
            </button>
          ))}
        </div>
      ))}
      <div class="nav-foot">
        <button type="button" class="nav-diag" aria-label={app.t.diag.title} title={`${app.t.diag.title} (Ctrl+Shift+D)`} onClick={() => ((app.diagnostics = true), app.changed())}>
          <Icon name="bug" size={14} />
        </button>
        <span class="version">2.0</span>
      </div>
    </nav>
  );
}

function Notices() {
  const app = useApp();
  return (
    <div class="notices" aria-live="assertive">
      {app.notices.map((n) => (
        <div class={`notice ${n.kind}`} key={n.id} role={n.kind === 'error' ? 'alert' : 'status'}>
          <Icon name={n.kind === 'error' ? 'alert' : 'check'} />
          <span class="notice-text">{n.text}</span>
          {n.retry && (
            <button type="button" class="btn small" onClick={n.retry}>
              {app.t.common.retry}
            </button>
          )}
          <button type="button" class="icon-btn" aria-label={app.t.common.dismiss} onClick={() => app.dismiss(n.id)}>
            <Icon name="close" size={14} />
          </button>
        </div>
      ))}
    </div>
  );
}

export function App() {
  const app = useApp();
  useEffect(() => {
    const onKey = (e: KeyboardEvent) => {
      if (e.ctrlKey && e.shiftKey && e.code === 'KeyD') {
        e.preventDefault();
        app.diagnostics = !app.diagnostics;
        app.changed();
      }
    };
    window.addEventListener('keydown', onKey);
    return () => window.removeEventListener('keydown', onKey);
  }, [app]);
  const Screen = SCREENS[app.screen];
  return (
    <div class="shell">
      <a class="skip-link" href="#content" onClick={(e) => (e.preventDefault(), document.getElementById('content')?.focus())}>
        {app.t.skip}
      </a>
      <TitleBar />
      <div class="body">
        <Nav />
        <main class="content" id="content" tabIndex={-1} key={app.screen}>
          {!app.protocol.connected && <div class="banner error">{app.t.bridgeMissing}</div>}
          <Screen />
        </main>
      </div>
      <Notices />
      {app.diagnostics && <Diagnostics />}
    </div>
  );
}
