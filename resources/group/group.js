// The testee's page: code entry, the two instructions, the screens of portraits and the end. The run's
// state lives in the examiner's program; the page shows what the program says and sends each choice.
// A reload or a lost connection comes back to the same screen.
'use strict';

const $ = (id) => document.getElementById(id);
const views = ['code-view', 'instruction-view', 'screen-view', 'done-view'];
let state = null;
let chosen = [];
let busy = false;

function show(view) {
  for (const v of views) $(v).hidden = v !== view;
  document.body.dataset.view = view;
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// One call to the program; waits and tries again while the network is down.
async function call(method, path, body) {
  for (let attempt = 0; ; attempt++) {
    try {
      const response = await fetch(path, {
        method,
        headers: body ? { 'Content-Type': 'application/json' } : {},
        body: body ? JSON.stringify(body) : undefined,
        credentials: 'same-origin',
        cache: 'no-store',
      });
      $('offline').hidden = true;
      let data = {};
      try { data = await response.json(); } catch (e) { data = {}; }
      return { status: response.status, data };
    } catch (e) {
      $('offline').hidden = false;
      await sleep(Math.min(5000, 500 * 2 ** Math.min(attempt, 4)));
    }
  }
}

function askCode(message) {
  state = null;
  show('code-view');
  $('code-error').textContent = message || '';
  $('code').focus();
}

// Shows what a call answered: the new state, the state the run is really at, or the code entry.
function answer(result) {
  if (result.status === 200) render(result.data);
  else if (result.data.state) render(result.data.state);
  else if (result.status === 401) askCode(state ? 'Введите код ещё раз.' : '');
}

async function act(path, body) {
  if (busy) return;
  busy = true;
  try { answer(await call('POST', path, body)); } finally { busy = false; }
}

function render(s) {
  state = s;
  chosen = [];
  document.body.dataset.step = s.step === undefined ? '' : String(s.step);
  if (s.view === 'instruction') {
    $('instruction').innerHTML = s.html;
    $('instruction').scrollTop = 0;
    $('instruction-back').hidden = !s.back;
    show('instruction-view');
    $('begin').focus();
  } else if (s.view === 'screen') {
    $('prompt').textContent = s.prompt;
    $('progress').textContent = s.progress;
    $('back').disabled = !s.back;
    show('screen-view');
    layout();
    for (const panel of $('board').children) {
      const digit = Number(panel.dataset.digit);
      panel.classList.toggle('gone', !s.visible.includes(digit));
      panel.classList.remove('chosen', 'sympathetic', 'unpleasant');
      const img = panel.querySelector('img');
      if (s.visible.includes(digit)) img.src = portraitUrl(digit);
      else img.removeAttribute('src');
    }
    updateNext();
    document.activeElement && document.activeElement.blur();
  } else {
    $('done').textContent = s.text;
    show('done-view');
  }
}

function portraitUrl(digit) {
  const width = parseFloat(getComputedStyle($('board')).getPropertyValue('--cell-w')) || 160;
  const px = Math.min(9999, Math.max(10, Math.ceil(width * 0.92 * (window.devicePixelRatio || 1))));
  return `/portrait/${state.series}/${digit}/${px}`;
}

// Two rows of four on a wide window, four rows of two on a narrow one: whichever gives larger portraits.
function layout() {
  const board = $('board');
  const gap = 8;
  const width = board.clientWidth;
  const height = board.clientHeight;
  let best = { cols: 4, w: 0 };
  for (const cols of [4, 2]) {
    const rows = 8 / cols;
    const byWidth = (width - gap * (cols - 1)) / cols;
    const byHeight = ((height - gap * (rows - 1)) / rows) * (180 / 266);
    const w = Math.floor(Math.min(byWidth, byHeight));
    if (w > best.w) best = { cols, w };
  }
  const w = Math.max(40, best.w);
  board.style.setProperty('--cols', best.cols);
  board.style.setProperty('--cell-w', `${w}px`);
  board.style.setProperty('--cell-h', `${Math.floor((w * 266) / 180)}px`);
}

function updateNext() { $('next').disabled = chosen.length !== 2 || busy; }

// The choice rules of the test: a third portrait is not taken while two are; a chosen one is let go.
function toggle(digit) {
  if (!state || state.view !== 'screen' || busy || !state.visible.includes(digit)) return;
  const panel = $('board').querySelector(`[data-digit="${digit}"]`);
  const i = chosen.indexOf(digit);
  if (i >= 0) {
    chosen.splice(i, 1);
    panel.classList.remove('chosen', 'sympathetic', 'unpleasant');
  } else if (chosen.length < 2) {
    chosen.push(digit);
    panel.classList.add('chosen', state.sign === 1 ? 'sympathetic' : 'unpleasant');
  }
  updateNext();
}

function next() {
  if (state && state.view === 'screen' && chosen.length === 2)
    act('/api/choose', { step: state.step, digits: chosen.slice() }).then(updateNext);
}

function back() {
  if (state && state.back) act('/api/back', { step: state.step });
}

function begin() {
  if (state && state.view === 'instruction') act('/api/begin', { step: state.step });
}

function buildBoard() {
  const board = $('board');
  for (let d = 1; d <= 8; d++) {
    const panel = document.createElement('div');
    panel.className = 'panel';
    panel.dataset.digit = String(d);
    panel.setAttribute('role', 'button');
    const img = document.createElement('img');
    img.alt = '';
    const key = document.createElement('span');
    key.className = 'key';
    key.textContent = String(d);
    panel.append(img, key);
    panel.addEventListener('click', () => toggle(d));
    board.append(panel);
  }
}

document.addEventListener('keydown', (event) => {
  if (!state || event.altKey || event.ctrlKey || event.metaKey) return;
  if (state.view === 'screen') {
    if (event.key >= '1' && event.key <= '8') toggle(Number(event.key));
    else if (event.key === 'Enter') next();
    else if (event.key === 'Backspace') back();
    else return;
  } else if (state.view === 'instruction') {
    if (event.key === 'Enter') begin();
    else if (event.key === 'Backspace' && state.back) back();
    else return;
  } else {
    return;
  }
  event.preventDefault();
});

$('code-form').addEventListener('submit', async (event) => {
  event.preventDefault();
  if (busy) return;
  busy = true;
  $('code-ok').disabled = true;
  try {
    const result = await call('POST', '/api/login', { code: $('code').value });
    if (result.status === 200) {
      $('code').value = '';
      render(result.data);
    } else if (result.status === 429) {
      $('code-error').textContent = 'Слишком много неверных попыток. Подождите минуту и попробуйте снова.';
    } else {
      $('code-error').textContent = 'Код не подходит. Проверьте его и попробуйте снова.';
    }
  } finally {
    busy = false;
    $('code-ok').disabled = false;
  }
});
$('begin').addEventListener('click', begin);
$('instruction-back').addEventListener('click', back);
$('next').addEventListener('click', next);
$('back').addEventListener('click', back);
window.addEventListener('resize', () => {
  if (state && state.view === 'screen') {
    layout();
    // Larger panels need larger pictures; the browser keeps the ones it has.
    for (const panel of $('board').children)
      if (!panel.classList.contains('gone')) panel.querySelector('img').src = portraitUrl(Number(panel.dataset.digit));
  }
});

buildBoard();
call('GET', '/api/state').then((result) => (result.status === 200 ? render(result.data) : askCode('')));
