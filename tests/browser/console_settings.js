// The settings hub and its dialogs in the browser: each dialog is edited and saved (the C++
// side reads AutoSet.caf afterwards), the refusals show their texts, and a screenshot of each
// dialog is written.
//   node console_settings.js SMTP_PORT
// SMTP_PORT: a mail server on 127.0.0.1 that greets with "220" (the e-mail dialog's Test).
'use strict';
const assert = require('assert');
const path = require('path');
const { openConsole, run } = require('./console');

const home = process.env.WDX_HOME;
const smtpPort = process.argv[2];

function dialog(id) {
  return '[data-dialog="' + id + '"]';
}

// Waits for the one message box, checks its text and presses its OK.
async function expectMessage(page, text) {
  await page.waitForSelector(dialog('message-box'));
  const shown = await page.$eval(dialog('message-box') + ' .wdx-message', (e) => e.textContent);
  assert.strictEqual(shown, text);
  await page.click('#message-box-ok');
  await page.waitForSelector(dialog('message-box'), { state: 'detached' });
}

async function openFromHub(con, button, id) {
  await con.page.click('#' + button);
  await con.page.waitForSelector(dialog(id));
}

async function pressOk(page, api) {
  await page.click('#' + api + '-ok');
}

async function expectClosed(page, id) {
  await page.waitForSelector(dialog(id), { state: 'detached' });
}

async function listValues(page, selector) {
  return page.$$eval(selector + ' option', (options) => options.map((o) => o.textContent));
}

async function editRequired(con) {
  const page = con.page;
  await openFromHub(con, 'hub-basic', 'settings-required');
  assert.strictEqual(await page.inputValue('#required-RstrSecs'), '300');
  assert.strictEqual(await page.getAttribute('#required-Password', 'type'), 'password');
  assert.strictEqual(await page.getAttribute('#required-Confirm', 'type'), 'password');
  await page.fill('#required-AdminId', 'ops');
  await page.fill('#required-Password', 'pw1');
  await page.fill('#required-Confirm', 'pw2');
  await pressOk(page, 'required');
  await expectMessage(page, 'Password does not confirm.\r Please retype paswords');
  await expectClosed(page, 'settings-required');
  await openFromHub(con, 'hub-basic', 'settings-required');
  assert.strictEqual(await page.inputValue('#required-AdminId'), '', 'a mismatch saved nothing');
  await page.fill('#required-AdminId', 'ops');
  await page.fill('#required-Password', 'pw1');
  await page.fill('#required-Confirm', 'pw1');
  await page.fill('#required-DomainName', 'corp');
  await page.fill('#required-RestartsB4Reboot', '3');
  await page.fill('#required-RstrSecs', '5');
  await con.shot('settings-required');
  await pressOk(page, 'required');
  await expectClosed(page, 'settings-required');
}

async function editUrls(con, api, button, typed, stored) {
  const page = con.page;
  await openFromHub(con, button, 'settings-' + api);
  assert.ok(await page.isDisabled('#' + api + '-save'));
  for (const text of typed) {
    await page.click('#' + api + '-new');
    await page.fill('#' + api + '-edit', text);
    await page.click('#' + api + '-save');
    await page.waitForSelector('#' + api + '-edit:disabled');  // the entry is in
  }
  assert.deepStrictEqual(await listValues(page, '#' + api + '-list'), stored);
  await con.shot('settings-' + api);
  await pressOk(page, api);
  await expectClosed(page, 'settings-' + api);
}

async function pickFile(con, listId, name, shot) {
  const page = con.page;
  await page.click('#' + listId + '-new');
  await page.waitForSelector(dialog('settings-file-pick'));
  await page.fill('#file-pick-path', path.join(home, 'no such program'));
  await page.click('#file-pick-ok');
  await expectMessage(page, 'There is no file ' + path.join(home, 'no such program') + '.');
  await page.click('#file-pick-entries button[data-name="' + name + '"]');
  if (shot) await con.shot(shot);
  await page.click('#file-pick-ok');
  await expectClosed(page, 'settings-file-pick');
}

async function editPrograms(con) {
  const page = con.page;
  await openFromHub(con, 'hub-programs', 'settings-programs');
  await pickFile(con, 'programs-monitor', 'watched app.sh', 'settings-file-pick');
  await pickFile(con, 'programs-start', 'starter.sh', null);
  assert.deepStrictEqual(await listValues(page, '#programs-monitor-list'), [home + 'watched app.sh']);
  await con.shot('settings-programs');
  await pressOk(page, 'programs');
  await expectMessage(page, 'You must now shut down then restart Wardenix \r\nto make your chages effective.');
  await expectClosed(page, 'settings-programs');
}

async function editPhone(con) {
  const page = con.page;
  await openFromHub(con, 'hub-phone', 'settings-phone');
  await page.fill('#phone-MsgDown', 'The server is down.');
  await page.fill('#phone-MsgUp', 'The server is up.');
  await page.fill('#phone-PName1', 'Ann');
  await page.fill('#phone-PNum1', 'sim:ann');
  await page.check('#phone-PE1');
  await page.fill('#phone-PName2', 'Bob');
  await page.check('#phone-PE2');
  await pressOk(page, 'phone');
  await expectMessage(page, 'Problem: One or more enabled phones are missing Name or Number.');
  assert.ok(await page.isVisible(dialog('settings-phone')), 'the phone dialog stays open');
  await page.uncheck('#phone-PE2');
  await con.shot('settings-phone');
  await pressOk(page, 'phone');
  await expectClosed(page, 'settings-phone');
}

async function editOptions(con) {
  const page = con.page;
  await openFromHub(con, 'hub-options', 'settings-options');
  assert.ok(await page.isChecked('#options-WATCH'), 'Auto Detect is on by default');
  assert.ok(await page.isDisabled('#options-GOS'));
  assert.ok(await page.isDisabled('#options-UseIIS'));
  await page.check('#options-UseIni');
  await page.uncheck('#options-WATCH');
  await con.shot('settings-options');
  await pressOk(page, 'options');
  await expectClosed(page, 'settings-options');
}

async function editEmail(con) {
  const page = con.page;
  await openFromHub(con, 'hub-email', 'settings-email');
  await page.check('#email-EmailEnabled');
  await page.fill('#email-SmtpServer', '127.0.0.1:' + smtpPort);
  await page.fill('#email-EmailFrom', 'wdx@site.test');
  await page.fill('#email-EmailSubject', 'Server up');
  await page.fill('#email-EmailSubjectDn', 'Server down');
  await page.fill('#email-EmailBodyUp', 'It is up.');
  await page.fill('#email-EmailBodyDown', 'It is\ndown.');
  await page.fill('#email-EmailUrl', 'site.test/');
  await page.click('#email-recipients-new');
  await page.fill('#email-recipients-edit', 'ops@site.test');
  await page.click('#email-recipients-save');
  await page.waitForSelector('#email-recipients-edit:disabled');
  await page.click('#email-test');
  await expectMessage(page, '127.0.0.1  OK. Email server found.');
  await con.shot('settings-email');
  await pressOk(page, 'email');
  // Saved, then refused by its check: the dialog closes all the same.
  await expectMessage(page, "Incorrect EmailUrl format. Use 'http://' header.");
  await expectClosed(page, 'settings-email');
}

async function editAudit(con) {
  const page = con.page;
  await openFromHub(con, 'hub-audit', 'settings-audit');
  const lines = await listValues(page, '#audit-list');
  assert.ok(lines.includes('DomainName=corp'), lines.join('|'));
  assert.ok(lines.includes('[URLS]'), lines.join('|'));
  await con.shot('settings-audit');
  await page.selectOption('#audit-list', { label: 'DomainName=corp' });
  await page.click('#audit-delete');
  assert.deepStrictEqual(await listValues(page, '#audit-list'), lines.filter((l) => l !== 'DomainName=corp'));
  await pressOk(page, 'audit');
  await expectClosed(page, 'settings-audit');
}

run(async () => {
  assert.ok(home && smtpPort, 'WDX_HOME and the SMTP port are needed');
  const con = await openConsole();
  const page = con.page;
  await page.click('#main-settings');
  await page.waitForSelector(dialog('settings-hub'));
  const notes = await page.$$eval('.settings-note', (cells) => cells.map((c) => c.textContent));
  assert.strictEqual(notes.length, 9);
  assert.strictEqual(notes[3], 'Required. Will verify your settings.');
  await con.shot('settings-hub');
  // "Test and Set" opens the sensitivity test on top of the hub.
  await openFromHub(con, 'hub-sense', 'sense');
  await page.waitForSelector('#sense-slider:enabled');
  await page.click('#sense-cancel');
  await expectClosed(page, 'sense');

  await editRequired(con);
  await editUrls(con, 'urls', 'hub-urls', ['www.site.test/a', 'ftp://files.site.test/b', '  '],
    ['http://www.site.test/a', 'http://files.site.test/b']);
  await editUrls(con, 'rurls', 'hub-rurls', ['https://remote.test/'], ['http://remote.test/']);
  await editPrograms(con);
  await editPhone(con);
  await editOptions(con);
  await editEmail(con);
  await editAudit(con);

  // Closing the hub tells the main window to check and publish the settings again.
  const [closed] = await Promise.all([
    page.waitForResponse((reply) => reply.url().endsWith('/api/main/settings-closed')),
    page.click('#hub-close'),
  ]);
  assert.strictEqual(closed.status(), 200, 'the main window did not take the closed hub');
  await expectClosed(page, 'settings-hub');
  con.assertNoProblems();
  await con.close();
});
