// The main window against the real service: start-up, Go, the status picture and list following
// a local URL that fails and recovers, Help, Stop. Arguments: the URLs that make the watched page
// fail and recover.
'use strict';
const assert = require('assert');
const { openConsole, run } = require('./console');

const [failUrl, recoverUrl] = process.argv.slice(2);
const LONG = { timeout: 90000 };

async function waitForPicture(page, states) {
  const selector = states.map((s) => `#main-picture[data-state="${s}"]`).join(', ');
  await page.waitForSelector(selector, LONG);
}

async function statusText(page) {
  return page.$eval('#main-status-list', (list) => list.textContent);
}

run(async () => {
  assert.ok(failUrl && recoverUrl, 'the fail and recover URLs are arguments');
  const con = await openConsole();
  const { page } = con;
  await page.waitForFunction(() =>
    document.querySelector('#main-status-list')?.textContent.includes('WDXSvc is running normally.'),
  null, LONG);
  await page.waitForSelector('#main-go:not([disabled])', LONG);
  assert.ok(await page.$('#main-stop[disabled]'), 'Stop is disabled while idle');
  assert.strictEqual(await page.$eval('#main-minutes', (box) => box.value), '1');
  await con.shot('main-idle');

  await page.click('#main-go');
  await page.waitForSelector('#main-window[data-go-active="1"]', LONG);
  await waitForPicture(page, [1001, 1002]);
  assert.ok(await page.$('#main-go[disabled]'), 'Go is disabled in GO mode');
  assert.ok(await page.$('#main-settings[disabled]'), 'Settings is disabled in GO mode');
  assert.ok(await page.$('#main-minutes[disabled]'), 'Minutes is disabled in GO mode');
  await con.shot('main-go');

  assert.strictEqual((await fetch(failUrl)).status, 200);
  await waitForPicture(page, [1003]);
  assert.strictEqual(await page.$eval('#main-picture', (img) => img.getAttribute('src')),
    '/assets/state-1003.svg');
  await con.shot('main-failing');
  assert.strictEqual((await fetch(recoverUrl)).status, 200);
  await waitForPicture(page, [1001]);
  await con.shot('main-recovered');
  const lines = await page.$$eval('#main-status-list li', (items) => items.length);
  assert.ok(lines >= 2 && lines <= 21, 'the status list holds ' + lines + ' lines');
  assert.strictEqual(await page.$$eval('#main-status-list li.selected', (items) => items.length), 1);

  const [help] = await Promise.all([page.context().waitForEvent('page'), page.click('#main-help')]);
  await help.waitForLoadState('load');
  assert.strictEqual(await help.title(), 'Wardenix help');
  await help.close();

  await page.click('#main-stop');
  await page.waitForFunction(() =>
    document.querySelector('#main-status-list')?.textContent.includes('Is Now Stopped.'),
  null, LONG);
  await page.waitForSelector('#main-window[data-go-active="0"]', LONG);
  await page.waitForSelector('#main-go:not([disabled])', LONG);
  await waitForPicture(page, [1000, 1004]);
  assert.ok((await statusText(page)).includes('STOP command. Stopping now.....'));
  await con.shot('main-stopped');
  con.assertNoProblems();
  await con.close();
});
