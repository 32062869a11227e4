// The web console's shared page code: window.wdx.
//   wdx.api.get(path, query) / wdx.api.post(path, body): the console's JSON API. A promise of the
//     reply's JSON on 2xx; otherwise rejected with an Error whose message is the reply's "error"
//     and whose .status is the HTTP status (0 when the console did not answer). post() sends the
//     session's CSRF token.
//   wdx.el(tag, attrs, ...children): builds DOM. Strings become text nodes, so data is never
//     parsed as HTML. attrs: "class", "id", "data-*", "on<event>" functions, booleans (present
//     when true), others as attributes.
//   wdx.openDialog({id, title, content, buttons}) -> {element, close()}: a modal dialog on top of
//     the others; its element has data-dialog="<id>". A button {id, label, onClick, primary,
//     cancel} calls onClick(dialog) (no onClick: it closes the dialog); Escape presses the cancel
//     button.
//   wdx.messageBox(title, text): a dialog with OK; a promise resolved when it is closed.
//   wdx.features: entry points that the other scripts of the page fill in.
//   wdx.ready: a promise resolved once the session is known (the page then has
//     data-wdx-ready="1" on its <html>).
'use strict';

(function () {
  const wdx = { features: {} };
  let sessionPromise = null;

  function session() {
    if (!sessionPromise) {
      sessionPromise = send('GET', '/api/session', null).catch((err) => {
        sessionPromise = null;
        throw err;
      });
    }
    return sessionPromise;
  }

  function showNotice(text) {
    const notice = document.getElementById('wdx-notice');
    if (!notice) return;
    notice.textContent = text;
    notice.hidden = false;
  }

  async function send(method, path, body, csrf) {
    const init = { method, credentials: 'same-origin', cache: 'no-store', headers: {} };
    if (method === 'POST') {
      init.headers['Content-Type'] = 'application/json';
      init.headers['X-CSRF-Token'] = csrf;
      init.body = JSON.stringify(body === undefined ? {} : body);
    }
    let reply;
    try {
      reply = await fetch(path, init);
    } catch (err) {
      showNotice('The console does not answer. Is "wardenix console" still running?');
      const error = new Error('The console does not answer.');
      error.status = 0;
      throw error;
    }
    let data = null;
    try {
      data = await reply.json();
    } catch (err) {
      data = null;
    }
    if (reply.ok) return data === null ? {} : data;
    if (reply.status === 401) {
      showNotice('This page has no console session (the console was restarted?). ' +
        'Open the address that "wardenix console" printed.');
    }
    const error = new Error(data && typeof data.error === 'string' ? data.error
      : 'The console answered ' + reply.status + '.');
    error.status = reply.status;
    throw error;
  }

  function withQuery(path, query) {
    if (!query) return path;
    const params = new URLSearchParams();
    for (const [key, value] of Object.entries(query)) {
      if (value !== undefined && value !== null) params.append(key, String(value));
    }
    const text = params.toString();
    return text ? path + '?' + text : path;
  }

  wdx.api = {
    get(path, query) {
      return send('GET', withQuery(path, query), null);
    },
    async post(path, body) {
      const current = await session();
      return send('POST', path, body, current.csrf);
    },
  };

  function append(parent, child) {
    if (child === null || child === undefined || child === false) return;
    if (Array.isArray(child)) {
      child.forEach((item) => append(parent, item));
    } else if (child instanceof Node) {
      parent.appendChild(child);
    } else {
      parent.appendChild(document.createTextNode(String(child)));
    }
  }

  wdx.el = function (tag, attrs, ...children) {
    const element = document.createElement(tag);
    for (const [name, value] of Object.entries(attrs || {})) {
      if (value === null || value === undefined || value === false) continue;
      if (name.startsWith('on') && typeof value === 'function') {
        element.addEventListener(name.slice(2).toLowerCase(), value);
      } else if (name === 'class') {
        element.className = Array.isArray(value) ? value.filter(Boolean).join(' ') : value;
      } else if (value === true) {
        element.setAttribute(name, '');
      } else {
        element.setAttribute(name, String(value));
      }
    }
    append(element, children);
    return element;
  };

  // Open dialogs, the top one last.
  const openDialogs = [];

  wdx.openDialog = function ({ id, title, content, buttons }) {
    const el = wdx.el;
    const titleId = 'wdx-dialog-title-' + id;
    const previousFocus = document.activeElement;
    const dialog = { element: null, close };
    const buttonRow = el('footer', { class: 'wdx-dialog-buttons' });
    let cancelButton = null;
    for (const spec of buttons || [{ id: id + '-ok', label: 'OK', primary: true }]) {
      const button = el('button', {
        type: 'button', id: spec.id, class: spec.primary ? 'wdx-primary' : null,
        onclick: () => (spec.onClick ? spec.onClick(dialog) : close()),
      }, spec.label);
      if (spec.cancel) cancelButton = button;
      buttonRow.appendChild(button);
    }
    const box = el('section', {
      class: 'wdx-dialog', role: 'dialog', 'aria-modal': 'true', 'aria-labelledby': titleId,
      'data-dialog': id,
    }, el('header', { class: 'wdx-dialog-title' }, el('h2', { id: titleId }, title)),
    el('div', { class: 'wdx-dialog-body' }, content), buttonRow);
    const overlay = el('div', { class: 'wdx-overlay' }, box);
    overlay.addEventListener('keydown', (event) => {
      if (event.key === 'Escape' && cancelButton) {
        event.stopPropagation();
        cancelButton.click();
      }
    });
    dialog.element = box;
    let closed = false;
    function close() {
      if (closed) return;
      closed = true;
      overlay.remove();
      const at = openDialogs.indexOf(dialog);
      if (at >= 0) openDialogs.splice(at, 1);
      if (previousFocus && previousFocus.isConnected) previousFocus.focus();
    }
    (document.getElementById('wdx-dialogs') || document.body).appendChild(overlay);
    openDialogs.push(dialog);
    const first = box.querySelector('input, select, textarea') ||
      box.querySelector('.wdx-primary') || box.querySelector('button');
    if (first) first.focus();
    return dialog;
  };

  wdx.messageBox = function (title, text) {
    return new Promise((resolve) => {
      const id = 'message-box';
      wdx.openDialog({
        id, title,
        content: wdx.el('p', { class: 'wdx-message' }, text),
        buttons: [{
          id: 'message-box-ok', label: 'OK', primary: true, cancel: true,
          onClick: (dialog) => { dialog.close(); resolve(); },
        }],
      });
    });
  };

  wdx.ready = new Promise((resolve) => {
    document.addEventListener('DOMContentLoaded', () => {
      session().then(() => {
        document.documentElement.setAttribute('data-wdx-ready', '1');
        resolve();
      }, () => {});
    });
  });

  window.wdx = wdx;
})();
