// The live preview page. Every control is made from /api/controls, which the
// tool builds from the plug-ins; every value goes to the tool as the text the
// command line would take, and the tool checks it. The look is the tool's:
// the page shows it on opening, sends only what the user changes, and takes
// up changes that other pages make.
'use strict';

const state = {
  controls: null,
  scene: {},            // flag -> text
  hosts: {},            // host flag -> {name -> text}
  setters: {},          // "host/name" or "scene/flag" -> function(text) that moves the control
  pending: { scene: {}, hosts: {} },  // changes not sent yet
  posting: false,       // a change is on its way
  dirty: false,         // a change is waiting for it
  posted: 0,            // generation of the newest look shown in the controls
  shown: { generation: 0, stage: 0 },
  looks: [],            // from /api/looks
};

const $ = (id) => document.getElementById(id);

function el(tag, attrs = {}, children = []) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs)) {
    if (k === 'dataset') Object.assign(e.dataset, v);
    else if (k === 'text') e.textContent = v;
    else e.setAttribute(k, v);
  }
  for (const c of children) e.append(c);
  return e;
}

function setStatus(text, isError) {
  const s = $('status');
  s.textContent = text;
  s.classList.toggle('error', !!isError);
}

// ---- controls ---------------------------------------------------------------

function numbers(text) {
  return String(text).split(',').map(Number);
}

function shortest(x) {
  // Enough digits to read back the same single-precision value.
  return String(Number(Math.fround(x).toPrecision(7)));
}

function toHex(rgb) {
  return '#' + rgb.map((v) => {
    const c = Math.max(0, Math.min(255, Math.round(v * 255)));
    return c.toString(16).padStart(2, '0');
  }).join('');
}

function fromHex(hex) {
  return [1, 3, 5].map((i) => shortest(parseInt(hex.substr(i, 2), 16) / 255));
}

// A float or integer: a slider over the soft range and a box for any value.
function scalarControl(p, onChange) {
  const def = Number(p.default || 0);
  const min = p.softMin !== undefined ? p.softMin : 0;
  const max = p.softMax !== undefined ? p.softMax : Math.max(1, def * 4);
  const integer = p.type === 'integer';
  const slider = el('input', {
    type: 'range', min, max, step: integer ? 1 : (max - min) / 1000, value: def,
    'aria-label': p.name,
  });
  const box = el('input', { type: 'number', step: integer ? 1 : 'any', value: p.default || '0' });
  slider.addEventListener('input', () => {
    box.value = integer ? slider.value : shortest(Number(slider.value));
    onChange(box.value);
  });
  box.addEventListener('change', () => {
    slider.value = box.value;
    onChange(box.value);
  });
  const set = (text) => { box.value = text; slider.value = text; };
  return { inputs: [slider, box], set };
}

function booleanControl(p, onChange) {
  const box = el('input', { type: 'checkbox', 'aria-label': p.name });
  box.checked = p.default === 'on';
  box.addEventListener('change', () => onChange(box.checked ? 'on' : 'off'));
  return { inputs: [box, el('span')], set: (text) => { box.checked = text === 'on'; } };
}

// A colour (picker and three channels) or a vector (three numbers).
function tripleControl(p, onChange) {
  // The host's own channel attributes where it has them (Maya's colorR, ...).
  const own = p.channels && p.channels.length === 3;
  const channels = own ? p.channels
    : (p.type === 'color' ? ['R', 'G', 'B'] : ['X', 'Y', 'Z']).map((s) => `${p.name} ${s}`);
  const boxes = numbers(p.default || '0,0,0').map((v, k) => el('input', {
    type: 'number', step: 'any', value: String(v), title: channels[k],
    'aria-label': channels[k], dataset: own ? { channel: channels[k] } : {},
  }));
  const picker = p.type === 'color'
    ? el('input', { type: 'color', value: toHex(numbers(p.default || '0,0,0')), 'aria-label': p.name })
    : el('span');
  const text = () => boxes.map((b) => b.value).join(',');
  for (const b of boxes) {
    b.addEventListener('change', () => {
      if (p.type === 'color') picker.value = toHex(numbers(text()));
      onChange(text());
    });
  }
  if (p.type === 'color') {
    picker.addEventListener('input', () => {
      fromHex(picker.value).forEach((v, k) => { boxes[k].value = v; });
      onChange(text());
    });
  }
  const set = (t) => {
    numbers(t).forEach((v, k) => { if (boxes[k]) boxes[k].value = String(v); });
    if (p.type === 'color') picker.value = toHex(numbers(t));
  };
  return { inputs: [picker, ...boxes], set, triple: true };
}

function control(p, onChange) {
  if (p.type === 'boolean') return booleanControl(p, onChange);
  if (p.type === 'color' || p.type === 'vector') return tripleControl(p, onChange);
  return scalarControl(p, onChange);
}

function describe(p) {
  let t = `${p.name}: ${p.type}, default ${p.default || 'none'}`;
  if (p.softMin !== undefined || p.softMax !== undefined) {
    t += `, soft range ${p.softMin ?? ''} to ${p.softMax ?? ''}`;
  }
  return t;
}

function hostPanel(host, linked) {
  const set = el('fieldset', { class: 'host', dataset: { host: host.flag } },
    [el('legend', { text: host.title })]);
  state.hosts[host.flag] = {};
  for (const p of host.params) {
    const c = control(p, (text) => changeParam(host.flag, p, text, true));
    state.setters[`${host.flag}/${p.name}`] = c.set;
    const row = el('div', {
      class: 'param' + (c.triple ? ' triple' : '') + (linked.includes(p.name) ? ' linked' : ''),
      dataset: { host: host.flag, param: p.name, type: p.type, default: p.default },
      title: describe(p),
    }, [el('label', { text: p.name }), ...c.inputs]);
    set.append(row);
  }
  return set;
}

function scenePanel(scene) {
  const set = $('scene');
  for (const p of scene) {
    let c;
    if (p.type === 'shapes') {
      const boxes = ['sphere', 'torus'].map((s) => {
        const b = el('input', { type: 'checkbox', 'aria-label': s });
        b.checked = p.default.split(',').includes(s);
        return b;
      });
      const text = () => ['sphere', 'torus'].filter((s, k) => boxes[k].checked).join(',');
      for (const b of boxes) b.addEventListener('change', () => changeScene(p, text()));
      const set = (t) => { boxes.forEach((b, k) => { b.checked = t.split(',').includes(['sphere', 'torus'][k]); }); };
      c = { inputs: [el('span', {}, [boxes[0], ' sphere ', boxes[1], ' torus'])], set };
    } else if (p.type === 'size') {
      const select = el('select', { 'aria-label': p.flag });
      for (const s of ['160x80', '320x160', '640x320', '960x480', '1280x640']) {
        const o = el('option', { value: s, text: s });
        if (s === p.default) o.selected = true;
        select.append(o);
      }
      select.addEventListener('change', () => changeScene(p, select.value));
      const set = (t) => {
        if (![...select.options].some((o) => o.value === t)) select.append(el('option', { value: t, text: t }));
        select.value = t;
      };
      c = { inputs: [select], set };
    } else if (p.type === 'color') {
      c = tripleControl({ name: p.flag, type: 'color', default: p.default }, (text) => changeScene(p, text));
    } else {
      c = scalarControl(p, (text) => changeScene(p, text));
    }
    state.setters[`scene/${p.flag}`] = c.set;
    set.append(el('div', { class: 'param', dataset: { scene: p.flag }, title: p.label },
      [el('label', { text: p.label }), ...c.inputs]));
  }
}

// ---- the look -----------------------------------------------------------------

function changeParam(host, p, text, fromUser) {
  const set = (flag) => {
    state.hosts[flag][p.name] = text;
    (state.pending.hosts[flag] = state.pending.hosts[flag] || {})[p.name] = text;
  };
  set(host);
  if (fromUser && $('linked').checked && state.controls.linked.includes(p.name)) {
    for (const other of state.controls.hosts) {
      if (other.flag === host) continue;
      set(other.flag);
      state.setters[`${other.flag}/${p.name}`](text);
    }
  }
  sendLook();
}

function changeScene(p, text) {
  state.scene[p.flag] = text;
  state.pending.scene[p.flag] = text;
  sendLook();
}

// The tool's look into the controls: on opening, after each change, and when
// another page changed it. Not while the user's own change is waiting, which
// would move the controls under the user's hand.
function applyLook(l) {
  if (state.dirty) return;
  for (const [flag, text] of Object.entries(l.scene)) {
    state.scene[flag] = text;
    if (state.setters[`scene/${flag}`]) state.setters[`scene/${flag}`](text);
  }
  for (const [host, values] of Object.entries(l.hosts)) {
    if (!state.hosts[host]) continue;
    for (const [name, text] of Object.entries(values)) {
      state.hosts[host][name] = text;
      if (state.setters[`${host}/${name}`]) state.setters[`${host}/${name}`](text);
    }
  }
  state.posted = l.generation;
  $('snippet-command').textContent = l.command;
  for (const [host, text] of Object.entries(l.handover)) {
    if ($('snippet-' + host)) $('snippet-' + host).textContent = text;
  }
}

async function fetchLook() {
  const r = await fetch('/api/look');
  const answer = await r.json();
  if (!r.ok) throw new Error(answer.error);
  applyLook(answer);
}

// One change on the way at a time; changes meanwhile are sent after it, as one.
async function sendLook() {
  if (state.posting) {
    state.dirty = true;
    return;
  }
  state.posting = true;
  state.dirty = false;
  const change = state.pending;
  state.pending = { scene: {}, hosts: {} };
  try {
    const r = await fetch('/api/look', { method: 'POST', body: JSON.stringify(change) });
    const answer = await r.json();
    if (!r.ok) {
      // The tool kept its look: the controls show it again, beside the reason.
      setStatus(answer.error, true);
      await fetchLook();
    } else {
      applyLook(answer);
      setStatus('rendering…');
    }
  } catch (e) {
    setStatus('the tool does not answer: ' + e, true);
  }
  state.posting = false;
  if (state.dirty) sendLook();
}

// ---- images -------------------------------------------------------------------

function figure(id, caption, cls) {
  return el('figure', { class: cls || '' }, [
    el('img', { id, alt: caption }), el('figcaption', { text: caption })]);
}

function show(frame) {
  const coarse = frame.stage === 1;
  for (const h of state.controls.hosts) {
    const img = $('image-' + h.flag);
    if (frame.images[h.flag]) img.src = frame.images[h.flag];
    img.classList.toggle('coarse', coarse);
  }
  if (frame.difference) {
    $('image-difference').src = frame.difference;
    $('difference-caption').textContent =
      `|${state.controls.hosts[0].flag} − ${state.controls.hosts[1].flag}|, largest ${frame.largest} shown white`;
  }
  state.shown = { generation: frame.generation, stage: frame.stage };
  const images = $('images');
  images.dataset.generation = frame.generation;
  images.dataset.stage = frame.stage;
  if (frame.error) setStatus(frame.error, true);
  else setStatus(coarse ? 'coarse…' : `done in ${Math.round(frame.ms)} ms`);
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Long polls for the newest frame. A frame never replaces a newer change:
// while a look is on its way, or for a look older than the last one sent,
// it is dropped.
async function poll() {
  for (;;) {
    try {
      const { generation, stage } = state.shown;
      const asked = performance.now();
      const r = await fetch(`/api/frame?have=${generation}&stage=${stage}&wait=4000`);
      const frame = await r.json();
      // A look newer than the controls show came from another page.
      if (!state.posting && !state.dirty && frame.generation > state.posted) await fetchLook();
      if (state.posting || state.dirty || frame.generation < state.posted || frame.stage === 0) {
        // Nothing new at once: the tool has as many waiting as it keeps.
        if (frame.stage !== 0) await sleep(20);
        else if (performance.now() - asked < 1000) await sleep(500);
        continue;
      }
      show(frame);
    } catch (e) {
      setStatus('the tool does not answer: ' + e, true);
      await sleep(1000);
    }
  }
}

async function save() {
  setStatus('saving…');
  try {
    const r = await fetch('/api/save', { method: 'POST', body: '{}' });
    const answer = await r.json();
    if (!r.ok) {
      setStatus(answer.error, true);
      return;
    }
    $('saved').textContent = answer.wrote.map((f) => 'wrote ' + f).join('\n');
    setStatus('saved');
  } catch (e) {
    setStatus('the tool does not answer: ' + e, true);
  }
}

// ---- looks --------------------------------------------------------------------

// Fills the list from the tool, which reads the same look files as the
// command line's --list-looks.
async function loadLooks() {
  try {
    const r = await fetch('/api/looks');
    const answer = await r.json();
    if (!r.ok) {
      setStatus(answer.error, true);
      return;
    }
    state.looks = answer.looks;
    const select = $('looks');
    select.length = 1;
    for (const l of answer.looks) select.append(el('option', { value: l.name, text: l.name }));
    select.disabled = answer.looks.length === 0;
    select.title = answer.note || `looks from ${answer.origin}`;
  } catch (e) {
    setStatus('the tool does not answer: ' + e, true);
  }
}

// Every host control takes the look's value; the look names each control
// the host has a value for, the rest go back to their defaults.
function pickLook(name) {
  const l = (state.looks || []).find((x) => x.name === name);
  if (!l) return;
  for (const h of state.controls.hosts) {
    const values = l.hosts[h.flag] || {};
    for (const p of h.params) {
      const text = values[p.name] ?? p.default;
      if (text === undefined || text === '') continue;
      changeParam(h.flag, p, text, false);
      state.setters[`${h.flag}/${p.name}`](text);
    }
  }
}

async function saveLook() {
  const name = $('look-name').value.trim();
  setStatus('saving look…');
  // The look as on screen: wait until the last change has reached the tool.
  while (state.posting || state.dirty) await sleep(20);
  try {
    const r = await fetch('/api/save-look', { method: 'POST', body: JSON.stringify({ name }) });
    const answer = await r.json();
    if (!r.ok) {
      setStatus(answer.error, true);
      return;
    }
    $('saved').textContent = answer.wrote.map((f) => 'wrote ' + f).join('\n');
    setStatus(`saved look ${answer.name}`);
    // --out may be where the looks are read from.
    loadLooks();
  } catch (e) {
    setStatus('the tool does not answer: ' + e, true);
  }
}

async function main() {
  state.controls = await (await fetch('/api/controls')).json();
  const c = state.controls;
  const images = $('images');
  for (const h of c.hosts) images.append(figure('image-' + h.flag, h.title));
  if (c.hosts.length >= 2) {
    const f = figure('image-difference', 'difference', 'difference');
    f.querySelector('figcaption').id = 'difference-caption';
    images.append(f);
  }
  for (const h of c.hosts) $('controls').append(hostPanel(h, c.linked));
  // Each host's hand-over, in the host's own words.
  for (const h of c.hosts) {
    $('handover-hosts').append(el('div', { class: 'snippet' }, [
      el('h3', { text: h.title }),
      el('button', { type: 'button', dataset: { copy: 'snippet-' + h.flag }, text: 'Copy' }),
      el('pre', { id: 'snippet-' + h.flag })]));
  }
  scenePanel(c.scene);
  $('linked').disabled = c.linked.length === 0;
  $('linked').addEventListener('change', () => {
    // Linking starts from the first host's values.
    if (!$('linked').checked) return;
    const first = c.hosts[0];
    for (const name of c.linked) {
      const p = first.params.find((q) => q.name === name);
      const text = state.hosts[first.flag][name] ?? p.default;
      changeParam(first.flag, p, text, true);
    }
  });
  $('show-difference').addEventListener('change', () => {
    images.classList.toggle('with-difference', $('show-difference').checked);
  });
  $('save').addEventListener('click', save);
  $('looks').addEventListener('change', () => pickLook($('looks').value));
  $('save-look').addEventListener('click', saveLook);
  loadLooks();
  for (const b of document.querySelectorAll('button[data-copy]')) {
    b.addEventListener('click', () => navigator.clipboard.writeText($(b.dataset.copy).textContent));
  }
  // Opening the page shows the look on screen; it changes nothing.
  try {
    await fetchLook();
  } catch (e) {
    setStatus('the tool does not answer: ' + e, true);
  }
  poll();
}

main();
