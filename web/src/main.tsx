// Start of the pages: the protocol and event clients over the client's bridge, the state, and
// the frame. Logged lines ("bridge: connected", "pages: interactive") go to the client's log.
import { render } from 'preact';
import { CommandClient, windowBridge } from './bridge/protocol';
import { EventClient } from './bridge/events';
import { detectLocale } from './i18n';
import { App as AppState } from './model/app';
import { App } from './ui/App';
import { AppContext } from './ui/kit';
import { restoreKeyMap } from './ui/screens/KeyMaps';
import './styles/app.css';

function storage(): Storage | null {
  try {
    return window.localStorage;
  } catch {
    return null;
  }
}

const locale = detectLocale(navigator.languages, navigator.language);
document.documentElement.lang = locale === 'en' ? 'en' : 'zh-CN';
const protocol = new CommandClient(windowBridge());
const app = new AppState(protocol, EventClient.fromWindow(), storage(), locale);
(window as unknown as { kfApp: AppState }).kfApp = app;
console.log(protocol.connected ? 'bridge: connected' : 'bridge: not available');
render(
  <AppContext.Provider value={app}>
    <App />
  </AppContext.Provider>,
  document.getElementById('root')!,
);
app.start();
restoreKeyMap(app);
requestAnimationFrame(() => console.log(`pages: interactive ${Math.round(performance.now())} ms`));
