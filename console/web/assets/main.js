// The main window: the status picture, the status list, Go and Stop, the settings and log
// buttons, Minutes and Log Events, Report, Help, StopService, CloseConsole and About. It follows
// GET /api/main/state about twice a second; the window itself runs in the console
// (/api/main/press queues a press there), so the page only shows what it reads.
'use strict';

(function () {
  const wdx = window.wdx;
  const el = wdx.el;
  const POLL_MS = 500;
  const STATE_NAMES = {
    1000: 'Stopped', 1001: 'Running', 1002: 'Testing', 1003: 'Failing',
    1004: 'Waiting (automatic GO pending)', 1005: 'Remote URL failing',
  };

  const ui = {};
  const shownBoxes = new Set();
  let reportsBefore = null;  // reports done when Report was pressed; null: none wanted
  let closed = false;

  function press(button) {
    wdx.api.post('/api/main/press', { button }).catch(showError);
    if (button === 'report') reportsBefore = ui.reportsDone;
  }

  function showError(err) {
    wdx.messageBox('Wardenix', err.message);
  }

  function button(id, label, onClick, title) {
    return el('button', { id, type: 'button', onclick: onClick, title: title || label }, label);
  }

  function openFile(path) {
    const tab = window.open(path, '_blank');
    if (tab) {
      tab.opener = null;
    } else {
      wdx.messageBox('Wardenix', 'Open ' + path + ' of this console in a new tab.');
    }
  }

  function build(root) {
    ui.picture = el('img', { id: 'main-picture', src: '/assets/state-1000.svg', width: '160',
      height: '120', alt: STATE_NAMES[1000] });
    ui.pictureName = el('div', { id: 'main-picture-name', class: 'main-picture-name' }, STATE_NAMES[1000]);
    ui.list = el('ol', { id: 'main-status-list', class: 'main-status-list', 'aria-live': 'polite' });
    ui.go = button('main-go', 'Go', () => press('go'), 'Enter GO mode');
    ui.stop = button('main-stop', 'Stop', () => press('stop'), 'Leave GO mode');
    ui.settings = button('main-settings', 'Settings', () => wdx.features.openSettingsHub());
    ui.minutes = el('input', { id: 'main-minutes', type: 'number', min: '1', step: '1',
      onchange: () => {
        wdx.api.post('/api/main/minutes', { value: ui.minutes.value }).catch(showError);
      } });
    ui.logEvents = el('input', { id: 'main-log-events', type: 'checkbox',
      onchange: () => {
        wdx.api.post('/api/main/log-events', { on: ui.logEvents.checked }).catch(showError);
      } });
    ui.useIni = el('input', { id: 'main-use-ini', type: 'checkbox', disabled: true });
    ui.autoDetect = el('input', { id: 'main-auto-detect', type: 'checkbox', disabled: true });
    ui.report = button('main-report', 'Report', () => press('report'), 'Write the uptime report');
    ui.reportsDone = 0;

    const logButtons = [['console', 'Console'], ['service', 'Service'], ['uptime', 'UpTime'],
      ['phone', 'Phone']].map(([name, label]) =>
      button('main-log-' + name, label, () => wdx.features.openLog(name), 'Open the ' + label + ' log'));

    root.replaceChildren(el('div', { class: 'main-layout' },
      el('section', { class: 'main-panel main-state' },
        ui.picture, ui.pictureName,
        el('div', { class: 'main-go-stop' }, ui.go, ui.stop)),
      el('section', { class: 'main-panel main-status' },
        el('h2', {}, 'Status'), ui.list),
      el('section', { class: 'main-panel main-controls' },
        el('div', { class: 'main-row' }, ui.settings,
          el('label', { class: 'main-field', for: 'main-minutes' }, 'Minutes'), ui.minutes,
          el('label', { class: 'main-check' }, ui.logEvents, 'Log Events'),
          el('label', { class: 'main-check' }, ui.useIni, 'Use Ini'),
          el('label', { class: 'main-check' }, ui.autoDetect, 'Auto Detect')),
        el('div', { class: 'main-row' }, el('span', { class: 'main-caption' }, 'Logs'), ...logButtons),
        el('div', { class: 'main-row' }, ui.report,
          button('main-help', 'Help', () => openFile('/files/Wardenix.htm')),
          button('main-about', 'About', () => wdx.features.openAbout()),
          el('span', { class: 'main-spacer' }),
          button('main-stop-service', 'StopService', () => press('stopService'),
            'Stop and remove the monitor service'),
          button('main-close-console', 'CloseConsole', () => press('closeConsole'),
            'Close this console; the service keeps running')))));
  }

  function renderList(lines) {
    const items = lines.map((line, i) =>
      el('li', i === lines.length - 1 ? { class: 'selected', 'aria-selected': 'true' } : {}, line));
    ui.list.replaceChildren(...items);
    ui.list.scrollTop = ui.list.scrollHeight;
  }

  function render(state) {
    const picture = String(state.picture);
    if (ui.picture.dataset.state !== picture) {
      ui.picture.dataset.state = picture;
      ui.picture.src = '/assets/state-' + picture + '.svg';
      ui.picture.alt = STATE_NAMES[picture] || picture;
      ui.pictureName.textContent = STATE_NAMES[picture] || picture;
    }
    if (ui.list.dataset.added !== String(state.linesAdded)) {
      ui.list.dataset.added = String(state.linesAdded);
      renderList(state.statusList);
    }
    ui.go.disabled = !state.buttons.go;
    ui.stop.disabled = !state.buttons.stop;
    ui.settings.disabled = !state.buttons.settings;
    ui.minutes.disabled = !state.buttons.minutes;
    ui.logEvents.disabled = !state.buttons.logEvents;
    if (document.activeElement !== ui.minutes) ui.minutes.value = String(state.minutes);
    ui.logEvents.checked = state.logEvents;
    ui.useIni.checked = state.useIni;
    ui.autoDetect.checked = state.autoDetect;
    ui.report.disabled = state.report.running;
    document.getElementById('main-window').dataset.goActive = state.goActive ? '1' : '0';
    ui.reportsDone = state.report.done;
    if (reportsBefore !== null && state.report.done > reportsBefore) {
      reportsBefore = null;
      if (state.report.ok) {
        openFile('/files/UptimeReport.html');
      } else {
        wdx.messageBox('Report', 'The uptime report could not be written. See the console log.');
      }
    }
    for (const box of state.messageBoxes) {
      if (shownBoxes.has(box.id)) continue;
      shownBoxes.add(box.id);
      wdx.messageBox(box.title, box.text).then(() =>
        wdx.api.post('/api/main/dismiss', { id: box.id }).catch(() => {}));
    }
    if (state.closing) close();
  }

  function close() {
    closed = true;
    document.getElementById('main-window').replaceChildren(el('section',
      { id: 'main-closed', class: 'main-panel main-closed' },
      el('h2', {}, 'The console has closed.'),
      el('p', {}, 'The monitor service keeps running. Run "wardenix console" to open it again.')));
  }

  async function poll() {
    try {
      render(await wdx.api.get('/api/main/state'));
    } catch (err) {
      // common.js shows a notice when the console does not answer; keep asking.
    }
    if (!closed) setTimeout(poll, POLL_MS);
  }

  wdx.ready.then(() => {
    build(document.getElementById('main-window'));
    poll();
  });
})();
