// The log viewers and the About box in the browser (run by tests/console_logs_test.cc):
//   node console_logs.js WARDENIX
// The program folder's PhoneOuts.log holds 450 numbered lines, then a line that looks like
// markup and holds a byte that is no UTF-8. WARDENIX is the console program, run here at the
// shell so that the console's own log gains lines while its viewer is open.
'use strict';
const assert = require('assert');
const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');
const { openConsole, run } = require('./console');

const home = process.env.WDX_HOME;
const wardenix = process.argv[2];
const kVerified = 'WdxSvc is verified up and running.';

run(async () => {
  assert.ok(home && wardenix, 'usage: WDX_HOME=... node console_logs.js WARDENIX');
  const con = await openConsole();
  const { page } = con;
  const lineCount = (name) => page.locator('#log-lines-' + name + ' .log-line').count();
  const waitForCount = (name, count) => page.waitForFunction(([n, c]) =>
    document.querySelectorAll('#log-lines-' + n + ' .log-line').length === c, [name, count]);

  // The newest page first, its last line shown as text; "Older" pages back to the first line.
  await page.evaluate(() => wdx.features.openLog('phone'));
  await page.waitForSelector('[data-dialog="log-phone"] #log-lines-phone .log-line');
  assert.strictEqual(await lineCount('phone'), 200);
  const last = page.locator('#log-lines-phone .log-line').last();
  assert.strictEqual(await last.textContent(), '<b>not bold</b> M\uFFFDller');
  assert.strictEqual(await page.locator('#log-lines-phone b').count(), 0);
  assert.match(await page.textContent('#log-status-phone'), /^PhoneOuts\.log: following/);
  await page.click('#log-older-phone');
  await waitForCount('phone', 400);
  await page.click('#log-older-phone');
  await waitForCount('phone', 451);
  assert.strictEqual(await page.locator('#log-lines-phone .log-line').first().textContent(),
    'phone line 1');
  assert.ok(await page.isDisabled('#log-older-phone'), 'Older stays enabled at the first line');
  await con.shot('log-phone');

  // Rotated as the logs are: the file moves aside and a new one begins; the viewer starts again.
  fs.renameSync(path.join(home, 'PhoneOuts.log'), path.join(home, 'PhoneOuts.old'));
  fs.writeFileSync(path.join(home, 'PhoneOuts.log'), 'after rotation\r\r\n');
  await page.waitForFunction(() => {
    const lines = document.querySelectorAll('#log-lines-phone .log-line');
    return lines.length === 1 && lines[0].textContent === 'after rotation';
  });
  await page.click('#log-close-phone');
  await page.waitForSelector('[data-dialog="log-phone"]', { state: 'detached' });

  // The console's log follows what a console at the shell writes into it.
  await page.evaluate(() => wdx.features.openLog('console'));
  await page.waitForSelector('#log-status-console:has-text("Wardenix.log")');
  const verified = () => page.locator('#log-lines-console .log-line', { hasText: kVerified })
    .count();
  const before = await verified();
  execFileSync(wardenix, ['service', 'install'], { env: process.env, stdio: 'ignore' });
  await page.waitForFunction(([text, count]) => [...document.querySelectorAll(
    '#log-lines-console .log-line')].filter((line) => line.textContent.endsWith(text))
    .length === count, [kVerified, before + 1], { timeout: 15000 });
  await con.shot('log-console');
  await page.keyboard.press('Escape');  // Close is the dialog's cancel button
  await page.waitForSelector('[data-dialog="log-console"]', { state: 'detached' });

  await page.evaluate(() => wdx.features.openAbout());
  await page.waitForSelector('[data-dialog="about"] #about-folder');
  assert.strictEqual(await page.textContent('#about-product'), 'Wardenix Version 1.0');
  assert.strictEqual(await page.textContent('#about-folder'),
    'Program folder: ' + home.replace(/\/?$/, '/'));
  assert.strictEqual(await page.textContent('#about-copyright'),
    'Copyright (c) Wardenix. All rights reserved.');
  await con.shot('about');
  await page.click('#about-ok');
  await page.waitForSelector('[data-dialog="about"]', { state: 'detached' });
  con.assertNoProblems();
  await con.close();
});
