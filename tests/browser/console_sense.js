// The sensitivity test dialog in the browser: the stored value on the slider, Home and End,
// the warning, Test (with the "computing" picture and the progress bar over the sample while a
// failing sample runs), the pass or fail picture with "Failed Item", and OK storing the slider's
// value.
//   node console_sense.js EXPECT [ITEM] [STORE]
// EXPECT is "pass" or "fail"; ITEM the failed item expected; STORE the value OK stores (set
// with the arrow keys from 0), or "cancel" to leave with Cancel.
'use strict';
const assert = require('assert');
const { openConsole, run } = require('./console');

const [expect, item = '', store = 'cancel'] = process.argv.slice(2);

// What the dialog shows, for the message of a failed wait.
function dialogState(page) {
  return page.evaluate(() => ({
    progress: document.getElementById('sense-progress-text').textContent,
    picture: document.getElementById('sense-picture').getAttribute('data-picture'),
    failedItem: document.getElementById('sense-failed-item').value,
  }));
}

run(async () => {
  assert.ok(expect === 'pass' || expect === 'fail', 'EXPECT is pass or fail');
  const con = await openConsole();
  const page = con.page;
  await page.evaluate(() => window.wdx.features.openSensitivity());
  const dialog = page.locator('[data-dialog="sense"]');
  await dialog.waitFor();
  await page.waitForSelector('#sense-slider:not([disabled])');
  assert.strictEqual(await page.inputValue('#sense-value'), '3', 'the stored value');
  assert.strictEqual(await page.textContent('#sense-warning'),
    'Tests can run up to 130 seconds and cannot be stopped.');
  assert.strictEqual(await page.isVisible('#sense-picture'), false, 'no picture before a test');

  await page.focus('#sense-slider');
  await page.keyboard.press('End');
  assert.strictEqual(await page.inputValue('#sense-value'), '100', 'End');
  await page.keyboard.press('Home');
  assert.strictEqual(await page.inputValue('#sense-value'), '0', 'Home');

  await page.click('#sense-test');
  if (expect === 'fail') {
    // A failing sample lasts its whole time (a passing one ends once every counter moved).
    await page.waitForSelector('#sense-picture[data-picture="computing"]');
    assert.ok(await page.isDisabled('#sense-test'), 'Test is disabled while a test runs');
    await page.waitForFunction(() => {
      const text = document.getElementById('sense-progress-text').textContent;
      return /^Sampling: [1-9]\d* of 10 s$/.test(text);
    }, null, { timeout: 30000 }).catch(async (err) => {
      throw new Error(err.message + ': ' + JSON.stringify(await dialogState(page)));
    });
    const bar = await page.evaluate(() => {
      const progress = document.getElementById('sense-progress');
      return { max: progress.max, value: progress.value, hidden: progress.hidden };
    });
    assert.strictEqual(bar.max, 10, 'the bar spans the sample');
    assert.ok(bar.value >= 1 && bar.value <= 10 && !bar.hidden, JSON.stringify(bar));
    await con.shot('sense-running');
  }

  await page.waitForSelector('#sense-picture[data-picture="' + expect + '"]', { timeout: 60000 });
  assert.strictEqual(await page.inputValue('#sense-failed-item'), item, 'Failed Item');
  assert.ok(!(await page.isDisabled('#sense-test')), 'Test is enabled again');
  assert.strictEqual(await page.isVisible('#sense-progress'), false, 'no bar after the test');
  await con.shot('sense-' + expect);

  if (store === 'cancel') {
    await page.click('#sense-cancel');
  } else {
    await page.focus('#sense-slider');
    for (let i = 0; i < Number(store); ++i) await page.keyboard.press('ArrowRight');
    assert.strictEqual(await page.inputValue('#sense-value'), store, 'arrow keys');
    await page.click('#sense-ok');
  }
  await dialog.waitFor({ state: 'detached' });
  con.assertNoProblems();
  await con.close();
});
