// The console's doors: the token login, the session cookie, the security headers, and the
// refusals of a request without the session, with a wrong token, for another host (also a page
// whose name was made to resolve to 127.0.0.1), and of a POST without the CSRF token or from
// another site's page.
'use strict';
const assert = require('assert');
const http = require('http');
const { openConsole, run, baseUrl, consoleUrl } = require('./console');
const { launch } = require('./browser');

// A request from outside any browser: {status, headers, body}.
function request(method, path, headers = {}, body = '') {
  const base = new URL(baseUrl());
  return new Promise((resolve, reject) => {
    const req = http.request({ host: '127.0.0.1', port: base.port, method, path, headers }, (res) => {
      let text = '';
      res.setEncoding('utf8');
      res.on('data', (chunk) => { text += chunk; });
      res.on('end', () => resolve({ status: res.statusCode, headers: res.headers, body: text }));
    });
    req.on('error', reject);
    req.end(body);
  });
}

async function checkRefusals(cookie, csrf, port) {
  const own = { Host: '127.0.0.1:' + port };
  const cases = [
    ['GET', '/', own, 401, 'page without the session'],
    ['GET', '/assets/common.js', own, 401, 'asset without the session'],
    ['GET', '/api/session', own, 401, 'API without the session'],
    ['GET', '/?token=' + 'f'.repeat(64), own, 403, 'wrong token'],
    ['GET', '/api/session', { Host: 'rebind.example:' + port, Cookie: cookie }, 421, 'other host'],
    ['GET', '/api/session', { Host: '127.0.0.1:' + (port + 1), Cookie: cookie }, 421, 'other port'],
    ['POST', '/api/none', { ...own, Cookie: cookie }, 403, 'POST without CSRF token'],
    ['POST', '/api/none', { ...own, Cookie: cookie, 'X-CSRF-Token': 'x' + csrf.slice(1) }, 403,
      'POST with a wrong CSRF token'],
    ['POST', '/api/none', { ...own, Cookie: cookie, 'X-CSRF-Token': csrf,
      Origin: 'http://evil.example' }, 403, 'POST from another site'],
    ['PUT', '/api/none', { ...own, Cookie: cookie, 'X-CSRF-Token': csrf }, 405, 'PUT'],
    // The same session and token pass: the refusals above were for what they lacked.
    ['POST', '/api/none', { ...own, Cookie: cookie, 'X-CSRF-Token': csrf,
      Origin: 'http://localhost:' + port }, 404, 'POST with everything'],
    ['GET', '/api/session', { Host: 'localhost:' + port, Cookie: cookie }, 200, 'localhost'],
  ];
  for (const [method, path, headers, status, what] of cases) {
    const reply = await request(method, path, headers, method === 'POST' ? '{}' : '');
    assert.strictEqual(reply.status, status, what + ': ' + reply.body);
    if (path.startsWith('/api/') && status !== 200) assert.ok(JSON.parse(reply.body).error, what);
  }
}

// A page of another name that resolves to 127.0.0.1 gets nothing, even with the token.
async function checkRebinding(port) {
  const { context, close } = await launch(['--host-resolver-rules=MAP rebind.example 127.0.0.1']);
  try {
    const page = await context.newPage();
    const url = new URL(consoleUrl());
    const reply = await page.goto('http://rebind.example:' + port + '/' + url.search);
    assert.strictEqual(reply.status(), 421, 'a rebound name was served');
    assert.strictEqual((await context.cookies()).length, 0, 'a rebound name got a session');
  } finally {
    await close();
  }
}

run(async () => {
  const con = await openConsole();
  const { page } = con;
  const port = Number(new URL(baseUrl()).port);
  assert.strictEqual(page.url(), baseUrl(), 'the token stayed in the address bar');

  const cookies = await con.context.cookies();
  assert.strictEqual(cookies.length, 1);
  assert.strictEqual(cookies[0].name, 'wdx_session');
  assert.ok(cookies[0].httpOnly, 'the session cookie is readable by scripts');
  assert.strictEqual(cookies[0].sameSite, 'Strict');
  assert.strictEqual(await page.evaluate(() => document.cookie), '');

  const session = await page.evaluate(() => wdx.api.get('/api/session'));
  assert.match(session.csrf, /^[0-9a-f]{64}$/);
  // The page's own POST carries the token: it passes the checks and finds nothing there.
  const before = con.problems.length;
  const logged = page.waitForEvent('console', (msg) => msg.type() === 'error');
  const posted = await page.evaluate(() => wdx.api.post('/api/none', {}).then(
    () => 'served', (err) => err.status + ' ' + err.message));
  assert.strictEqual(posted, '404 There is nothing at /api/none.');
  await logged;  // the browser logs the 404 it was meant to get
  assert.deepStrictEqual(con.problems.splice(before),
    ['console: Failed to load resource: the server responded with a status of 404 (Not Found)']);

  const cookie = 'wdx_session=' + cookies[0].value;
  const own = { Host: '127.0.0.1:' + port, Cookie: cookie };
  const root = await request('GET', '/', own);
  assert.strictEqual(root.status, 200);
  assert.match(root.headers['content-security-policy'], /default-src 'self'/);
  assert.match(root.headers['content-security-policy'], /frame-ancestors 'none'/);
  assert.doesNotMatch(root.headers['content-security-policy'], /unsafe-inline/);
  assert.strictEqual(root.headers['x-content-type-options'], 'nosniff');
  assert.strictEqual(root.headers['referrer-policy'], 'no-referrer');
  assert.doesNotMatch(root.body, /<script>|\son[a-z]+=/, 'inline script in the page');
  const api = await request('GET', '/api/session', own);
  assert.strictEqual(api.headers['cache-control'], 'no-store');
  const badJson = await request('POST', '/api/none', { ...own, 'X-CSRF-Token': session.csrf }, '{x');
  assert.strictEqual(badJson.status, 400);
  assert.strictEqual(JSON.parse(badJson.body).error, 'The request body is not a JSON object.');

  await checkRefusals(cookie, session.csrf, port);
  await checkRebinding(port);

  // The dialogs the other parts of the page use.
  const closed = page.evaluate(() => wdx.messageBox('Wardenix', 'A <b>text</b> shown as text.'));
  const box = page.locator('[data-dialog="message-box"]');
  await box.waitFor();
  assert.strictEqual(await box.locator('.wdx-message').innerText(), 'A <b>text</b> shown as text.');
  await con.shot('message-box');
  await page.click('#message-box-ok');
  await closed;
  assert.strictEqual(await box.count(), 0);

  await con.shot('console');
  con.assertNoProblems();
  await con.close();
});
