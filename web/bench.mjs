// The editor against the native program, in one run: the time to vectorize
// a synthetic drawing in the page (WebAssembly in Debian's chromium) and
// with `ktvec centerline`, alternately, the sub-pixel stage included in
// both, the cost of one edit with the sub-pixel geometry measured again,
// and the frames per second while the view pans over the result.
//
//   node web/bench.mjs [--size a4|a0] [--repeat N] [--command centerline|outline|outline-fast]
//
// Needs `make web` and the native build (build/ktvec, build/ktvec_drawgen).
import { chromium } from '@playwright/test';
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const arg = (name, fallback) => {
  const i = process.argv.indexOf(name);
  return i > 0 ? process.argv[i + 1] : fallback;
};
const size = arg('--size', 'a4'), repeat = Number(arg('--repeat', 5)), command = arg('--command', 'centerline');
const build = path.join(root, process.env.KTVEC_BUILD || 'build');
const port = Number(process.env.KTVEC_WEB_PORT || 8732);

const dir = path.join(root, 'build-web', 'bench');
fs.mkdirSync(dir, { recursive: true });
const drawing = path.join(dir, `${size}.png`);
if (!fs.existsSync(drawing)) execFileSync(path.join(build, 'ktvec_drawgen'), ['--size', size, '-o', drawing]);

// The program's own figure: "(vectorizing N ms)" on its summary line.
function nativeTimed() {
  const r = spawn(path.join(build, 'ktvec'), [command, drawing, '-o', path.join(dir, 'native.json')]);
  return new Promise((resolve) => {
    let err = '';
    r.stderr.on('data', (d) => { err += d; });
    r.on('close', () => resolve(Number(/vectorizing (\d+(?:\.\d+)?) ms/.exec(err)?.[1])));
  });
}

const server = spawn('python3', ['-m', 'http.server', String(port), '--bind', '127.0.0.1'],
                     { cwd: path.join(root, 'build-web'), stdio: 'ignore' });
const stats = (xs) => {
  const s = [...xs].sort((a, b) => a - b);
  return { best: s[0], median: s[s.length >> 1] };
};
try {
  await new Promise((r) => setTimeout(r, 800));
  const browser = await chromium.launch({
    executablePath: process.env.KTVEC_CHROMIUM || '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  const page = await browser.newPage({ viewport: { width: 1400, height: 900 } });
  page.on('pageerror', (e) => console.error('page error:', e.message));
  await page.goto(`http://127.0.0.1:${port}/index.html`);
  await page.waitForSelector('body[data-ready="1"]');
  const t0 = Date.now();
  await page.setInputFiles('#file', drawing);
  await page.waitForFunction((n) => document.querySelector('#source').textContent.startsWith(n) ||
                                    document.querySelector('#status').classList.contains('error'),
                             path.basename(drawing), { timeout: 600_000 });
  const status = await page.textContent('#status');
  if (await page.evaluate(() => document.querySelector('#status').classList.contains('error'))) throw new Error(status);
  const openMs = Date.now() - t0;

  const web = [], total = [], nat = [], refine = [];
  let counts;
  for (let i = 0; i < repeat; ++i) {
    nat.push(await nativeTimed());
    const run = await page.evaluate((c) => {
      const t = performance.now();
      const r = window.ktvec.state.engine.vectorize(c, []);
      return { ...r, total: performance.now() - t };
    }, command);
    // The program's figure holds its sub-pixel stage; the page measures the
    // graph it reads back, after the run.
    web.push(run.ms + run.refineMs);
    refine.push(run.refineMs);
    total.push(run.total);
    counts = `${run.nodes} nodes, ${run.polylines} polylines`;
  }
  // The page draws what it vectorized last; then pans at three zooms.
  await page.evaluate(() => {
    const { state } = window.ktvec;
    state.vectorized = true;
    state.view.setGraph(state.engine.geometry(), state.engine.nodes());
  });
  // The page's JSON against the program's, the source line aside (the
  // program names the file by its path, the page by its name).
  const pageJson = Buffer.from(await page.evaluate(() => Array.from(window.ktvec.state.engine.exportBytes('json'))));
  const strip = (b) => b.toString('utf8').replace(/^"source":.*$/m, '');
  const sameJson = strip(pageJson) === strip(fs.readFileSync(path.join(dir, 'native.json')));
  // One edit as a person makes it, zoomed in to 2:1 where the nodes show: a
  // node moved and the view drawn again; and its undo.
  const editMs = await page.evaluate(() => {
    const { state, edit, undo } = window.ktvec;
    const view = state.view;
    const p = view.polylines.find((q) => q.kind === 'links' && q.nodes.length >= 3);
    const node = p.nodes[1], n = view.nodes;
    view.scale = 2;
    view.tx = view.canvas.clientWidth / 2 - n[4 * node] * 2;
    view.ty = view.canvas.clientHeight / 2 - n[4 * node + 1] * 2;
    view.draw();
    const times = { edit: [], undo: [], refine: [] };
    for (let i = 0; i < 5; ++i) {
      let t = performance.now();
      edit({ op: 'move', node, to: [n[4 * node] + 1, n[4 * node + 1]] }, 'moved');
      view.draw();
      times.edit.push(performance.now() - t);
      times.refine.push(state.engine.refineMs());
      t = performance.now();
      undo(false);
      view.draw();
      times.undo.push(performance.now() - t);
    }
    const median = (xs) => xs.sort((a, b) => a - b)[xs.length >> 1];
    return { edit: median(times.edit), undo: median(times.undo), refine: median(times.refine) };
  });
  const fps = {};
  for (const [name, scale] of [['whole sheet', 0], ['1:1', 1], ['8:1', 8]]) {
    fps[name] = await page.evaluate(async (scale) => {
      const { view } = window.ktvec.state;
      view.fit();
      if (scale) view.zoomAt(view.canvas.clientWidth / 2, view.canvas.clientHeight / 2, scale / view.scale);
      await view.measurePan(60);  // scan tiles of this zoom made and cached
      return view.measurePan(240);
    }, scale);
  }
  await browser.close();
  const w = stats(web), n = stats(nat), t = stats(total), r = stats(refine);
  const info = `${size} drawing (${path.basename(drawing)}), ${command}, ${counts}; ${repeat} runs each, alternating`;
  console.log(info);
  console.log(`the page's JSON and the program's: ${sameJson ? 'the same bytes' : 'DIFFERENT'} (source line aside)`);
  console.log(`opening in the page (browser PNG decode, grey, Otsu): ${openMs} ms`);
  console.log(`native ktvec   vectorizing: best ${n.best} ms, median ${n.median} ms`);
  console.log(`page (wasm)    vectorizing: first ${web[0].toFixed(1)} ms (its heap still growing), ` +
              `best ${w.best.toFixed(1)} ms, median ${w.median.toFixed(1)} ms` +
              ` -> ${(w.best / n.best).toFixed(2)}x / ${(w.median / n.median).toFixed(2)}x native`);
  console.log(`page, of which the sub-pixel stage: best ${r.best.toFixed(1)} ms, median ${r.median.toFixed(1)} ms`);
  console.log(`page, with the result read back for editing: best ${t.best.toFixed(1)} ms, median ${t.median.toFixed(1)} ms`);
  console.log(`one edit at 2:1 (a node moved) with the view drawn again: ${editMs.edit.toFixed(1)} ms median, ` +
              `of which the sub-pixel geometry measured again ${editMs.refine.toFixed(1)} ms; its undo ${editMs.undo.toFixed(1)} ms`);
  for (const [name, f] of Object.entries(fps))
    console.log(`panning at ${name}: ${f.fps.toFixed(1)} frames/s, drawing ${f.drawMedianMs.toFixed(1)} ms median, ` +
                `${f.drawMaxMs.toFixed(1)} ms worst`);
} finally {
  server.kill();
}
