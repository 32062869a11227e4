// Shared start of Debian's chromium for the browser tests: headless, no sandbox (the tests may
// run as root), no background traffic (the test machines have no outside network), and a fresh
// profile in a temporary folder that is removed when the browser closes.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const { chromium } = require('playwright-core');

const kChromium = process.env.WDX_CHROMIUM || '/usr/bin/chromium';

// extraArgs: more chromium switches for one test (e.g. --host-resolver-rules).
async function launch(extraArgs = []) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'wdx-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: kChromium,
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      ...extraArgs],
    viewport: { width: 1100, height: 800 },
  });
  const close = async () => {
    await context.close();
    fs.rmSync(profile, { recursive: true, force: true });
  };
  return { context, close };
}

// Collects what a page reports as wrong: console errors, uncaught exceptions, failed requests.
function watchProblems(page) {
  const problems = [];
  page.on('console', (msg) => { if (msg.type() === 'error') problems.push('console: ' + msg.text()); });
  page.on('pageerror', (err) => problems.push('exception: ' + err.message));
  page.on('requestfailed', (req) => problems.push('request failed: ' + req.url()));
  return problems;
}

module.exports = { launch, watchProblems };
