// The editor page against the program: the same counts and the same bytes
// for the same file, hand edits that `ktvec edit` replays to the same
// result, undo back to the first export, and clear messages for files it
// cannot read.
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
  program('centerline', 'sample.png', '--arcs', '1,1000', '--splines', '3', '-q', '-o', 'curves.json');
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

test('a dragged node moves, undo gives the first export back, redo the move', async ({ page }) => {
  await openAndVectorize(page);
  const first = await download(page, 'json');
  const [node] = await nodesOf(page, 'inner', 3);
  const before = JSON.parse(first).nodes[node];
  const [x, y] = await showNode(page, node);
  await page.mouse.move(x, y);
  await page.mouse.down();
  await page.mouse.move(x + 14, y - 10, { steps: 5 });
  await page.mouse.up();
  await expect(page.locator('#status')).toContainText(`moved node ${node}`);
  const moved = await download(page, 'json');
  expect(JSON.parse(moved).nodes[node]).toEqual({ x: before.x + 2, y: before.y - 2 });

  await page.keyboard.press('Control+z');
  expect((await download(page, 'json')).equals(first)).toBe(true);
  await page.keyboard.press('Control+Shift+z');
  expect((await download(page, 'json')).equals(moved)).toBe(true);
  await page.keyboard.press('Control+z');
  await page.keyboard.press('Control+y');
  expect((await download(page, 'json')).equals(moved)).toBe(true);
});

test('split, join and delete are replayed by ktvec edit to the same files', async ({ page }) => {
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
  // A refused op changes nothing and says why: no notch at a free end.
  const edited = await download(page, 'json');
  const [end] = (await nodesOf(page, 'end')).filter((i) => i !== a && i !== b);
  await clickNode(page, end);
  await page.click('[data-edit="notch"]');
  await expect(page.locator('#status')).toContainText('-1: a precondition of the operation fails');
  expect((await download(page, 'json')).equals(edited)).toBe(true);

  const script = await download(page, 'script');
  expect(JSON.parse(script).ops.map((o) => o.op)).toEqual(['split', 'move-attach', 'delete-node']);
  fs.writeFileSync(path.join(work, 'ops.json'), script);
  program('edit', 'base.json', '--ops', 'ops.json', '-q', '-o', 'replay.json', '-o', 'replay.svg');
  expect(edited.equals(file('replay.json'))).toBe(true);
  expect((await download(page, 'svg')).equals(file('replay.svg'))).toBe(true);
  const counts = JSON.parse(edited).counts, base = JSON.parse(file('base.json')).counts;
  expect(counts.polylines).toBe(base.polylines);  // one more by the split, one less by the join
  expect(counts.nodes).toBe(base.nodes - 2);       // the joined ends fuse; one node deleted
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
