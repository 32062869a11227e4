// The log viewers and the About box.
//
// wdx.features.openLog(name) opens a viewer of one log of the program folder (console, service,
// uptime, phone): its newest lines last, 'Older' pages back, and while the viewer is open it
// follows the lines the log gains (starting again when the log was rotated).
// wdx.features.openAbout() shows the product, its version, the program folder and the copyright.
'use strict';

(function () {
  const wdx = window.wdx;
  const PAGE_LINES = 200;
  const FOLLOW_MS = 1000;
  const TITLES = {
    console: 'Console log',
    service: 'Service log',
    uptime: 'Uptime log',
    phone: 'Phone log',
  };
  const openViewers = {};

  // One open viewer: its dialog, what it shows, and where in the file that is.
  class LogViewer {
    constructor(name) {
      this.name = name;
      this.olderStart = 0;  // file offset of the first line shown
      this.end = 0;         // file offset after the last whole line shown
      this.timer = null;
      this.closed = false;
      this.lines = wdx.el('div', { class: 'log-lines', id: 'log-lines-' + name });
      this.tail = wdx.el('div', { class: 'log-line log-tail', id: 'log-tail-' + name });
      this.older = wdx.el('button', {
        type: 'button', class: 'log-older', id: 'log-older-' + name, disabled: true,
        onclick: () => this.loadOlder(),
      }, 'Older');
      this.status = wdx.el('div', { class: 'log-status', id: 'log-status-' + name });
      this.scroller = wdx.el('div', { class: 'log-scroller', id: 'log-view-' + name },
        this.older, this.lines, this.tail);
      this.dialog = wdx.openDialog({
        id: 'log-' + name,
        title: TITLES[name],
        content: wdx.el('div', { class: 'log-viewer' }, this.scroller, this.status),
        buttons: [{
          id: 'log-close-' + name, label: 'Close', primary: true, cancel: true,
          onClick: () => this.close(),
        }],
      });
    }

    close() {
      if (this.closed) return;
      this.closed = true;
      clearTimeout(this.timer);
      delete openViewers[this.name];
      this.dialog.close();
    }

    // The dialog may also have been closed by the page (Escape, another dialog's logic).
    isGone() {
      return this.closed || !document.body.contains(this.dialog.element);
    }

    setStatus(text, file) {
      this.status.textContent = (file ? file + ': ' : '') + text;
    }

    showTail(text) {
      this.tail.textContent = text;
      this.tail.hidden = text === '';
    }

    lineElements(lines) {
      const fragment = document.createDocumentFragment();
      for (const line of lines) fragment.appendChild(wdx.el('div', { class: 'log-line' }, line));
      return fragment;
    }

    atBottom() {
      const s = this.scroller;
      return s.scrollHeight - s.scrollTop - s.clientHeight < 4;
    }

    // The newest page, replacing what is shown.
    async loadNewest() {
      const page = await wdx.api.get('/api/log', { name: this.name, lines: PAGE_LINES });
      this.lines.replaceChildren(this.lineElements(page.lines));
      this.showTail(page.tail);
      this.olderStart = page.start;
      this.end = page.end;
      this.older.disabled = !page.more;
      this.describe(page);
      this.scroller.scrollTop = this.scroller.scrollHeight;
    }

    async loadOlder() {
      this.older.disabled = true;
      try {
        const page = await wdx.api.get('/api/log',
          { name: this.name, before: this.olderStart, lines: PAGE_LINES });
        if (this.isGone()) return;
        if (page.rotated) {
          await this.loadNewest();
          return;
        }
        const height = this.scroller.scrollHeight;
        this.lines.prepend(this.lineElements(page.lines));
        this.scroller.scrollTop += this.scroller.scrollHeight - height;  // keep the view still
        this.olderStart = page.start;
        this.older.disabled = !page.more;
      } catch (error) {
        this.setStatus(error.message);
        this.older.disabled = false;
      }
    }

    // One step of following: the lines added since the last one, at once again while more wait.
    async follow() {
      if (this.isGone()) {
        this.close();
        return;
      }
      let again = FOLLOW_MS;
      try {
        const page = await wdx.api.get('/api/log', { name: this.name, after: this.end });
        if (this.isGone()) return;
        if (page.rotated) {
          await this.loadNewest();
        } else {
          const stick = this.atBottom();
          this.lines.appendChild(this.lineElements(page.lines));
          this.showTail(page.tail);
          this.end = page.end;
          this.describe(page);
          if (stick) this.scroller.scrollTop = this.scroller.scrollHeight;
          if (page.more) again = 0;
        }
      } catch (error) {
        this.setStatus(error.message);
      }
      if (!this.isGone()) this.timer = setTimeout(() => this.follow(), again);
    }

    describe(page) {
      this.setStatus(page.exists ? 'following new lines' : 'does not exist yet', page.file);
    }

    async start() {
      try {
        await this.loadNewest();
      } catch (error) {
        this.setStatus(error.message);
      }
      if (!this.isGone()) this.timer = setTimeout(() => this.follow(), FOLLOW_MS);
    }
  }

  function openLog(name) {
    if (!Object.prototype.hasOwnProperty.call(TITLES, name)) {
      return wdx.messageBox('Wardenix', 'There is no log named ' + name + '.');
    }
    const open = openViewers[name];
    if (open && !open.isGone()) return open;
    const viewer = new LogViewer(name);
    openViewers[name] = viewer;
    viewer.start();
    return viewer;
  }

  async function openAbout() {
    let about;
    try {
      about = await wdx.api.get('/api/about');
    } catch (error) {
      return wdx.messageBox('About Wardenix', error.message);
    }
    const dialog = wdx.openDialog({
      id: 'about',
      title: 'About Wardenix',
      content: wdx.el('div', { class: 'about' },
        wdx.el('p', { class: 'about-product', id: 'about-product' },
          about.product + ' Version ' + about.version),
        wdx.el('p', { class: 'about-folder', id: 'about-folder' },
          'Program folder: ' + about.programFolder),
        wdx.el('p', { class: 'about-copyright', id: 'about-copyright' }, about.copyright)),
      buttons: [{
        id: 'about-ok', label: 'OK', primary: true, cancel: true, onClick: () => dialog.close(),
      }],
    });
    return dialog;
  }

  wdx.features = wdx.features || {};
  wdx.features.openLog = openLog;
  wdx.features.openAbout = openAbout;
})();
