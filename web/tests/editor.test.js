// The editor page against the program: the same counts and the same bytes
// for the same file, with the sub-pixel geometry and without, hand edits
// that `ktvec edit` replays to the same result, the drawing measured again
// after each edit, undo back to the first export, and clear messages for
// files it cannot read.
import { test, expect } from '@playwright/test';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const ktvec = path.resolve(root, process.env.KTVEC_BUILD || 'build', 'ktvec');
const sample = path.join(root, 'examples/sample.png');

// The program run in a folder holding a copy of the sample, so that the
// source it records is "sample.png", the name the page records.
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'ktvec-web-'));
fs.copyFileSync(sample, path.join(work, 'sample.png'));
const program = (...args) => execFileSync(ktvec, args, { cwd: work, encoding: 'utf8', stdio: ['ignore', 'pipe', 'pipe'] });
const file = (name) => fs.readFileSync(path.join(work, name));

test.beforeAll(() => {
  program('centerline', 'sample.png', '-q', '-o', 'base.json', '-o', 'base.svg', '-o', 'base.dxf');
  program('centerline', 'sample.png', '--no-refine', '-q', '-o', 'raw.json', '-o', 'raw.svg');
  program('centerline', 'sample.png', '--no-join-strokes', '-q', '-o', 'apart.svg');
  program('centerline', 'sample.png', '--arcs', '1,1000', '--splines', '3', '-q', '-o', 'curves.json');
  program('outline', 'sample.png', '-q', '-o', 'outline.json');
});

async function open(page, filePath) {
  await page.goto('index.html');
  await page.waitForSelector('body[data-ready="1"]');
  await page.setInputFiles('#file', filePath);
}

async function openAndVectorize(page) {
  await open(page, sample);
  await expect(page.locator('#source')).toContainText('sample.png: 2000 x 1400');
  await page.click('#vectorize');
  await expect(page.locator('#status')).toContainText('centerline:');
}

async function download(page, format) {
  const [file] = await Promise.all([page.waitForEvent('download'), page.click(`[data-export="${format}"]`)]);
  return fs.readFileSync(await file.path());
}

// The view centred on node i at 6 screen pixels per image pixel; its
// position on the page.
async function showNode(page, i) {
  return page.evaluate((i) => {
    const { view } = window.ktvec.state;
    const n = view.nodes, r = view.canvas.getBoundingClientRect();
    view.scale = 6;
    view.tx = r.width / 2 - (n[4 * i] + 0.5) * 6;
    view.ty = r.height / 2 - (n[4 * i + 1] + 0.5) * 6;
    view.draw();
    return [r.left + r.width / 2, r.top + r.height / 2];
  }, i);
}

async function clickNode(page, i, shift = false) {
  const [x, y] = await showNode(page, i);
  if (shift) await page.keyboard.down('Shift');
  await page.mouse.click(x, y);
  if (shift) await page.keyboard.up('Shift');
}

// Node numbers inside polylines of at least `min` nodes (two links, not an
// end of the list), or the free ends of polylines (one link).
async function nodesOf(page, kind, min = 2) {
  return page.evaluate(([kind, min]) => {
    const { view } = window.ktvec.state;
    const out = [];
    for (const p of view.polylines) {
      if (p.nodes.length < min || p.kind !== 'links') continue;
      p.nodes.forEach((i, k) => {
        const links = view.nodes[4 * i + 2];
        const inside = k > 0 && k < p.nodes.length - 1 && links === 2;
        if ((kind === 'inner' ? inside : links === 1) && !out.includes(i)) out.push(i);
      });
    }
    return out;
  }, [kind, min]);
}

test('vectorizes the sample as the program does and exports the same bytes', async ({ page }) => {
  await openAndVectorize(page);
  const base = JSON.parse(file('base.json'));
  await expect(page.locator('#result')).toContainText(`${base.counts.nodes} nodes, ${base.counts.polylines} polylines`);
  // The screenshot of the documentation: the flange of the sheet, nodes
  // showing over the scan.
  await page.evaluate(() => {
    const { view } = window.ktvec.state;
    const r = view.canvas.getBoundingClientRect();
    view.scale = 2.4;
    view.tx = r.width / 2 - 1590 * view.scale;
    view.ty = r.height / 2 - 360 * view.scale;
    document.querySelector('aside').scrollTop = 0;
    view.draw();
  });
  await page.screenshot({ path: path.join(root, 'build-web', 'screenshot.png') });
  expect((await download(page, 'json')).equals(file('base.json'))).toBe(true);
  expect((await download(page, 'svg')).equals(file('base.svg'))).toBe(true);
  expect((await download(page, 'dxf')).equals(file('base.dxf'))).toBe(true);

  // The sub-pixel switch: off, the graph's own nodes are drawn and written
  // as --no-refine writes them, and the lines of the refiner's own go;
  // on again, the first files.
  const drawn = () => page.evaluate(() => {
    const { view } = window.ktvec.state;
    const fractional = view.polylines.filter((p) => p.kind === 'links' && p.points.some((v) => v % 1 !== 0));
    return { refined: view.refined, fractional: fractional.length, own: view.own.length };
  });
  const refined = await drawn();
  expect(refined.refined).toBe(true);
  expect(refined.fractional).toBeGreaterThan(base.counts.polylines / 2);
  expect(refined.own).toBe(base.refined.filter((l) => l.source === 0).length);
  await page.uncheck('#refine');
  await expect(page.locator('#status')).toContainText('sub-pixel geometry off');
  expect(await drawn()).toEqual({ refined: false, fractional: 0, own: 0 });
  expect((await download(page, 'json')).equals(file('raw.json'))).toBe(true);
  expect((await download(page, 'svg')).equals(file('raw.svg'))).toBe(true);
  await page.check('#refine');
  await expect(page.locator('#status')).toContainText('sub-pixel geometry measured');
  expect((await download(page, 'json')).equals(file('base.json'))).toBe(true);

  // The drawing option off: one SVG path per polyline, as --no-join-strokes.
  await page.uncheck('[data-option="--join-strokes"]');
  await page.click('#vectorize');
  await expect(page.locator('#status')).toContainText('centerline:');
  expect((await download(page, 'svg')).equals(file('apart.svg'))).toBe(true);
  await page.check('[data-option="--join-strokes"]');

  // Fitted arcs and spline samples: the same graph, the fitted numbers
  // equal but for the last digits (the C library of WebAssembly rounds sin,
  // cos, atan2 and hypot differently from glibc's in the last bit).
  await page.fill('[data-option="--arcs"]', '1,1000');
  await page.fill('[data-option="--splines"]', '3');
  await page.click('#vectorize');
  await expect(page.locator('#status')).toContainText('centerline:');
  expect(difference(JSON.parse(await download(page, 'json')), JSON.parse(file('curves.json')))).toBeNull();
});

// The first place where two JSON values differ beyond the last digits of
// their numbers, or null.
function difference(a, b, where = '') {
  if (typeof a === 'number' && typeof b === 'number')
    return Math.abs(a - b) <= 1e-9 * Math.max(1, Math.abs(b)) ? null : `${where}: ${a} against ${b}`;
  if (typeof a !== typeof b || a === null || b === null || typeof a !== 'object')
    return a === b ? null : `${where}: ${JSON.stringify(a)} against ${JSON.stringify(b)}`;
  const ka = Object.keys(a), kb = Object.keys(b);
  if (ka.join() !== kb.join()) return `${where}: members ${ka} against ${kb}`;
  for (const k of ka) {
    const d = difference(a[k], b[k], `${where}/${k}`);
    if (d) return d;
  }
  return null;
}

// The drawn line of polyline `id` against the refined line of the JSON
// export for it: the largest distance between their points, or null when
// their counts of points differ.
async function drawnAgainstExport(page, json, id) {
  const line = JSON.parse(json).refined.find((l) => l.source === id);
  const points = await page.evaluate((id) => Array.from(window.ktvec.state.view.byId.get(id).points), id);
  if (!line || points.length !== 2 * line.points.length) return null;
  return Math.max(...line.points.map(([x, y], i) => Math.hypot(points[2 * i] - x, points[2 * i + 1] - y)));
}

// Drags `node` by (14, -10) screen pixels (2, -2 pixels of the image) and
// waits for the page to say so.
async function dragNode(page, node) {
  const [x, y] = await showNode(page, node);
  await page.mouse.move(x, y);
  await page.mouse.down();
  await page.mouse.move(x + 14, y - 10, { steps: 5 });
  await page.mouse.up();
  await expect(page.locator('#status')).toContainText(`moved node ${node}`);
}

test('a dragged node moves, undo gives the first export back, redo the move', async ({ page }) => {
  await openAndVectorize(page);
  const first = await download(page, 'json');
  const [node] = await nodesOf(page, 'inner', 3);
  const before = JSON.parse(first).nodes[node];
  await dragNode(page, node);
  await expect(page.locator('#status')).toContainText('sub-pixel geometry measured again');
  const moved = await download(page, 'json');
  const to = { x: before.x + 2, y: before.y - 2 };
  expect(JSON.parse(moved).nodes[node]).toEqual({ ...to, rx: to.x, ry: to.y });
  // What is drawn is what is exported: the moved polyline measured again,
  // through the node where it was dropped.
  const id = await page.evaluate((node) => window.ktvec.state.view.polylines.find((p) => p.nodes.includes(node)).id, node);
  expect(await drawnAgainstExport(page, moved, id)).toBeLessThan(0.001);
  expect(await drawnAgainstExport(page, first, id) ?? 1).toBeGreaterThan(0.01);

  await page.keyboard.press('Control+z');
  expect((await download(page, 'json')).equals(first)).toBe(true);
  await page.keyboard.press('Control+Shift+z');
  expect((await download(page, 'json')).equals(moved)).toBe(true);
  await page.keyboard.press('Control+z');
  await page.keyboard.press('Control+y');
  expect((await download(page, 'json')).equals(moved)).toBe(true);
});

test('a dragged outline node redraws its outline in place of its part of the ring, undo brings it back', async ({ page }) => {
  await open(page, sample);
  await page.selectOption('#command', 'outline');
  await page.click('#vectorize');
  await expect(page.locator('#status')).toContainText('outline:');
  const first = await download(page, 'json');
  expect(first.equals(file('outline.json'))).toBe(true);
  const own = () => page.evaluate(() => window.ktvec.state.view.own.length);
  const rings = JSON.parse(first).refined.length;
  expect(await own()).toBe(rings);
  const [node] = await nodesOf(page, 'inner', 4);
  const before = JSON.parse(first).nodes[node];
  await dragNode(page, node);
  // Its polyline drawn as exported, through the node where it was dropped,
  // and its part of the ring gone.
  const moved = await download(page, 'json');
  const id = await page.evaluate((node) => window.ktvec.state.view.polylines.find((p) => p.nodes.includes(node)).id, node);
  const line = JSON.parse(moved).refined.find((l) => l.source === id);
  expect(line.points).toContainEqual([before.x + 2, before.y - 2]);
  expect(await drawnAgainstExport(page, moved, id)).toBeLessThan(0.001);
  const left = JSON.parse(moved).refined.filter((l) => l.source === 0);
  expect(left).not.toEqual(JSON.parse(first).refined);
  expect(await own()).toBe(left.length);
  fs.writeFileSync(path.join(work, 'outline-ops.json'), await download(page, 'script'));
  program('edit', 'outline.json', '--ops', 'outline-ops.json', '--image', 'sample.png', '-q', '-o', 'outline-replay.json');
  expect(moved.equals(file('outline-replay.json'))).toBe(true);
  await page.keyboard.press('Control+z');
  expect((await download(page, 'json')).equals(first)).toBe(true);
  expect(await own()).toBe(rings);
});

test('split, join and deletions are replayed by ktvec edit to the same files', async ({ page }) => {
  await openAndVectorize(page);
  // Split a polyline at a node inside it.
  const [inner] = await nodesOf(page, 'inner', 4);
  await clickNode(page, inner);
  await page.click('[data-edit="split"]');
  await expect(page.locator('#status')).toContainText(`at node ${inner}`);
  // Join two free ends of different polylines.
  const ends = await nodesOf(page, 'end');
  const [a, b] = await page.evaluate((ends) => {
    const { view } = window.ktvec.state;
    const owner = (i) => view.polylines.find((p) => p.nodes.includes(i)).id;
    for (const b of ends.slice(1)) if (owner(b) !== owner(ends[0])) return [ends[0], b];
    return [];
  }, ends);
  await clickNode(page, a);
  await clickNode(page, b, true);
  await page.click('[data-edit="join"]');
  await expect(page.locator('#status')).toContainText(`joined the end ${b}`);
  // Delete a node with the Delete key.
  const [other] = (await nodesOf(page, 'inner', 3)).filter((i) => i !== inner);
  await clickNode(page, other);
  await page.keyboard.press('Delete');
  await expect(page.locator('#status')).toContainText(`deleted node ${other}`);
  // Delete a stroke end, from its free end to a junction: its ink hangs
  // off another stroke, and it stays deleted rather than restored.
  const spur = await page.evaluate((used) => {
    const { view } = window.ktvec.state, n = view.nodes;
    const p = view.polylines.find((q) => q.nodes.length === 2 && !q.nodes.some((i) => used.includes(i)) &&
                                         n[4 * q.nodes[0] + 2] === 1 && n[4 * q.nodes[1] + 2] >= 3);
    return { id: p.id, end: p.nodes[0], own: view.own.length };
  }, [inner, a, b, other]);
  await clickNode(page, spur.end);
  await page.click('[data-edit="delete-polyline"]');
  await expect(page.locator('#status')).toContainText(`deleted polyline ${spur.id}`);
  expect(await page.evaluate(() => window.ktvec.state.view.own.length)).toBe(spur.own);
  // A refused op changes nothing and says why: no notch at a free end.
  const edited = await download(page, 'json');
  const [end] = (await nodesOf(page, 'end')).filter((i) => i !== a && i !== b && i !== spur.end);
  await clickNode(page, end);
  await page.click('[data-edit="notch"]');
  await expect(page.locator('#status')).toContainText('-1: a precondition of the operation fails');
  expect((await download(page, 'json')).equals(edited)).toBe(true);

  const script = await download(page, 'script');
  expect(JSON.parse(script).ops.map((o) => o.op)).toEqual(['split', 'move-attach', 'delete-node', 'delete-polyline']);
  fs.writeFileSync(path.join(work, 'ops.json'), script);
  program('edit', 'base.json', '--ops', 'ops.json', '--image', 'sample.png', '-q', '-o', 'replay.json', '-o', 'replay.svg');
  expect(edited.equals(file('replay.json'))).toBe(true);
  expect((await download(page, 'svg')).equals(file('replay.svg'))).toBe(true);
  const counts = JSON.parse(edited).counts, base = JSON.parse(file('base.json')).counts;
  expect(counts.polylines).toBe(base.polylines - 1);  // one more by the split, one less each by the join and the deletion
  expect(counts.nodes).toBe(base.nodes - 3);          // the joined ends fuse; one node deleted, one with its polyline
});

test('out of memory is said as such and the graph stays as it was', async ({ page }) => {
  await openAndVectorize(page);
  const first = await download(page, 'json');
  const [node] = await nodesOf(page, 'inner', 3);
  const [x, y] = await showNode(page, node);
  // Every request of the allocation seam fails from now on.
  await page.evaluate(() => window.ktvec.state.engine.m._kw_fail_allocation_at(1, 1));
  await page.mouse.move(x, y);
  await page.mouse.down();
  await page.mouse.move(x + 30, y + 30, { steps: 5 });
  await page.mouse.up();
  await expect(page.locator('#status')).toContainText('out of memory: the graph stays as it was');
  await page.evaluate(() => window.ktvec.state.engine.m._kw_fail_allocation_at(0, 0));
  expect((await download(page, 'json')).equals(first)).toBe(true);
  // The op done but its graph not measurable: the last request of the
  // seam in an edit is the sub-pixel stage's, and the op is taken back.
  const requests = await page.evaluate((node) => {
    const { state, undo } = window.ktvec, m = state.engine.m, n = state.view.nodes;
    m._kw_allocations(1);
    state.engine.apply({ op: 'move', node, to: [n[4 * node] + 5, n[4 * node + 1] + 5] });
    const count = m._kw_allocations(1);
    undo(false);
    m._kw_fail_allocation_at(count, 0);
    return count;
  }, node);
  expect(requests).toBeGreaterThan(0);
  await page.mouse.move(x, y);
  await page.mouse.down();
  await page.mouse.move(x + 30, y + 30, { steps: 5 });
  await page.mouse.up();
  await expect(page.locator('#status')).toContainText('out of memory: the graph stays as it was');
  expect(await page.evaluate(() => window.ktvec.state.engine.message())).toContain('sub-pixel geometry');
  expect((await download(page, 'json')).equals(first)).toBe(true);
  await page.evaluate(() => window.ktvec.state.engine.m._kw_fail_allocation_at(1, 1));
  await page.click('#vectorize');
  await expect(page.locator('#status')).toContainText('out of memory while vectorizing: the previous graph stays');
  await page.evaluate(() => window.ktvec.state.engine.m._kw_fail_allocation_at(0, 0));
  expect((await download(page, 'json')).equals(first)).toBe(true);
});

test('files it cannot read get a clear message', async ({ page }) => {
  const cases = [
    ['notes.png', Buffer.from('this is text, not a picture\n'), 'not an image this program reads'],
    ['cut.png', fs.readFileSync(sample).subarray(0, 900), 'the browser cannot decode this PNG'],
    ['scan.tif', Buffer.from([0x49, 0x49, 0x2a, 0, 8, 0, 0, 0]), 'TIFF cannot be read in the browser'],
    ['huge.pbm', Buffer.from('P4\n100000 100000\n'), 'exceeds the limit'],
  ];
  await page.goto('index.html');
  await page.waitForSelector('body[data-ready="1"]');
  for (const [name, bytes, words] of cases) {
    await page.setInputFiles('#file', { name, mimeType: 'application/octet-stream', buffer: bytes });
    await expect(page.locator('#status')).toContainText(words);
    await expect(page.locator('#status')).toHaveClass(/error/);
  }
  await expect(page.locator('#vectorize')).toBeDisabled();
});
