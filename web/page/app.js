// The editor page: opening a scan, thresholding, vectorizing with the
// program's options, selecting and editing with the mouse and keyboard,
// undo and redo, exports.  Every edit is one op of the edit script applied
// by the engine (engine.js); the page only decides which op a gesture means
// and says so on the status line before and after.
import { Engine, CODE_WORDS } from './engine.js';
import { View, STYLE } from './view.js';

const $ = (id) => document.getElementById(id);
const PICK_NODE_PX = 8;       // screen pixels within which a click takes a node
const PICK_LINK_PX = 6;       // ... and a polyline
const DRAG_START_PX = 3;      // movement before a press becomes a drag

const state = {
  engine: null,
  view: null,
  name: 'scan',
  loaded: false,
  vectorized: false,
  tool: 'select',
  node: -1,          // selected node
  node2: -1,         // second node (shift-click), for merge and join
  polyline: 0,       // selected polyline
  press: null,       // the pointer gesture in progress
  hover: null,
};

// ---- status line ------------------------------------------------------------------
function status(text, error = false) {
  const s = $('status');
  s.textContent = text;
  s.classList.toggle('error', error);
}

function refusal(error) {
  const code = error.code;
  const words = CODE_WORDS[String(code)];
  if (code === -1000) return 'out of memory: the graph stays as it was';
  return `refused: ${error.message}${words ? ` (${code}: ${words})` : ''}; the graph stays as it was`;
}

// The tab never dies silently: anything thrown ends on the status line.
window.addEventListener('error', (e) => status(`internal error: ${e.message}`, true));
window.addEventListener('unhandledrejection', (e) => status(`internal error: ${e.reason?.message ?? e.reason}`, true));

// ---- the graph on screen --------------------------------------------------------------
function nodeAt(i) {
  const n = state.view.nodes;
  return { x: n[4 * i], y: n[4 * i + 1], links: n[4 * i + 2], deleted: n[4 * i + 3] };
}

function nodeKind(i) {
  const l = nodeAt(i).links;
  return l === 1 ? 'end' : l >= 3 ? `junction of ${l} links` : l === 2 ? 'node of two links' : 'lone node';
}

// The graph drawn again: `fresh` after vectorizing, else after an edit or
// the sub-pixel geometry switched.
function refreshGraph(fresh = false) {
  const { engine, view } = state;
  view.setGraph(engine.geometry(), engine.nodes(), fresh);
  const nodes = view.nodes;
  if (state.node >= nodes.length / 4 || (state.node >= 0 && nodeAt(state.node).deleted)) state.node = -1;
  if (state.node2 >= nodes.length / 4 || (state.node2 >= 0 && nodeAt(state.node2).deleted)) state.node2 = -1;
  if (state.polyline && !view.byId.has(state.polyline)) state.polyline = 0;
  $('undo').disabled = engine.undoDepth() === 0;
  $('redo').disabled = engine.redoDepth() === 0;
  const c = engine.counts();
  $('result').textContent = `${c.nodes} nodes, ${c.polylines} polylines` +
    (state.lastRun ? ` · vectorized in ${state.lastRun.ms.toFixed(0)} ms` : '') +
    (view.refined && engine.refineMs() > 0 ? `, sub-pixel geometry ${engine.refineMs().toFixed(0)} ms` : '');
  showSelection();
}

// After an edit, undo or redo: what the sub-pixel geometry cost, measured
// again for the changed graph (centre lines; edited outlines are drawn from
// the rings measured before, and the engine reports 0).
function remeasured() {
  const ms = state.engine.refineMs();
  return state.view.refined && ms > 0 ? `; sub-pixel geometry measured again in ${ms.toFixed(0)} ms` : '';
}

function showSelection() {
  const parts = [];
  if (state.node >= 0) {
    const n = nodeAt(state.node);
    parts.push(`node ${state.node} at (${n.x}, ${n.y}), ${nodeKind(state.node)}`);
  }
  if (state.node2 >= 0) parts.push(`second node ${state.node2}`);
  if (state.polyline) {
    const p = state.view.byId.get(state.polyline);
    // Closed in the graph: its last node is its first (its drawing may be
    // a ring of the sub-pixel geometry's own, or none).
    const n = p.nodes, closed = n.length >= 2 && n[0] === n[n.length - 1];
    parts.push(`polyline ${state.polyline} (${n.length} nodes${closed ? ', closed' : ''}, ${p.kind})`);
  }
  $('selection').textContent = parts.length ? parts.join('; ') : 'Nothing selected.';
  state.view.request();
}

// Marks of the selection and of the gesture in progress, over the vectors.
function overlay(ctx, view) {
  const s = view.scale;
  if (state.polyline) {
    ctx.strokeStyle = STYLE.selected.color;
    ctx.globalAlpha = 0.55;
    ctx.lineWidth = STYLE.selected.width / s;
    ctx.stroke(view.polylinePath(state.polyline));
    ctx.globalAlpha = 1;
  }
  const ring = (i, color) => {
    if (i < 0) return;
    const n = nodeAt(i);
    ctx.strokeStyle = color;
    ctx.lineWidth = 2 / s;
    ctx.beginPath();
    ctx.arc(n.x + 0.5, n.y + 0.5, 7 / s, 0, 2 * Math.PI);
    ctx.stroke();
  };
  ring(state.node, '#ff2020');
  ring(state.node2, '#ff9900');
  const p = state.press;
  if (p && p.dragging && p.kind === 'move') {
    const [x, y] = view.toImage(p.x, p.y);
    ctx.strokeStyle = '#ff2020';
    ctx.setLineDash([4 / s, 3 / s]);
    ctx.lineWidth = 1.5 / s;
    ctx.beginPath();
    const n = nodeAt(p.node);
    ctx.moveTo(n.x + 0.5, n.y + 0.5);
    ctx.lineTo(Math.floor(x) + 0.5, Math.floor(y) + 0.5);
    ctx.stroke();
    ctx.setLineDash([]);
    ring(-1);
    ctx.fillStyle = '#ff2020';
    ctx.fillRect(Math.floor(x) + 0.5 - 3 / s, Math.floor(y) + 0.5 - 3 / s, 6 / s, 6 / s);
  }
  if (p && p.dragging && p.kind === 'stroke') {
    const [ax, ay] = view.toImage(p.x0, p.y0), [bx, by] = view.toImage(p.x, p.y);
    ctx.strokeStyle = STYLE.connection.color;
    ctx.lineWidth = 2 / s;
    ctx.beginPath();
    ctx.moveTo(ax, ay);
    ctx.lineTo(bx, by);
    ctx.stroke();
  }
}

// ---- opening and vectorizing --------------------------------------------------------------
async function openFile(file) {
  try {
    status(`reading ${file.name}…`);
    const bytes = new Uint8Array(await file.arrayBuffer());
    await openBytes(file.name, bytes);
  } catch (e) {
    status(e.message, true);
  }
}

async function openBytes(name, bytes) {
  const { engine, view } = state;
  const size = await engine.load(name, bytes, thresholdSettings());
  state.name = name;
  state.loaded = true;
  state.vectorized = false;
  state.lastRun = null;
  clearSelection();
  view.setImage(size.width, size.height);
  $('vectorize').disabled = false;
  $('source').textContent = `${name}: ${size.width} x ${size.height} pixels`;
  afterThreshold();
  setExportsEnabled(false);
  $('result').textContent = '';
  status(`${name} opened; choose the options and vectorize`);
}

function thresholdSettings() {
  const t = Number($('threshold').value);
  return { threshold: t > 255 ? -1 : t, invert: $('invert').checked };
}

function afterThreshold() {
  const { threshold, invert } = thresholdSettings();
  const used = state.engine.threshold(threshold, invert);
  $('threshold-value').textContent = used < 0 ? '1-bit input' : threshold < 0 ? `auto (${used})` : String(used);
  $('threshold').disabled = used < 0;
  state.view.tiles.clear();
  state.vectorized = false;
  state.view.setGraph({ refined: false, polylines: [], own: [] }, new Int32Array(0));
  setExportsEnabled(false);
}

function setExportsEnabled(on) {
  for (const b of document.querySelectorAll('[data-export]')) b.disabled = !on;
}

// The side panel from the program's own option table of the command.
function buildOptions() {
  const box = $('options');
  box.textContent = '';
  for (const o of state.engine.options($('command').value)) {
    if (o.name === '--refine') {
      refineToggle(o);
      continue;
    }
    const row = document.createElement('label');
    row.className = 'option';
    row.title = o.help + (o.sets ? ` (${o.sets})` : '');
    const name = document.createElement('span');
    name.className = 'name';
    name.textContent = o.name;
    let input;
    if (o.switch) {
      input = document.createElement('input');
      input.type = 'checkbox';
      input.checked = o.default === 1;
      row.append(input, ' ', name);
    } else {
      input = document.createElement('input');
      const text = o.default === null || o.default < 0;
      input.type = text ? 'text' : 'number';
      if (!text) {
        input.value = String(o.default);
        input.step = 'any';
        input.min = String(o.min);
        input.max = String(o.max);
      }
      input.placeholder = o.default_text || (o.metavar ? `${o.metavar}: off` : '');
      row.append(name, ' ', input);
    }
    input.dataset.option = o.name;
    input.dataset.default = o.switch ? String(o.default === 1) : (o.default === null || o.default < 0 ? '' : String(o.default));
    input.dataset.negatable = String(o.negatable);
    box.append(row);
  }
}

// The sub-pixel switch (--refine) is the "Sub-pixel geometry" toggle: set to
// the command's default when the command is chosen, and what it shows is
// what is drawn and exported, so a result there is follows it at once.
function refineToggle(o) {
  const input = $('refine');
  input.closest('label').title = o.help;
  input.dataset.default = String(o.default === 1);
  if (input.checked !== (o.default === 1)) {
    input.checked = o.default === 1;
    if (state.vectorized) switchRefine();
  }
}

function switchRefine() {
  const on = $('refine').checked;
  try {
    const ms = state.engine.setRefine(on);
    refreshGraph();
    status(on ? `sub-pixel geometry measured in ${ms.toFixed(0)} ms: the lines follow the ink; the handles stay the graph's nodes`
              : 'sub-pixel geometry off: the graph\'s own nodes, on pixel centres');
  } catch (e) {
    $('refine').checked = !on;
    status(refusal(e), true);
  }
}

// The options that differ from the defaults, as command-line arguments.
function optionArgs() {
  const args = [];
  const refine = $('refine');
  if (String(refine.checked) !== refine.dataset.default) args.push(refine.checked ? '--refine' : '--no-refine');
  for (const input of document.querySelectorAll('#options [data-option]')) {
    const name = input.dataset.option;
    if (input.type === 'checkbox') {
      if (String(input.checked) === input.dataset.default) continue;
      args.push(input.checked ? name : `--no-${name.slice(2)}`);
    } else if (input.value.trim() !== '' && input.value.trim() !== input.dataset.default) {
      args.push(name, input.value.trim());
    }
  }
  return args;
}

function vectorize() {
  const { engine } = state;
  const command = $('command').value, args = optionArgs();
  status(`vectorizing (${command} ${args.join(' ')})…`);
  // Let the status line paint before the engine holds the thread.
  return new Promise((resolve) => setTimeout(() => {
    try {
      const run = engine.vectorize(command, args);
      state.lastRun = run;
      state.vectorized = true;
      clearSelection();
      refreshGraph(true);
      setExportsEnabled(true);
      status(`${command}: ${run.nodes} nodes, ${run.polylines} polylines in ${run.ms.toFixed(0)} ms` +
             (state.view.refined ? `, sub-pixel geometry ${run.refineMs.toFixed(0)} ms` : '') +
             (run.threshold >= 0 ? `, threshold ${run.threshold}` : '') + '; click to select, drag a node to move it');
    } catch (e) {
      status(e.code === -1000 ? 'out of memory while vectorizing: the previous graph stays' : e.message, true);
    }
    resolve();
  }, 0));
}

// ---- editing ---------------------------------------------------------------------------------
// Applies one op; true when it was done.
function edit(op, done) {
  try {
    state.engine.apply(op);
  } catch (e) {
    status(refusal(e), true);
    return false;
  }
  refreshGraph();
  status(done + remeasured());
  return true;
}

function clearSelection() {
  state.node = state.node2 = -1;
  state.polyline = 0;
  if (state.view) showSelection();
}

// A node of the polyline that the library's polyline deletion accepts: one
// inside it (two links of the same polyline) or an end.
function deletableNodeOf(id) {
  const p = state.view.byId.get(id);
  if (!p) return -1;
  for (const i of p.nodes) if (nodeAt(i).links === 2) return i;
  for (const i of p.nodes) if (nodeAt(i).links === 1) return i;
  return p.nodes[0];
}

// The polyline a node-based edit means: the selected one when the node is
// on it, else the one through the node when there is just one.
function polylineThrough(node) {
  const v = state.view;
  if (state.polyline && v.byId.get(state.polyline)?.nodes.includes(node)) return state.polyline;
  const ids = v.polylines.filter((p) => p.nodes.includes(node)).map((p) => p.id);
  return ids.length === 1 ? ids[0] : 0;
}

function need(what) {
  status(`select ${what} first`, true);
  return false;
}

const number = (id) => Number($(id).value);

const EDITS = {
  'delete-node': () => state.node < 0 ? need('a node') :
    edit({ op: 'delete-node', node: state.node }, `deleted node ${state.node}`) && (state.node = -1),
  'delete-polyline': () => {
    if (!state.polyline) return need('a polyline');
    const id = state.polyline;
    return edit({ op: 'delete-polyline', node: deletableNodeOf(id) }, `deleted polyline ${id}`);
  },
  merge: () => state.node < 0 || state.node2 < 0 ? need('two nodes (click one, shift-click the other)') :
    edit({ op: 'merge', node: state.node2, into: state.node }, `merged node ${state.node2} into node ${state.node}`),
  join: () => {
    if (state.node < 0 || state.node2 < 0) return need('two end nodes (click one, shift-click the other)');
    const a = nodeAt(state.node);
    return edit({ op: 'move-attach', node: state.node2, to: [a.x, a.y] },
                `joined the end ${state.node2} to the end ${state.node}`);
  },
  split: () => {
    if (state.node < 0) return need('a node on the polyline');
    const id = polylineThrough(state.node);
    if (!id) return need('the polyline too (the node is on several)');
    return edit({ op: 'split', polyline: id, node: state.node }, `split polyline ${id} at node ${state.node}`);
  },
  disconnect: () => {
    const p = state.view.byId.get(state.polyline);
    if (!p || state.node < 0) return need('a polyline and its end node at a junction');
    const atStart = p.nodes[0] === state.node, atEnd = p.nodes[p.nodes.length - 1] === state.node;
    const refs = atStart ? p.prev : atEnd ? p.next : [];
    if (!refs.length) {
      status(`polyline ${p.id} has no connection at node ${state.node}`, true);
      return false;
    }
    return edit({ op: 'disconnect', polyline: p.id, joint: state.node, with: Math.abs(refs[0]) },
                `disconnected polyline ${p.id} from ${Math.abs(refs[0])} at node ${state.node}`);
  },
  arc: () => !state.polyline ? need('a polyline') :
    edit({ op: 'arc', polyline: state.polyline, min: number('arc-min'), max: number('arc-max') },
         `fitted arcs to polyline ${state.polyline}`),
  circle: () => {
    const p = state.view.byId.get(state.polyline);
    if (!p) return need('a closed polyline');
    return edit({ op: 'circle', node: p.nodes[1] ?? p.nodes[0], maxradius: number('circle-max') },
                `fitted polyline ${p.id} onto a circle`);
  },
  spline: () => !state.polyline ? need('a polyline') :
    edit({ op: 'spline', polyline: state.polyline, division: Math.max(1, Math.round(number('spline-division'))) },
         `fitted a spline to polyline ${state.polyline}`),
  simplify: () => !state.polyline ? need('a polyline') :
    edit({ op: 'simplify', polyline: state.polyline, dist: number('simplify-dist'), angle: number('simplify-angle') },
         `simplified polyline ${state.polyline}`),
  notch: () => state.node < 0 ? need('a node inside a polyline') :
    edit({ op: 'notch', node: state.node, radius: number('notch-radius'), depth: number('notch-depth') },
         `cut a notch at node ${state.node}`),
  refit: () => edit({ op: 'refit' }, 'refitted the changed polylines'),
};

function undo(redo) {
  const { engine } = state;
  try {
    const done = redo ? engine.redo() : engine.undo();
    if (!done) {
      status(redo ? 'nothing to redo' : 'nothing to undo');
      return;
    }
    refreshGraph();
    status(`${redo ? 'redone' : 'undone'}; ${engine.undoDepth()} to undo, ${engine.redoDepth()} to redo` + remeasured());
  } catch (e) {
    status(refusal(e), true);
  }
}

// ---- exports ---------------------------------------------------------------------------------
function exportFile(format) {
  const base = state.name.replace(/\.[^.]*$/, '');
  let bytes, name, type;
  try {
    if (format === 'script') {
      bytes = new TextEncoder().encode(state.engine.script());
      name = `${base}-edits.json`;
      type = 'application/json';
    } else {
      bytes = state.engine.exportBytes(format);
      name = `${base}.${format}`;
      type = { svg: 'image/svg+xml', dxf: 'application/dxf', json: 'application/json' }[format];
    }
  } catch (e) {
    status(e.message, true);
    return;
  }
  const a = document.createElement('a');
  a.href = URL.createObjectURL(new Blob([bytes], { type }));
  a.download = name;
  a.click();
  setTimeout(() => URL.revokeObjectURL(a.href), 10000);
  status(`exported ${name} (${bytes.length} bytes)`);
}

// ---- pointer gestures ---------------------------------------------------------------------------
function local(e) {
  const r = state.view.canvas.getBoundingClientRect();
  return [e.clientX - r.left, e.clientY - r.top];
}

// What a click at screen (sx, sy) would take: a node, else a polyline.
function pickAt(sx, sy) {
  const { view, engine } = state;
  if (!state.vectorized) return {};
  const [x, y] = view.toImage(sx, sy);
  const node = engine.pickNode(x - 0.5, y - 0.5, PICK_NODE_PX / view.scale);
  if (node >= 0) return { node };
  const polyline = view.pickPolyline(x - 0.5, y - 0.5, PICK_LINK_PX / view.scale);
  return polyline ? { polyline } : {};
}

// The status line says what a click or drag at the pointer will do.
function hint(sx, sy) {
  if (!state.vectorized) return;
  const pick = pickAt(sx, sy);
  let text;
  if (state.tool === 'insert') {
    text = pick.polyline || pick.node >= 0 ? 'click: insert a node on the link here' : 'click on a link to insert a node';
  } else if (state.tool === 'connect') {
    text = 'drag from one branch across a junction to another: connect them through it';
  } else if (pick.node >= 0) {
    text = `click: select node ${pick.node} (${nodeKind(pick.node)}); shift-click: second node; drag: move it` +
           ($('attach').checked ? ' and attach' : ' (Alt: attach)');
  } else if (pick.polyline) {
    text = `click: select polyline ${pick.polyline}`;
  } else {
    text = 'drag: pan; wheel: zoom; click: clear the selection';
  }
  status(text);
}

function onPointerDown(e) {
  const [sx, sy] = local(e);
  state.view.canvas.focus();
  state.view.canvas.setPointerCapture(e.pointerId);
  const pan = e.button === 1 || e.button === 2;
  const pick = pan ? {} : pickAt(sx, sy);
  let kind = 'pan';
  if (!pan && state.tool === 'connect' && state.vectorized) kind = 'stroke';
  else if (!pan && state.tool === 'insert' && state.vectorized) kind = 'insert';
  else if (!pan && pick.node >= 0) kind = 'move';
  state.press = { kind, x0: sx, y0: sy, x: sx, y: sy, lastX: sx, lastY: sy, node: pick.node, pick, shift: e.shiftKey,
                  alt: e.altKey, dragging: false };
}

function onPointerMove(e) {
  const [sx, sy] = local(e);
  const [ix, iy] = state.view.toImage(sx, sy);
  $('coords').textContent = state.loaded ? `(${Math.floor(ix)}, ${Math.floor(iy)}) ×${state.view.scale.toFixed(3)}` : '';
  const p = state.press;
  if (!p) {
    hint(sx, sy);
    return;
  }
  p.x = sx;
  p.y = sy;
  if (!p.dragging && Math.hypot(sx - p.x0, sy - p.y0) >= DRAG_START_PX) p.dragging = true;
  if (!p.dragging) return;
  if (p.kind === 'pan') state.view.panBy(sx - p.lastX, sy - p.lastY);
  else state.view.request();
  p.lastX = sx;
  p.lastY = sy;
}

function onPointerUp(e) {
  const p = state.press;
  state.press = null;
  if (!p) return;
  const [sx, sy] = local(e);
  const [x, y] = state.view.toImage(sx, sy);
  if (p.kind === 'move' && p.dragging) {
    const to = [Math.floor(x), Math.floor(y)];
    const attach = $('attach').checked || p.alt;
    state.node = p.node;
    edit({ op: attach ? 'move-attach' : 'move', node: p.node, to },
         `moved node ${p.node} to (${to[0]}, ${to[1]})${attach ? ', attached' : ''}`);
    return;
  }
  if (p.kind === 'stroke' && p.dragging) {
    const [ax, ay] = state.view.toImage(p.x0, p.y0);
    const stroke = [ax, ay, x, y].map((v) => Math.floor(v));
    edit({ op: 'connect', stroke }, 'connected the two branches through the junction');
    return;
  }
  if (p.kind === 'insert' && !p.dragging) {
    const at = [x - 0.5, y - 0.5];
    edit({ op: 'insert', at, margin: 0.05, maxdistance: Math.max(1, PICK_LINK_PX / state.view.scale) },
         `inserted a node at (${Math.floor(at[0])}, ${Math.floor(at[1])})`);
    return;
  }
  if (p.dragging) return;
  // A click: select.
  const pick = p.pick;
  if (p.shift && pick.node >= 0) {
    state.node2 = pick.node;
  } else if (pick.node >= 0) {
    state.node = pick.node;
    state.node2 = -1;
    const through = polylineThrough(pick.node);
    if (through) state.polyline = through;
  } else if (pick.polyline) {
    state.polyline = pick.polyline;
    state.node = state.node2 = -1;
  } else {
    clearSelection();
  }
  showSelection();
}

function onWheel(e) {
  e.preventDefault();
  const [sx, sy] = local(e);
  state.view.zoomAt(sx, sy, Math.exp(-e.deltaY * (e.deltaMode === 1 ? 0.05 : 0.0015)));
}

function onKey(e) {
  if (e.target instanceof HTMLInputElement && e.target.type !== 'checkbox' && e.target.type !== 'range') return;
  const ctrl = e.ctrlKey || e.metaKey;
  const key = e.key.toLowerCase();
  if (ctrl && key === 'z') {
    e.preventDefault();
    undo(e.shiftKey);
  } else if (ctrl && key === 'y') {
    e.preventDefault();
    undo(true);
  } else if (e.key === 'Delete' || e.key === 'Backspace') {
    if (!state.vectorized) return;
    e.preventDefault();
    if (state.node >= 0) EDITS['delete-node']();
    else if (state.polyline) EDITS['delete-polyline']();
    else need('a node or a polyline');
  } else if (e.key === 'Escape') {
    state.press = null;
    clearSelection();
    setTool('select');
    status('selection cleared');
  } else if (key === 'f' && !ctrl) {
    state.view.fit();
  }
}

function setTool(tool) {
  state.tool = tool;
  for (const b of document.querySelectorAll('[data-tool]')) b.classList.toggle('on', b.dataset.tool === tool);
}

// ---- start ------------------------------------------------------------------------------------
async function start() {
  const engine = await Engine.create();
  const view = new View($('canvas'), engine);
  view.overlay = overlay;
  Object.assign(state, { engine, view });
  buildOptions();

  $('file').addEventListener('change', (e) => e.target.files[0] && openFile(e.target.files[0]));
  const stage = $('stage');
  stage.addEventListener('dragover', (e) => { e.preventDefault(); stage.classList.add('dragging'); });
  stage.addEventListener('dragleave', () => stage.classList.remove('dragging'));
  stage.addEventListener('drop', (e) => {
    e.preventDefault();
    stage.classList.remove('dragging');
    if (e.dataTransfer.files[0]) openFile(e.dataTransfer.files[0]);
  });
  $('threshold').addEventListener('input', () => state.loaded && afterThreshold());
  $('invert').addEventListener('change', () => state.loaded && afterThreshold());
  $('show-scan').addEventListener('change', (e) => { view.showScan = e.target.checked; view.request(); });
  $('command').addEventListener('change', buildOptions);
  $('refine').addEventListener('change', () => state.vectorized && switchRefine());
  $('vectorize').addEventListener('click', vectorize);
  $('undo').addEventListener('click', () => undo(false));
  $('redo').addEventListener('click', () => undo(true));
  $('fit').addEventListener('click', () => view.fit());
  for (const b of document.querySelectorAll('[data-tool]')) b.addEventListener('click', () => setTool(b.dataset.tool));
  for (const b of document.querySelectorAll('[data-edit]'))
    b.addEventListener('click', () => state.vectorized ? EDITS[b.dataset.edit]() : status('vectorize first', true));
  for (const b of document.querySelectorAll('[data-export]')) b.addEventListener('click', () => exportFile(b.dataset.export));
  const canvas = $('canvas');
  canvas.addEventListener('pointerdown', onPointerDown);
  canvas.addEventListener('pointermove', onPointerMove);
  canvas.addEventListener('pointerup', onPointerUp);
  canvas.addEventListener('pointercancel', () => { state.press = null; });
  canvas.addEventListener('wheel', onWheel, { passive: false });
  canvas.addEventListener('contextmenu', (e) => e.preventDefault());
  window.addEventListener('keydown', onKey);
  status('Open a scan (PNG or PBM) or drop one on the page');
  document.body.dataset.ready = '1';
}

// For the end-to-end tests and for scripting from the console.
window.ktvec = { state, openBytes, vectorize, edit, undo, exportFile };

start().catch((e) => status(`the engine could not start: ${e.message}`, true));
