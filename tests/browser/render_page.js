// node render_page.js FILE PNG: opens a local HTML file in headless chromium, writes a full-page
// screenshot, and prints one JSON line: the page's title, what the browser showed as wrong, and
// every request that was not for the file itself (a page that must work without a network makes
// none). Exit code 0 when nothing was wrong and no other request was made, else 1.
'use strict';
const path = require('path');
const { pathToFileURL } = require('url');
const { launch, watchProblems } = require('./browser');

async function main() {
  const [file, png] = process.argv.slice(2);
  if (!file || !png) {
    console.error('usage: node render_page.js FILE PNG');
    process.exit(2);
  }
  const url = pathToFileURL(path.resolve(file)).href;
  const { context, close } = await launch();
  try {
    const page = await context.newPage();
    const problems = watchProblems(page);
    const others = [];
    page.on('request', (req) => { if (req.url() !== url) others.push(req.url()); });
    await page.goto(url, { waitUntil: 'load' });
    await page.screenshot({ path: png, fullPage: true });
    const title = await page.title();
    const svgs = await page.locator('svg').count();
    console.log(JSON.stringify({ title, svgs, problems, others }));
    process.exitCode = problems.length || others.length ? 1 : 0;
  } finally {
    await close();
  }
}

main().catch((err) => { console.error(err.stack || String(err)); process.exit(1); });
