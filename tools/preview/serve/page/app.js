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
  shown: { generation: 0, stage: 0, level: 0 },
  looks: [],            // from /api/looks
  undo: [],             // [{key, before, after}], newest last
  redo: [],
  invalid: {},          // "host/name" or "scene/flag" -> the text refused
  scale: 0,             // the difference: 0 largest = white, else 1/scale white
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
  const label = p.label || p.name;
  const slider = el('input', {
    type: 'range', min, max, step: integer ? 1 : (max - min) / 1000, value: def,
    'aria-label': label,
  });
  // A text box: what was typed stays there even when the tool refuses it.
  const box = el('input', {
    type: 'text', inputmode: 'decimal', class: 'number', value: p.default || '0',
    'aria-label': label + ' value',
  });
  slider.addEventListener('input', () => {
    box.value = integer ? slider.value : shortest(Number(slider.value));
    onChange(box.value);
  });
  // Arrow keys move by 1% of the range, 10% with Shift (and Page Up/Down).
  slider.addEventListener('keydown', (e) => {
    const keys = { ArrowRight: 1, ArrowUp: 1, ArrowLeft: -1, ArrowDown: -1, PageUp: 10, PageDown: -10 };
    if (!(e.key in keys)) return;
    e.preventDefault();
    const share = keys[e.key] * (e.shiftKey && Math.abs(keys[e.key]) === 1 ? 10 : 1) / 100;
    let v = Math.min(max, Math.max(min, Number(slider.value) + share * (max - min)));
    if (integer) v = Math.round(v);
    slider.value = v;
    box.value = integer ? String(v) : shortest(v);
    onChange(box.value);
  });
  box.addEventListener('change', () => {
    // The slider moves only to a number: a refused text leaves it where it was.
    const v = Number(box.value);
    if (box.value.trim() !== '' && Number.isFinite(v)) slider.value = box.value;
    onChange(box.value);
  });
  const set = (text) => {
    box.value = text;
    if (Number.isFinite(Number(text))) slider.value = text;
  };
  return { inputs: [slider, box], set };
}

function booleanControl(p, onChange) {
  const box = el('input', { type: 'checkbox', 'aria-label': p.name });
  box.checked = p.default === 'on';
  box.addEventListener('change', () => onChange(box.checked ? 'on' : 'off'));
  return { inputs: [box, el('span')], set: (text) => { box.checked = text === 'on'; } };
}

// Sends `file` (a File the user picked) to the tool as an upload of `kind`
// ('mesh' or 'texture'); the tool keeps it by its name, which the look then
// names. The page never names a path. Answers the name, or null (the
// status says why).
async function upload(kind, file) {
  const limits = state.controls.uploads;
  if (file.size > limits.maxBytes) {
    setStatus(`${file.name}: ${file.size} bytes is more than an upload may be (${limits.maxBytes})`, true);
    return null;
  }
  setStatus(`reading ${file.name}…`);
  try {
    const r = await fetch(`/api/upload?kind=${kind}&file=${encodeURIComponent(file.name)}`,
      { method: 'POST', body: file });
    const answer = await r.json();
    if (!r.ok) {
      setStatus(answer.error, true);
      return null;
    }
    setStatus(`${answer.file}: ${answer.read}`);
    return answer.file;
  } catch (e) {
    setStatus('the tool does not answer: ' + e, true);
    return null;
  }
}

// A button that opens a file picker and hands the picked file to `onFile`.
function fileButton(text, label, accept, onFile) {
  const input = el('input', { type: 'file', accept, hidden: '', 'aria-label': label });
  const button = el('button', { type: 'button', class: 'file', title: label, 'aria-label': label, text });
  button.addEventListener('click', () => input.click());
  input.addEventListener('change', () => {
    const file = input.files[0];
    input.value = '';
    if (file) onFile(file);
  });
  return [button, input];
}

// A colour (picker and three channels) or a vector (three numbers). A
// colour of a host that takes textures can be connected to one: its value
// is then "@NAME", shown as the texture's name.
function tripleControl(p, onChange) {
  // The host's own channel attributes where it has them (Maya's colorR, ...).
  const own = p.channels && p.channels.length === 3;
  const channels = own ? p.channels
    : (p.type === 'color' ? ['R', 'G', 'B'] : ['X', 'Y', 'Z']).map((s) => `${p.name} ${s}`);
  const boxes = numbers(p.default || '0,0,0').map((v, k) => el('input', {
    type: 'text', inputmode: 'decimal', class: 'number', value: String(v), title: channels[k],
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
  const extra = [];
  let connected = null;
  if (p.textures) {
    const name = el('span', { class: 'texture-name' });
    const off = el('button', {
      type: 'button', class: 'reset', text: '✕', title: `${p.label}: disconnect the texture`,
      'aria-label': `disconnect the texture from ${p.label}`,
    });
    off.addEventListener('click', () => onChange(p.default));
    connected = el('span', { class: 'texture', hidden: '' }, [name, off]);
    extra.push(connected, ...fileButton('Texture…', `texture for ${p.label} (PNG${state.controls.uploads.exr ? ' or EXR' : ''})`,
      state.controls.uploads.exr ? '.png,.exr,image/png' : '.png,image/png', async (file) => {
        const uploaded = await upload('texture', file);
        if (uploaded !== null) onChange('@' + uploaded);
      }));
  }
  const set = (t) => {
    const texture = String(t).startsWith('@');
    if (connected) {
      connected.hidden = !texture;
      connected.firstChild.textContent = texture ? String(t).slice(1) : '';
      for (const i of [picker, ...boxes]) i.hidden = texture;
    }
    if (texture) return;
    String(t).split(',').forEach((v, k) => { if (boxes[k]) boxes[k].value = v; });
    if (p.type === 'color' && numbers(t).every(Number.isFinite)) picker.value = toHex(numbers(t));
  };
  return { inputs: [picker, ...boxes, ...extra], set, triple: true, textures: !!p.textures };
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

const defaults = {};  // "host/name" or "scene/flag" -> the default text
const labels = {};    // the same keys -> what the message calls the control

function resetButton(label, onClick, cls) {
  const b = el('button', {
    type: 'button', class: cls || 'reset', title: `${label}: back to the default`,
    'aria-label': `reset ${label}`, text: cls ? 'Reset' : '↺',
  });
  b.addEventListener('click', onClick);
  return b;
}

function hostPanel(host, linked) {
  const reset = resetButton(host.title, () => resetKeys(host.params.map((p) => `${host.flag}/${p.name}`)), 'reset-host');
  const set = el('fieldset', { class: 'host', dataset: { host: host.flag } },
    [el('legend', {}, [host.title, ' ', reset])]);
  state.hosts[host.flag] = {};
  for (const p of host.params) {
    const key = `${host.flag}/${p.name}`;
    const label = `${host.title} ${p.name}`;
    defaults[key] = p.default;
    labels[key] = label;
    const textures = host.textures && p.type === 'color';
    const c = control({ ...p, label, textures }, (text) => changeParam(host.flag, p, text, true));
    state.setters[key] = c.set;
    const row = el('div', {
      class: 'param' + (c.triple ? ' triple' : '') + (c.textures ? ' texturable' : '') +
        (linked.includes(p.name) ? ' linked' : ''),
      dataset: { host: host.flag, param: p.name, type: p.type, default: p.default },
      title: describe(p),
    }, [el('label', { text: p.name }), ...c.inputs,
      resetButton(label, () => resetKeys([key]))]);
    set.append(row);
  }
  return set;
}

const SHAPES = [['sphere,torus', 'sphere and torus'], ['sphere', 'sphere'], ['torus', 'torus'],
  ['plane', 'plane'], ['cloth', 'cloth (a curtain in folds)'], ['cushion', 'cushion']];

// Every shape the tool makes (sphere and torus alone or together, or one of
// the others alone), and the meshes uploaded: the scene's "mesh" names the
// one shown, "" for the shapes.
function shapePicker(p) {
  const select = el('select', { 'aria-label': p.label });
  for (const [value, text] of SHAPES) select.append(el('option', { value, text }));
  const meshes = el('optgroup', { label: 'meshes' });
  const offer = (name) => {
    if (![...meshes.children].some((o) => o.value === 'mesh:' + name)) {
      meshes.append(el('option', { value: 'mesh:' + name, text: name }));
    }
    if (!meshes.parentNode) select.append(meshes);
  };
  select.value = p.default;
  select.addEventListener('change', () => {
    const v = select.value;
    if (v.startsWith('mesh:')) userChange([['scene/mesh', v.slice(5)]]);
    else userChange([['scene/shapes', v], ['scene/mesh', '']]);
  });
  const shown = () => {
    const mesh = state.scene.mesh || '';
    if (mesh) offer(mesh);
    select.value = mesh ? 'mesh:' + mesh : (state.scene.shapes ?? p.default);
  };
  state.setters['scene/mesh'] = shown;
  defaults['scene/mesh'] = '';
  labels['scene/mesh'] = 'mesh';
  const [button, input] = fileButton('Mesh…', 'a Wavefront OBJ mesh to show', '.obj', async (file) => {
    const uploaded = await upload('mesh', file);
    if (uploaded === null) return;
    offer(uploaded);
    userChange([['scene/mesh', uploaded]]);
  });
  if (!state.controls.uploads.mesh) {
    button.disabled = true;
    button.title = 'this build reads no OBJ files';
  }
  return { inputs: [select, button, input], set: shown, resets: ['scene/shapes', 'scene/mesh'] };
}

function scenePanel(scene) {
  const set = $('scene');
  for (const p of scene) {
    let c;
    if (p.type === 'shapes') {
      c = shapePicker(p);
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
      c = scalarControl({ ...p, name: p.flag }, (text) => changeScene(p, text));
    }
    const key = `scene/${p.flag}`;
    state.setters[key] = c.set;
    defaults[key] = p.default;
    labels[key] = p.label;
    set.append(el('div', { class: 'param' + (c.triple ? ' triple' : ''), dataset: { scene: p.flag }, title: p.label },
      [el('label', { text: p.label }), ...c.inputs, resetButton(p.label, () => resetKeys(c.resets || [key]))]));
  }
}

// ---- the look -----------------------------------------------------------------

// The value a control has in the look (its default when the look has none).
function valueOf(key) {
  const [where, name] = key.split('/');
  const v = where === 'scene' ? state.scene[name] : state.hosts[where][name];
  return v ?? defaults[key];
}

// Sets each [key, text]: the control, the look and the change to send.
function setKeys(list) {
  for (const [key, text] of list) {
    const [where, name] = key.split('/');
    if (where === 'scene') {
      state.scene[name] = text;
      state.pending.scene[name] = text;
    } else {
      state.hosts[where][name] = text;
      (state.pending.hosts[where] = state.pending.hosts[where] || {})[name] = text;
    }
    if (state.setters[key]) state.setters[key](text);
  }
  sendLook();
}

// A change by the user: undoable. Changes to the same controls in quick
// succession (a drag) are one step.
function userChange(list) {
  const keys = list.map(([k]) => k).join(' ');
  const last = state.undo[state.undo.length - 1];
  const now = performance.now();
  if (last && last.keys === keys && now - last.at < 800) {
    last.after = list;
    last.at = now;
  } else {
    const before = list.map(([k]) => [k, valueOf(k)]);
    state.undo.push({ keys, before, after: list, at: now });
    if (state.undo.length > 500) state.undo.shift();
  }
  state.redo = [];
  setKeys(list);
}

function undo() {
  const step = state.undo.pop();
  if (!step) return;
  state.redo.push(step);
  setKeys(step.before);
  setStatus('undone');
}

function redo() {
  const step = state.redo.pop();
  if (!step) return;
  state.undo.push({ ...step, at: 0 });
  setKeys(step.after);
  setStatus('redone');
}

// A control resets to its default; one whose host declares none ('') has
// nothing to go back to, except the mesh, whose default is none.
function resetKeys(keys) {
  const list = keys.filter((k) => defaults[k] !== undefined && (defaults[k] !== '' || k === 'scene/mesh') &&
    (valueOf(k) !== defaults[k] || state.invalid[k] !== undefined)).map((k) => [k, defaults[k]]);
  if (list.length) userChange(list);
}

function changeParam(host, p, text, fromUser) {
  const list = [[`${host}/${p.name}`, text]];
  if (fromUser && $('linked').checked && state.controls.linked.includes(p.name)) {
    for (const other of state.controls.hosts) {
      if (other.flag !== host && !other.shows) list.push([`${other.flag}/${p.name}`, text]);
    }
  }
  userChange(list);
}

function changeScene(p, text) {
  userChange([[`scene/${p.flag}`, text]]);
}

function rowOf(key) {
  const [where, name] = key.split('/');
  return where === 'scene' ? document.querySelector(`[data-scene='${name}']`)
    : document.querySelector(`.param[data-host='${where}'][data-param='${name}']`);
}

// A refused value stays in its box, its row marked, until a value is taken.
function markInvalid(key, text, on) {
  const row = rowOf(key);
  if (on) state.invalid[key] = text;
  else delete state.invalid[key];
  if (!row) return;
  row.classList.toggle('invalid', on);
  for (const i of row.querySelectorAll('input')) {
    if (on) i.setAttribute('aria-invalid', 'true');
    else i.removeAttribute('aria-invalid');
  }
}

function entries(change) {
  const list = Object.entries(change.scene).map(([f, t]) => [`scene/${f}`, t]);
  for (const [h, values] of Object.entries(change.hosts)) {
    for (const [n, t] of Object.entries(values)) list.push([`${h}/${n}`, t]);
  }
  return list;
}

function changeOf(list) {
  const change = { scene: {}, hosts: {} };
  for (const [key, text] of list) {
    const [where, name] = key.split('/');
    if (where === 'scene') change.scene[name] = text;
    else (change.hosts[where] = change.hosts[where] || {})[name] = text;
  }
  return change;
}

async function postLook(change) {
  const scale = state.scale ? `?scale=${state.scale}` : '';
  const r = await fetch('/api/look' + scale, { method: 'POST', body: JSON.stringify(change) });
  return { ok: r.ok, answer: await r.json() };
}

// The tool's look into the controls: on opening, after each change, and when
// another page changed it. Not while the user's own change is waiting, which
// would move the controls under the user's hand.
function applyLook(l) {
  if (state.dirty) return;
  // A refused value keeps its box until the user changes it.
  const move = (key, text) => {
    if (state.invalid[key] === undefined && state.setters[key]) state.setters[key](text);
  };
  for (const [flag, text] of Object.entries(l.scene)) {
    state.scene[flag] = text;
    move(`scene/${flag}`, text);
  }
  for (const [host, values] of Object.entries(l.hosts)) {
    if (!state.hosts[host]) continue;
    for (const [name, text] of Object.entries(values)) {
      state.hosts[host][name] = text;
      move(`${host}/${name}`, text);
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
    const sent = entries(change);
    for (const [key] of sent) markInvalid(key, '', false);
    const { ok, answer } = await postLook(change);
    if (ok) {
      applyLook(answer);
      setStatus('rendering…');
      // The look's first image, when it was ready in time, comes with it.
      const newer = answer.frame && (answer.frame.generation > state.shown.generation ||
        (answer.frame.generation === state.shown.generation && answer.frame.level > state.shown.level));
      if (newer && !state.dirty) show(answer.frame);
    } else {
      // The tool kept its look. Each value alone finds the refused ones; the
      // rest are taken.
      const refused = [];
      for (const entry of sent.length > 1 ? sent : []) {
        const one = await postLook(changeOf([entry]));
        if (!one.ok) refused.push([entry, one.answer.error]);
      }
      if (sent.length === 1) refused.push([sent[0], answer.error]);
      for (const [[key, text]] of refused) markInvalid(key, text, true);
      const [[key, text], why] = refused[0] || [[sent[0][0], ''], answer.error];
      setStatus(`${labels[key] || key}: '${text}' was not taken: ${why}`, true);
      await fetchLook();
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
    el('div', { class: 'stack' }, [el('img', { id, alt: caption }),
      el('img', { id: 'held-' + id, class: 'held', alt: caption + ', look A' })]),
    el('figcaption', { text: caption })]);
}

// ---- lights and turntable ----------------------------------------------------------

// An angle control's value moved by `by` degrees, kept in its range: an
// azimuth wraps around, an elevation stops at its ends.
function turned(key, by, wrap) {
  const p = state.controls.scene.find((q) => `scene/${q.flag}` === key);
  let v = Number(valueOf(key)) + by;
  if (!Number.isFinite(v)) v = Number(p.default) || 0;
  if (wrap) v = ((v + 180) % 360 + 360) % 360 - 180;
  else v = Math.min(p.softMax ?? 89, Math.max(p.softMin ?? -89, v));
  return String(Math.round(v * 10) / 10);
}

// A drag on an image turns the key light (with Shift, the rim light): across
// for its azimuth, up and down for its elevation. The arrow keys step it
// when an image has the focus (5°, with Shift 15°). A drag sends its newest
// position only: the look's own coalescing keeps one change in flight.
function lightOnImages(images) {
  const light = (e) => (e.shiftKey ? 'rim' : 'key');
  const move = (which, dx, dy) => userChange([
    [`scene/${which}-azimuth`, turned(`scene/${which}-azimuth`, dx, true)],
    [`scene/${which}-elevation`, turned(`scene/${which}-elevation`, dy, false)]]);
  images.tabIndex = 0;
  images.setAttribute('aria-label',
    'images: drag or use the arrow keys to move the key light, with Shift the rim light');
  let drag = null;
  images.addEventListener('pointerdown', (e) => {
    if (e.target.tagName !== 'IMG' || $('ab').value === 'wipe') return;
    drag = { x: e.clientX, y: e.clientY };
    images.setPointerCapture(e.pointerId);
    e.preventDefault();
  });
  images.addEventListener('pointermove', (e) => {
    if (!drag) return;
    // Half a degree per pixel: across the image is about a half turn.
    const dx = (e.clientX - drag.x) * 0.5, dy = (drag.y - e.clientY) * 0.5;
    if (Math.abs(dx) < 0.5 && Math.abs(dy) < 0.5) return;
    drag = { x: e.clientX, y: e.clientY };
    move(light(e), dx, dy);
  });
  const end = () => { drag = null; };
  images.addEventListener('pointerup', end);
  images.addEventListener('pointercancel', end);
  images.addEventListener('keydown', (e) => {
    const step = e.shiftKey ? 15 : 5;
    const d = { ArrowLeft: [-step, 0], ArrowRight: [step, 0], ArrowUp: [0, step], ArrowDown: [0, -step] }[e.key];
    if (!d) return;
    // Alt steps the rim light, as Shift drags it (Shift is the larger step).
    move(e.altKey ? 'rim' : 'key', d[0], d[1]);
    e.preventDefault();
  });
}

// Play turns the shapes 10° each time the full image of the last turn is on
// screen, so that it never runs ahead of the renderer.
function playTurntable(on) {
  state.turning = on;
  const b = $('turntable-play');
  b.textContent = on ? '⏸ Turntable' : '▶ Turntable';
  b.setAttribute('aria-pressed', String(on));
  if (on) turnStep();
}

function turnStep() {
  if (!state.turning) return;
  userChange([['scene/turntable', turned('scene/turntable', 10, true)]]);
}

// ---- A/B ------------------------------------------------------------------------

// A: the look and the full images on screen when it was held. B: the look
// being worked on. A shows over B on the same place, whole or left of the
// wiper.
function holdA() {
  if (state.shown.stage !== 2) {
    setStatus('A is held from a full image: wait until it shows', true);
    return;
  }
  const images = {};
  for (const h of state.controls.hosts) images[h.flag] = $('image-' + h.flag).src;
  state.held = { images, values: Object.keys(defaults).map((k) => [k, valueOf(k)]) };
  for (const h of state.controls.hosts) $('held-image-' + h.flag).src = images[h.flag];
  $('ab').disabled = false;
  $('back-to-a').disabled = false;
  setStatus('holding this look as A');
  showAB();
}

function showAB() {
  const mode = state.held ? $('ab').value : 'b';
  $('wiper').hidden = mode !== 'wipe';
  const right = 100 - Number($('wiper').value);
  for (const h of state.controls.hosts) {
    const img = $('held-image-' + h.flag);
    img.style.display = mode === 'b' ? 'none' : 'block';
    img.style.clipPath = mode === 'wipe' ? `inset(0 ${right}% 0 0)` : 'none';
  }
}

function backToA() {
  if (!state.held) return;
  const list = state.held.values.filter(([k, t]) => t !== undefined && valueOf(k) !== t);
  if (list.length) userChange(list);
  $('ab').value = 'b';
  showAB();
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
    const largest = frame.largest < 0 ? 'not finite' : Number(frame.largest).toPrecision(3);
    // A server without fixed scales answers without one: largest = white.
    const white = frame.scale ? `${Number(1 / frame.scale).toPrecision(3)} shown white (×${frame.scale})`
      : 'largest shown white';
    $('difference-caption').textContent =
      `|${state.controls.hosts[0].flag} − ${state.controls.hosts[1].flag}|, largest ${largest}, ${white}`;
  }
  state.shown = { generation: frame.generation, stage: frame.stage, level: frame.level || 0 };
  const images = $('images');
  images.dataset.generation = frame.generation;
  images.dataset.stage = frame.stage;
  if (frame.error) setStatus(frame.error, true);
  else setStatus(coarse ? 'coarse…' : `done in ${Math.round(frame.ms)} ms`);
  if (state.turning && frame.stage === 2 && !state.posting && !state.dirty) {
    setTimeout(turnStep, 0);
  }
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Long polls for the newest frame. A frame never replaces a newer change:
// while a look is on its way, or for a look older than the last one sent,
// it is dropped.
async function poll() {
  for (;;) {
    try {
      const { generation, stage, level } = state.shown;
      const asked = performance.now();
      const scale = state.scale ? `&scale=${state.scale}` : '';
      const r = await fetch(`/api/frame?have=${generation}&stage=${stage}&level=${level}&wait=4000${scale}`);
      const frame = await r.json();
      // A look newer than the controls show came from another page.
      if (!state.posting && !state.dirty && frame.generation > state.posted) await fetchLook();
      // The look's answer may have brought this frame already.
      const seen = frame.generation === state.shown.generation && (frame.level || 0) <= state.shown.level;
      if (seen && frame.stage !== 0) continue;
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
    const saved = (state.savedLooks || []).filter((s) => !answer.looks.some((l) => l.name === s.name));
    state.looks = answer.looks.concat(saved);
    const select = $('looks');
    select.length = 1;
    for (const l of state.looks) select.append(el('option', { value: l.name, text: l.name }));
    select.disabled = state.looks.length === 0;
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
  const list = [];
  for (const h of state.controls.hosts) {
    const values = l.hosts[h.flag] || {};
    for (const p of h.params) {
      const text = values[p.name] ?? p.default;
      if (text === undefined || text === '') continue;
      list.push([`${h.flag}/${p.name}`, text]);
    }
  }
  userChange(list);
}

async function saveLook() {
  const name = $('look-name').value.trim();
  setStatus('saving look…');
  // The look as on screen: wait until the last change has reached the tool.
  while (state.posting || state.dirty) await sleep(20);
  try {
    let r = await fetch('/api/save-look', { method: 'POST', body: JSON.stringify({ name }) });
    let answer = await r.json();
    // 409: a look of that name is there; overwriting asks first.
    if (r.status === 409) {
      if (!window.confirm(`${answer.error}. Overwrite it?`)) {
        setStatus(`look ${name} not saved: kept the one there`);
        return;
      }
      r = await fetch('/api/save-look', { method: 'POST', body: JSON.stringify({ name, overwrite: true }) });
      answer = await r.json();
    }
    if (!r.ok) {
      setStatus(answer.error, true);
      return;
    }
    $('saved').textContent = answer.wrote.map((f) => 'wrote ' + f).join('\n');
    // A look file holds values: a texture is connected in the host itself.
    const textured = Object.values(state.hosts).some((v) => Object.values(v).some((t) => String(t).startsWith('@')));
    setStatus(`saved look ${answer.name}` + (textured ? ' (without its textures: the hand-over connects them)' : ''));
    // In the list at once, with the values saved, whether or not --out is
    // where the looks are read from.
    const hosts = {};
    for (const [h, values] of Object.entries(state.hosts)) {
      hosts[h] = Object.fromEntries(Object.entries(values).filter(([, t]) => !String(t).startsWith('@')));
    }
    const saved = { name: answer.name, hosts };
    state.savedLooks = (state.savedLooks || []).filter((l) => l.name !== saved.name).concat([saved]);
    await loadLooks();
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
  // A host that shows another's plug-in (the viewport) has an image only.
  const own = c.hosts.filter((h) => !h.shows);
  for (const h of own) $('controls').append(hostPanel(h, c.linked));
  // Each host's hand-over, in the host's own words.
  for (const h of own) {
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
  // A new scale asks for the frame on screen again.
  $('difference-scale').addEventListener('change', () => {
    state.scale = Number($('difference-scale').value);
    state.shown = { generation: state.shown.generation, stage: 0, level: 0 };
  });
  $('reset-look').addEventListener('click', () => resetKeys(Object.keys(defaults)));
  lightOnImages(images);
  $('turntable-play').addEventListener('click', () => playTurntable(!state.turning));
  document.addEventListener('keydown', (e) => {
    if (!(e.ctrlKey || e.metaKey) || e.target.id === 'look-name') return;
    const k = e.key.toLowerCase();
    if (k === 'z' && !e.shiftKey) undo();
    else if ((k === 'z' && e.shiftKey) || k === 'y') redo();
    else return;
    e.preventDefault();
  });
  $('undo').addEventListener('click', undo);
  $('hold-a').addEventListener('click', holdA);
  $('ab').addEventListener('change', showAB);
  $('wiper').addEventListener('input', showAB);
  $('back-to-a').addEventListener('click', backToA);
  $('redo').addEventListener('click', redo);
  $('save').addEventListener('click', save);
  $('looks').addEventListener('change', () => pickLook($('looks').value));
  $('save-look').addEventListener('click', saveLook);
  loadLooks();
  for (const b of document.querySelectorAll('button[data-copy]')) {
    b.addEventListener('click', async () => {
      try {
        if (!navigator.clipboard) throw new Error('the browser gives this page no clipboard');
        await navigator.clipboard.writeText($(b.dataset.copy).textContent);
        b.textContent = 'Copied';
        setStatus('copied');
        setTimeout(() => { b.textContent = 'Copy'; }, 1500);
      } catch (e) {
        b.textContent = 'Copy';
        setStatus(`could not copy: ${e.message || e}; select the text and copy it by hand`, true);
      }
    });
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
