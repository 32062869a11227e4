// The web console in Debian's chromium, for the browser tests that CConsoleFixture runs.
//
//   const { openConsole, run } = require('./console');
//   run(async () => {
//     const con = await openConsole();          // logged in with WDX_CONSOLE_URL, page ready
//     await con.page.click('#...');
//     await con.shot('main-window');           // WDX_TEST_OUTPUT/main-window.png
//     con.assertNoProblems();                  // no console error, exception or failed request
//     await con.close();
//   });
//
// run() exits with 1 on the first failure (an assert, a time-out) after printing it.
'use strict';
const assert = require('assert');
const path = require('path');
const { launch, watchProblems } = require('./browser');

function consoleUrl() {
  const url = process.env.WDX_CONSOLE_URL;
  assert.ok(url, 'WDX_CONSOLE_URL is not set');
  return url;
}

// "http://127.0.0.1:PORT/"
function baseUrl() {
  return new URL('/', consoleUrl()).href;
}

function outputPath(name) {
  const folder = process.env.WDX_TEST_OUTPUT;
  assert.ok(folder, 'WDX_TEST_OUTPUT is not set');
  return path.join(folder, name + '.png');
}

// Opens a fresh browser, logs in with the token address and waits until the page has its
// session and the main window. options.browserArgs: more chromium switches.
async function openConsole(options = {}) {
  const { context, close } = await launch(options.browserArgs || []);
  const page = await context.newPage();
  const problems = watchProblems(page);
  const response = await page.goto(consoleUrl(), { waitUntil: 'load' });
  assert.ok(response, 'no reply to the console address');
  assert.strictEqual(response.status(), 200, 'the console page did not open');
  await page.waitForSelector('html[data-wdx-ready="1"]', { timeout: 30000 });
  await page.waitForSelector('#main-window', { state: 'attached' });
  return {
    page,
    context,
    problems,
    shot: (name) => page.screenshot({ path: outputPath(name), fullPage: true }),
    assertNoProblems: () => assert.deepStrictEqual(problems, [], 'the page reported problems'),
    close,
  };
}

function run(main) {
  main().then(() => process.exit(0), (err) => {
    console.error(err && err.stack ? err.stack : String(err));
    process.exit(1);
  });
}

module.exports = { openConsole, run, baseUrl, consoleUrl, outputPath };
