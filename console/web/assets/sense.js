// The sensitivity test ("Sensitivity Test and Set"): wdx.features.openSensitivity() opens its
// dialog. The slider (0..100; Home and End go to the ends) sets the sensitivity that "Test"
// runs a detection pass with in the console; while it runs a progress bar follows the sample
// time, then the picture shows pass or fail and "Failed Item" names what failed. OK stores the
// slider's value as "Sensitivity"; Cancel stores nothing. A test cannot be stopped: closing the
// dialog leaves it running, and the dialog shows it again when it is opened.
'use strict';

(function () {
  const POLL_MS = 500;
  const PICTURES = {
    computing: { src: '/assets/sense-computing.svg', alt: 'Computing' },
    pass: { src: '/assets/sense-pass.svg', alt: 'Passed' },
    fail: { src: '/assets/sense-fail.svg', alt: 'Failed' },
  };

  function openSensitivity() {
    const el = wdx.el;
    const slider = el('input', {
      type: 'range', id: 'sense-slider', min: '0', max: '100', step: '1', value: '10',
      'aria-label': 'Sensitivity', disabled: true,
    });
    const number = el('input', {
      type: 'text', id: 'sense-value', readonly: true, size: '3', value: '10',
      'aria-label': 'Sensitivity value',
    });
    const testButton = el('button', { type: 'button', id: 'sense-test', disabled: true }, 'Test');
    const bar = el('progress', { id: 'sense-progress', max: '10', value: '0' });
    const barText = el('span', { id: 'sense-progress-text', class: 'sense-progress-text' }, '');
    const picture = el('img', { id: 'sense-picture', class: 'sense-picture', alt: '', hidden: true });
    const failed = el('input', {
      type: 'text', id: 'sense-failed-item', readonly: true, 'aria-label': 'Failed Item',
    });
    const warning = el('p', { id: 'sense-warning', class: 'sense-warning' },
      'Tests can run up to 130 seconds and cannot be stopped.');

    let timer = null;
    let busy = false;

    function setValue(value) {
      const clamped = Math.max(0, Math.min(100, Math.round(Number(value) || 0)));
      slider.value = String(clamped);
      number.value = String(clamped);
    }

    function showPicture(name) {
      const known = PICTURES[name];
      picture.hidden = !known;
      if (known) {
        picture.src = known.src;
        picture.alt = known.alt;
        picture.setAttribute('data-picture', name);
      } else {
        picture.removeAttribute('data-picture');
      }
    }

    function show(state) {
      busy = state.busy;
      testButton.disabled = busy;
      showPicture(state.picture);
      failed.value = state.failedItem || '';
      bar.max = Math.max(1, state.total || 1);
      bar.value = state.busy ? state.elapsed : 0;
      bar.hidden = !state.busy;
      if (!state.busy) {
        barText.textContent = '';
      } else if (state.sampling) {
        barText.textContent = 'Sampling: ' + state.elapsed + ' of ' + state.total + ' s';
      } else {
        barText.textContent = 'Testing the URLs...';
      }
      dialog.element.setAttribute('data-busy', busy ? '1' : '0');
      if (busy) poll();
    }

    function poll() {
      if (timer !== null) return;
      timer = setTimeout(() => {
        timer = null;
        if (!dialog.element.isConnected) return;
        wdx.api.get('/api/sense').then(show, (err) => {
          barText.textContent = err.message;
          poll();
        });
      }, POLL_MS);
    }

    function runTest() {
      if (busy) return;
      failed.value = '';
      testButton.disabled = true;
      wdx.api.post('/api/sense/test', { sensitivity: Number(slider.value) }).then((reply) => {
        if (!reply.started) {
          testButton.disabled = false;
          return wdx.messageBox('Sensitivity Test and Set', reply.message);
        }
        showPicture('computing');
        bar.hidden = false;
        barText.textContent = 'Testing the URLs...';
        return wdx.api.get('/api/sense').then(show);
      }).catch((err) => {
        testButton.disabled = busy;
        return wdx.messageBox('Sensitivity Test and Set', err.message);
      });
    }

    function stopPolling() {
      if (timer !== null) clearTimeout(timer);
      timer = null;
    }

    function save(current) {
      wdx.api.post('/api/sense/save', { sensitivity: Number(slider.value) }).then(() => {
        stopPolling();
        current.close();
      }, (err) => wdx.messageBox('Sensitivity Test and Set', err.message));
    }

    slider.addEventListener('input', () => setValue(slider.value));
    slider.addEventListener('keydown', (event) => {
      if (event.key === 'Home' || event.key === 'End') {
        event.preventDefault();
        setValue(event.key === 'Home' ? 0 : 100);
      }
    });
    testButton.addEventListener('click', runTest);

    const dialog = wdx.openDialog({
      id: 'sense',
      title: 'Sensitivity Test and Set',
      content: el('div', { class: 'sense-body' },
        el('div', { class: 'sense-row' },
          el('label', { for: 'sense-slider' }, 'Sensitivity'), slider, number),
        warning,
        el('div', { class: 'sense-row sense-run' }, testButton, picture),
        el('div', { class: 'sense-row sense-progress-row' }, bar, barText),
        el('div', { class: 'sense-row' },
          el('label', { for: 'sense-failed-item' }, 'Failed Item'), failed)),
      buttons: [
        { id: 'sense-ok', label: 'OK', primary: true, onClick: save },
        {
          id: 'sense-cancel', label: 'Cancel', cancel: true,
          onClick: (current) => { stopPolling(); current.close(); },
        },
      ],
    });
    bar.hidden = true;

    wdx.api.get('/api/sense').then((state) => {
      setValue(state.sensitivity);
      slider.disabled = false;
      show(state);
      if (!state.busy) testButton.disabled = false;
      slider.focus();
    }, (err) => wdx.messageBox('Sensitivity Test and Set', err.message));
    return dialog;
  }

  wdx.features.openSensitivity = openSensitivity;
})();
