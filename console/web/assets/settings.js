// The settings hub and its dialogs. Every dialog reads its fields from GET
// /api/settings/<dialog> and its OK posts them back; the reply's messages are shown one after
// the other, and the dialog closes when the reply says so. Values are put into the page only as
// text nodes and input values (wdx.el), never as markup.
(function () {
  'use strict';

  const el = (...args) => wdx.el(...args);

  // Shows the texts one after the other, each in its own message box.
  async function showMessages(messages) {
    for (const text of messages || []) await wdx.messageBox('Wardenix', text);
  }

  async function showError(error) {
    await wdx.messageBox('Wardenix', error && error.message ? error.message : String(error));
  }

  function field(id, label, value, attrs) {
    const input = el('input', Object.assign({id: id, type: 'text', 'class': 'settings-input'}, attrs || {}));
    input.value = value == null ? '' : value;
    return {row: el('label', {'class': 'settings-field', 'for': id}, el('span', {}, label), input), input: input};
  }

  function checkbox(id, label, checked, attrs) {
    const input = el('input', Object.assign({id: id, type: 'checkbox'}, attrs || {}));
    input.checked = !!checked;
    return {row: el('label', {'class': 'settings-check', 'for': id}, input, el('span', {}, label)), input: input};
  }

  function textArea(id, label, value) {
    const input = el('textarea', {id: id, 'class': 'settings-input', rows: '3'});
    input.value = value == null ? '' : value;
    return {row: el('label', {'class': 'settings-field', 'for': id}, el('span', {}, label), input), input: input};
  }

  // A list with an edit line and "New", "Save", "Delete". options.normalize: "Save" stores the
  // typed URL as the console normalises it; options.pickFile: "New" asks for a program file.
  function listBox(id, title, entries, options) {
    options = options || {};
    const list = el('select', {id: id + '-list', 'class': 'settings-list', size: '7'});
    const edit = el('input', {id: id + '-edit', type: 'text', 'class': 'settings-input', disabled: ''});
    const save = el('button', {id: id + '-save', type: 'button', disabled: ''}, 'Save');
    const add = el('button', {id: id + '-new', type: 'button'}, 'New');
    const remove = el('button', {id: id + '-delete', type: 'button'}, 'Delete');
    const insert = (text) => {
      const option = el('option', {}, text);
      const before = list.selectedIndex >= 0 ? list.options[list.selectedIndex] : null;
      list.insertBefore(option, before);
    };
    for (const entry of entries || []) list.appendChild(el('option', {}, entry));
    add.addEventListener('click', async () => {
      if (options.pickFile) {
        const path = await pickProgramFile(options.filter);
        if (path) insert(path);
        return;
      }
      edit.value = '';
      edit.disabled = false;
      save.disabled = false;
      edit.focus();
    });
    save.addEventListener('click', async () => {
      let text = edit.value.trim();
      if (text && options.normalize) {
        try {
          text = (await wdx.api.post('/api/settings/normalize-url', {text: text})).entry;
        } catch (error) {
          await showError(error);
          return;
        }
      }
      if (text) insert(text);
      edit.value = '';
      edit.disabled = true;
      save.disabled = true;
      add.disabled = false;
    });
    remove.addEventListener('click', () => {
      if (list.selectedIndex >= 0) list.remove(list.selectedIndex);
    });
    const buttons = options.pickFile ? [add, remove] : [add, save, remove];
    const parts = [el('div', {'class': 'settings-list-title'}, title), list];
    if (!options.pickFile) parts.push(edit);
    parts.push(el('div', {'class': 'settings-list-buttons'}, ...buttons));
    return {
      element: el('div', {'class': 'settings-listbox', id: id}, ...parts),
      values: () => Array.from(list.options, (option) => option.textContent),
    };
  }

  // The file filter of a program list as {label, pattern} choices ("*" for every file).
  function filterChoices(filter) {
    const pieces = filter.split('|').filter((piece) => piece.trim() !== '');
    const choices = [{label: 'All Files (*)', pattern: '*'}];
    for (let i = 0; i + 1 < pieces.length; i += 2) choices.push({label: pieces[i].trim(), pattern: pieces[i + 1].trim()});
    return choices;
  }

  function matches(name, pattern) {
    return pattern === '*' || (pattern.startsWith('*.') && name.toLowerCase().endsWith(pattern.slice(1).toLowerCase()));
  }

  // Asks for an existing file by its full path, with a small folder browser. Resolves to the
  // path, or null when cancelled.
  function pickProgramFile(filter) {
    return new Promise((resolve) => {
      const path = el('input', {id: 'file-pick-path', type: 'text', 'class': 'settings-input'});
      const folderLine = el('div', {id: 'file-pick-folder', 'class': 'settings-folder'});
      const listing = el('ul', {id: 'file-pick-entries', 'class': 'settings-entries'});
      const choices = filterChoices(filter || '');
      const type = el('select', {id: 'file-pick-type'}, ...choices.map((choice, i) => el('option', {value: String(i)}, choice.label)));
      let current = '/';
      let last = null;
      // No folder: the program folder.
      const browse = async (folder) => {
        try {
          last = await wdx.api.get('/api/settings/programs/browse', folder ? {folder: folder} : undefined);
        } catch (error) {
          await showError(error);
          return;
        }
        current = last.folder;
        draw();
      };
      const draw = () => {
        folderLine.textContent = current;
        listing.replaceChildren();
        if (current !== '/') listing.appendChild(el('li', {}, el('button', {type: 'button', 'class': 'settings-entry', onclick: () => browse(last.parent)}, '..')));
        const pattern = choices[Number(type.value) || 0].pattern;
        for (const entry of last.entries) {
          if (!entry.folder && !matches(entry.name, pattern)) continue;
          const target = current + entry.name;
          const onclick = entry.folder ? () => browse(target + '/') : () => { path.value = target; };
          listing.appendChild(el('li', {}, el('button', {type: 'button', 'class': entry.folder ? 'settings-entry settings-entry-folder' : 'settings-entry', 'data-name': entry.name, onclick: onclick}, entry.folder ? entry.name + '/' : entry.name)));
        }
      };
      type.addEventListener('change', () => { if (last) draw(); });
      const dialog = wdx.openDialog({
        id: 'settings-file-pick',
        title: 'Open',
        content: el('div', {'class': 'settings-form'}, folderLine, listing,
          el('label', {'class': 'settings-field', 'for': 'file-pick-path'}, el('span', {}, 'File name'), path),
          el('label', {'class': 'settings-field', 'for': 'file-pick-type'}, el('span', {}, 'Files of type'), type)),
        buttons: [
          {id: 'file-pick-ok', label: 'Open', primary: true, onClick: async () => {
            try {
              const reply = await wdx.api.post('/api/settings/programs/check', {path: path.value});
              if (!reply.ok) {
                await wdx.messageBox('Open', reply.message);
                return;
              }
              dialog.close();
              resolve(reply.path);
            } catch (error) {
              await showError(error);
            }
          }},
          {id: 'file-pick-cancel', label: 'Cancel', cancel: true, onClick: () => { dialog.close(); resolve(null); }},
        ],
      });
      browse(null);
    });
  }

  // Opens one dialog: loads its fields, builds them, and on OK posts what collect() returns.
  async function openSettingsDialog(spec) {
    let data;
    try {
      data = await wdx.api.get('/api/settings/' + spec.api);
    } catch (error) {
      await showError(error);
      return;
    }
    const form = spec.build(data);
    const extra = form.buttons || [];
    const dialog = wdx.openDialog({
      id: 'settings-' + spec.api,
      title: spec.title,
      content: el('div', {'class': 'settings-form settings-' + spec.api}, ...form.parts),
      buttons: extra.concat([
        {id: spec.api + '-ok', label: 'OK', primary: true, onClick: async () => {
          try {
            const reply = await wdx.api.post('/api/settings/' + spec.api, form.collect());
            await showMessages(reply.messages);
            if (reply.closed) dialog.close();
          } catch (error) {
            await showError(error);
          }
        }},
        {id: spec.api + '-cancel', label: 'Cancel', cancel: true, onClick: () => dialog.close()},
      ]),
    });
  }

  function buildRequired(data) {
    const f = {
      admin: field('required-AdminId', 'Administrator ID', data.AdminId),
      password: field('required-Password', 'Password', data.Password, {type: 'password', autocomplete: 'off'}),
      confirm: field('required-Confirm', 'Confirm password', data.Password, {type: 'password', autocomplete: 'off'}),
      domain: field('required-DomainName', "Machine's domain name (if used)", data.DomainName),
      machine: field('required-MachineName', 'Full computer name', data.MachineName, {readonly: ''}),
      restarts: field('required-RestartsB4Reboot', 'Soft restarts before reboot (0: never reboot; 2 suggested)', data.RestartsB4Reboot),
      seconds: field('required-RstrSecs', 'Restarter seconds (at least 15)', data.RstrSecs),
    };
    return {
      parts: Object.values(f).map((x) => x.row),
      collect: () => ({
        AdminId: f.admin.input.value, Password: f.password.input.value, Confirm: f.confirm.input.value,
        DomainName: f.domain.input.value, MachineName: f.machine.input.value,
        RestartsB4Reboot: f.restarts.input.value, RstrSecs: f.seconds.input.value,
      }),
    };
  }

  function buildUrls(title) {
    return (data) => {
      const list = listBox(title.id, title.text, data.entries, {normalize: true});
      return {parts: [list.element], collect: () => ({entries: list.values()})};
    };
  }

  const kMonitorFilter = 'Executable Files (*.exe)|*.exe| DLL Files (*.dll)|*.dll||';
  const kStartFilter = 'Executable Files (*.exe)|*.exe|' + 'HTA Files (*.hta)|*.hta|' + 'CMD Files (*.cmd)|*.cmd|' + 'BAT Files (*.bat)|*.bat||';

  function buildPrograms(data) {
    const monitor = listBox('programs-monitor', 'Programs to MONITOR (optional unless no URLs are specified)', data.monitor, {pickFile: true, filter: kMonitorFilter});
    const start = listBox('programs-start', 'Programs to START when re-starting the server (optional)', data.start, {pickFile: true, filter: kStartFilter});
    return {parts: [monitor.element, start.element], collect: () => ({monitor: monitor.values(), start: start.values()})};
  }

  function buildPhone(data) {
    const down = field('phone-MsgDown', 'Spoken when the server fails', data.MsgDown);
    const up = field('phone-MsgUp', 'Spoken when the server is restored', data.MsgUp);
    const ack = checkbox('phone-PAck', 'Use Acknowledgement', data.PAck);
    const rows = data.rows.map((row, i) => {
      const n = i + 1;
      const name = el('input', {id: 'phone-PName' + n, type: 'text', 'class': 'settings-input', 'aria-label': 'Name ' + n});
      const number = el('input', {id: 'phone-PNum' + n, type: 'text', 'class': 'settings-input', 'aria-label': 'Number ' + n});
      const enabled = el('input', {id: 'phone-PE' + n, type: 'checkbox', 'aria-label': 'Enable ' + n});
      name.value = row.name;
      number.value = row.number;
      enabled.checked = row.enabled;
      return {name: name, number: number, enabled: enabled, element: el('tr', {}, el('td', {}, String(n)), el('td', {}, name), el('td', {}, number), el('td', {}, enabled))};
    });
    const table = el('table', {'class': 'settings-phones'},
      el('thead', {}, el('tr', {}, el('th', {}, 'Call order'), el('th', {}, 'Name'), el('th', {}, 'Number'), el('th', {}, 'Enable'))),
      el('tbody', {}, ...rows.map((row) => row.element)));
    return {
      parts: [down.row, up.row, ack.row, table],
      collect: () => ({
        MsgDown: down.input.value, MsgUp: up.input.value, PAck: ack.input.checked,
        rows: rows.map((row) => ({name: row.name.value, number: row.number.value, enabled: row.enabled.checked})),
      }),
    };
  }

  function buildOptions(data) {
    const useIni = checkbox('options-UseIni', 'Use INI (advanced)', data.UseIni);
    const watch = checkbox('options-WATCH', 'Auto Detect (default)', data.WATCH);
    const gos = checkbox('options-GOS', 'Auto Start (now obsolete)', data.GOS, {disabled: ''});
    const iis = checkbox('options-UseIIS', 'Obsolete: Use IIS 5.0 ', data.UseIIS, {disabled: ''});
    const group = el('fieldset', {'class': 'settings-group'},
      el('legend', {}, 'Check at least one of "Use INI" and "Auto Detect"'), useIni.row, watch.row);
    return {parts: [group, gos.row, iis.row], collect: () => ({UseIni: useIni.input.checked, WATCH: watch.input.checked})};
  }

  function buildEmail(data) {
    const f = {
      enabled: checkbox('email-EmailEnabled', 'Enabled', data.EmailEnabled),
      server: field('email-SmtpServer', 'SMTP server name', data.SmtpServer),
      from: field('email-EmailFrom', 'From address', data.EmailFrom),
      subject: field('email-EmailSubject', 'Up subject', data.EmailSubject),
      subjectDn: field('email-EmailSubjectDn', 'Down subject', data.EmailSubjectDn),
      bodyUp: textArea('email-EmailBodyUp', 'Up message', data.EmailBodyUp),
      bodyDown: textArea('email-EmailBodyDown', 'Down message', data.EmailBodyDown),
      url: field('email-EmailUrl', 'Default e-mail connect URL', data.EmailUrl),
    };
    const recipients = listBox('email-recipients', 'Recipients', data.recipients, {});
    // The greeting can take up to half a minute to fail: one test at a time.
    const test = {id: 'email-test', label: 'Test', onClick: async () => {
      const button = document.getElementById('email-test');
      button.disabled = true;
      try {
        const reply = await wdx.api.post('/api/settings/email/test', {server: f.server.input.value});
        await wdx.messageBox('Email Alerts', reply.text);
      } catch (error) {
        await showError(error);
      } finally {
        button.disabled = false;
      }
    }};
    return {
      parts: Object.values(f).map((x) => x.row).concat([recipients.element]),
      buttons: [test],
      collect: () => ({
        EmailEnabled: f.enabled.input.checked, SmtpServer: f.server.input.value, EmailFrom: f.from.input.value,
        EmailSubject: f.subject.input.value, EmailSubjectDn: f.subjectDn.input.value,
        EmailBodyUp: f.bodyUp.input.value, EmailBodyDown: f.bodyDown.input.value, EmailUrl: f.url.input.value,
        recipients: recipients.values(),
      }),
    };
  }

  function buildAudit(data) {
    const list = el('select', {id: 'audit-list', 'class': 'settings-list settings-audit-list', size: '16'});
    for (const line of data.lines) list.appendChild(el('option', {}, line));
    const remove = el('button', {id: 'audit-delete', type: 'button'}, 'Delete Selected Line');
    remove.addEventListener('click', () => {
      if (list.selectedIndex >= 0) list.remove(list.selectedIndex);
    });
    return {
      parts: [list, el('div', {'class': 'settings-list-buttons'}, remove)],
      collect: () => ({shown: data.lines, lines: Array.from(list.options, (option) => option.textContent)}),
    };
  }

  // The hub: one button per dialog with its note.
  const kHub = [
    {id: 'hub-basic', label: 'Basic', note: 'Required', open: () => openSettingsDialog({api: 'required', title: 'Required Settings', build: buildRequired})},
    {id: 'hub-urls', label: 'Load URLs', note: 'Optional', open: () => openSettingsDialog({api: 'urls', title: 'Load URLs', build: buildUrls({id: 'urls', text: 'URLs of this server, in start-up order'})})},
    {id: 'hub-programs', label: 'Programs', note: 'Optional', open: () => openSettingsDialog({api: 'programs', title: 'Restarter Definitions', build: buildPrograms})},
    {id: 'hub-sense', label: 'Test and Set', note: 'Required. Will verify your settings.', open: () => wdx.features.openSensitivity()},
    {id: 'hub-phone', label: 'Phone Outs', note: 'Optional.. Use if you want phone alerts.', open: () => openSettingsDialog({api: 'phone', title: 'Phone Alerts', build: buildPhone})},
    {id: 'hub-options', label: 'Options', note: 'Optional', open: () => openSettingsDialog({api: 'options', title: 'Options', build: buildOptions})},
    {id: 'hub-email', label: 'Emails', note: 'Optional.. Use if you want email alerts.', open: () => openSettingsDialog({api: 'email', title: 'Email Alerts', build: buildEmail})},
    {id: 'hub-rurls', label: 'Load Remote URLs', note: 'Optional', open: () => openSettingsDialog({api: 'rurls', title: 'Load Remote URLs', build: buildUrls({id: 'rurls', text: 'URLs of other servers'})})},
    {id: 'hub-audit', label: 'Audit', note: 'Optional. This is a diagnostic to view/edit the settings file all at once. Do not do this unless settings are not working properly.', open: () => openSettingsDialog({api: 'audit', title: 'Settings File', build: buildAudit})},
  ];

  function openSettingsHub() {
    const rows = kHub.map((entry) => el('tr', {},
      el('td', {}, el('button', {id: entry.id, type: 'button', 'class': 'settings-hub-button', onclick: () => entry.open()}, entry.label)),
      el('td', {'class': 'settings-note'}, entry.note)));
    const hub = wdx.openDialog({
      id: 'settings-hub',
      title: 'Settings',
      content: el('table', {'class': 'settings-hub'}, el('tbody', {}, ...rows)),
      buttons: [{id: 'hub-close', label: 'Close', cancel: true, onClick: async () => {
        hub.close();
        try {
          await wdx.api.post('/api/main/settings-closed', {});
        } catch (error) {
          await showError(error);
        }
      }}],
    });
    return hub;
  }

  wdx.features = wdx.features || {};
  wdx.features.openSettingsHub = openSettingsHub;
})();
