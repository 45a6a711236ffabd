// The drawing: the binarised scan under the vectors on one canvas, with pan
// and zoom from a whole sheet down to single pixels.
//
// Nothing is one DOM element per segment.  The vectors are cut into square
// cells of the image; each cell keeps one Path2D per drawing style, built
// when the graph changes, and a frame strokes only the cells in view.  The
// scan is drawn from tiles rendered by the engine at a power-of-two
// reduction matched to the zoom, kept in a small cache.  Positions are pixel
// coordinates with the pixel's centre at +0.5, as the program's SVG draws
// them.
//
// The vectors are the strokes the program's SVG draws: the sub-pixel
// geometry when it is on, with lines of the refiner's own that belong to no
// polyline (stroke ends restored from the ink) in a style of their own.  The
// handles are the graph's nodes, on their pixels, which edits move.

const CELL = 1024;            // image pixels per side of a vector cell
const TILE = 512;             // output pixels per side of a scan tile
const TILE_CACHE = 96;        // scan tiles kept
const TILES_PER_FRAME = 6;    // new scan tiles rendered per frame
const HANDLES_FROM = 1.5;     // screen pixels per image pixel where nodes show
const MAX_SCALE = 64;         // one image pixel as 64 screen pixels
const SCAN_INK = 120;
const PICTURE_SIDE = 8192;    // device pixels a side of the picture panned over at most         // grey of the scan's ink, light enough to see the vectors on it

export const STYLE = {
  link: { color: '#1f5fd6', width: 1.4 },
  arc: { color: '#e07000', width: 1.8 },
  spline: { color: '#0a9a4a', width: 1.6 },
  circle: { color: '#9b2fc9', width: 1.8 },
  connection: { color: '#d6156c', width: 1.6 },
  own: { color: '#00838f', width: 1.4 },
  selected: { color: '#ff2020', width: 3 },
};
const STYLES = ['link', 'arc', 'spline', 'circle', 'connection', 'own'];
const ARC_STEPS = 16;         // chords per arc when measuring the distance to it
const EMPTY = { refined: false, polylines: [], own: [] };

// A point 4 pixels (at most half way) from (ax, ay) towards (bx, by).
function towards(ax, ay, bx, by) {
  const dx = bx - ax, dy = by - ay;
  const d = Math.hypot(dx, dy) || 1, t = Math.min(4, d / 2) / d;
  return [ax + dx * t, ay + dy * t];
}

function sameNumbers(a, b) {
  if (a.length !== b.length) return false;
  for (let i = 0; i < a.length; ++i) if (a[i] !== b[i]) return false;
  return true;
}

// Whether polyline q draws as p did: the same stroke, connections, and
// node positions (a connection bend of a polyline without a stroke of two
// points follows its nodes).
function samePolyline(p, q, nodesBefore, nodes) {
  if (!p || p.kind !== q.kind || p.closed !== q.closed || !sameNumbers(p.points, q.points) ||
      !sameNumbers(p.arcs || [], q.arcs || []) || !sameNumbers(p.prev, q.prev) || !sameNumbers(p.next, q.next) ||
      !sameNumbers(p.nodes, q.nodes)) return false;
  for (const k of q.nodes)
    if (nodesBefore[4 * k] !== nodes[4 * k] || nodesBefore[4 * k + 1] !== nodes[4 * k + 1]) return false;
  return true;
}

// Distance from (x, y) to the segment (ax, ay) - (bx, by).
function segmentDistance(x, y, ax, ay, bx, by) {
  const dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
  const t = len2 > 0 ? Math.min(1, Math.max(0, ((x - ax) * dx + (y - ay) * dy) / len2)) : 0;
  return Math.hypot(ax + t * dx - x, ay + t * dy - y);
}

// The angles an arc piece runs between, from a to b about (cx, cy), and
// whether it runs the way of decreasing angle (canvas's anticlockwise).
function arcAngles(ax, ay, bx, by, cx, cy, sweep) {
  return [Math.atan2(ay - cy, ax - cx), Math.atan2(by - cy, bx - cx), sweep !== 1];
}

export class View {
  constructor(canvas, engine) {
    this.canvas = canvas;
    this.ctx = canvas.getContext('2d');
    this.engine = engine;
    this.scale = 1;
    this.tx = 0;
    this.ty = 0;
    this.imageWidth = 0;
    this.imageHeight = 0;
    this.showScan = true;
    this.polylines = [];
    this.byId = new Map();
    this.nodes = new Int32Array(0);
    this.cells = new Map();
    this.nodeCells = new Map();
    this.tiles = new Map();
    this.overlay = null;      // draws the tool's marks on top (app.js)
    this.pending = false;
    this.version = 0;         // of the graph and the scan, for the picture
    this.picture = null;
    this.frameMs = [];        // time spent drawing each of the last frames
    new ResizeObserver(() => this.resize()).observe(canvas);
    this.resize();
  }

  resize() {
    const r = this.canvas.getBoundingClientRect();
    this.dpr = window.devicePixelRatio || 1;
    this.canvas.width = Math.max(1, Math.round(r.width * this.dpr));
    this.canvas.height = Math.max(1, Math.round(r.height * this.dpr));
    this.request();
  }

  // ---- the image and its graph --------------------------------------------------
  setImage(width, height) {
    this.imageWidth = width;
    this.imageHeight = height;
    this.tiles.clear();
    this.setGraph(EMPTY, new Int32Array(0));
    this.fit();
  }

  // New drawing from the engine (engine.geometry()); `fresh` for another
  // graph, false after an edit of this one or the sub-pixel geometry
  // switched.  Then the cells of the strokes that changed (and of the
  // polylines connected to them, whose connection bends may move) are
  // rebuilt, the others kept: an edit touches a few cells of a large sheet,
  // and the sub-pixel geometry measured again moves the lines near it only.
  // Handles are bucketed afresh.
  setGraph(geometry, nodes, fresh = true) {
    ++this.version;
    const before = this.byId;
    const polylines = geometry.polylines;
    this.refined = geometry.refined;
    this.polylines = polylines;
    this.own = geometry.own;
    this.byId = new Map([...polylines, ...geometry.own].map((p) => [p.id, p]));
    this.nodes = nodes;
    const changed = new Set();
    if (fresh || !this.cellIds) {
      this.cells = new Map();
      this.cellIds = new Map();   // cell -> ids of the polylines with pieces in it
      this.cellsOf = new Map();   // polyline id -> its cells
      for (const id of this.byId.keys()) changed.add(id);
    } else {
      for (const [id, p] of this.byId) if (!samePolyline(before.get(id), p, this.nodesBefore, nodes)) changed.add(id);
      for (const id of before.keys()) if (!this.byId.has(id)) changed.add(id);
      for (const id of [...changed])
        for (const p of [before.get(id), this.byId.get(id)])
          if (p) for (const ref of [...p.prev, ...p.next]) changed.add(Math.abs(ref));
    changed.delete(0);
    }
    this.nodesBefore = nodes;
    // Cells to draw again: where the changed polylines were and are now.
    const affected = new Set();
    for (const id of changed) {
      for (const key of this.cellsOf.get(id) || []) {
        affected.add(key);
        this.cellIds.get(key)?.delete(id);
      }
      this.cellsOf.delete(id);
      const p = this.byId.get(id);
      if (!p) continue;
      const keys = new Set();
      this.pieces(p, (key) => keys.add(key));
      this.cellsOf.set(id, keys);
      for (const key of keys) {
        affected.add(key);
        if (!this.cellIds.has(key)) this.cellIds.set(key, new Set());
        this.cellIds.get(key).add(id);
      }
    }
    for (const key of affected) {
      const ids = this.cellIds.get(key);
      if (!ids || ids.size === 0) {
        this.cells.delete(key);
        this.cellIds.delete(key);
        continue;
      }
      const c = {};
      for (const style of STYLES) c[style] = new Path2D();
      this.cells.set(key, c);
      for (const id of ids) this.pieces(this.byId.get(id), (k, style, draw) => k === key && style && draw(c[style]));
    }
    // Handles by cell.
    this.nodeCells = new Map();
    for (let i = 0; i < nodes.length / 4; ++i) {
      if (nodes[4 * i + 3]) continue;
      const key = Math.floor(nodes[4 * i] / CELL) + ',' + Math.floor(nodes[4 * i + 1] / CELL);
      let list = this.nodeCells.get(key);
      if (!list) this.nodeCells.set(key, (list = []));
      list.push(i);
    }
    this.request();
  }

  // Every piece of the stroke of polyline (or own line) p: visit(cell key,
  // style, draw) for each cell its box touches (so culling by cell never
  // drops a piece in view), where draw(path) adds the piece to a path.  A
  // polyline that draws no stroke of two points (a lone node, or any
  // polyline whose drawing is all the refiner's own lines) gives its links
  // with no style: they are not drawn, but it can still be picked and its
  // selection shown.
  pieces(p, visit) {
    const inBox = (x0, y0, x1, y1, style, draw) => {
      for (let cy = Math.floor(y0 / CELL); cy <= Math.floor(y1 / CELL); ++cy)
        for (let cx = Math.floor(x0 / CELL); cx <= Math.floor(x1 / CELL); ++cx) visit(cx + ',' + cy, style, draw);
    };
    const q = p.points;
    if (p.kind === 'circle') {
      const cx = q[0], cy = q[1], r = q[2];
      inBox(cx - r, cy - r, cx + r, cy + r, 'circle', (path) => {
        path.moveTo(cx + 0.5 + r, cy + 0.5);
        path.arc(cx + 0.5, cy + 0.5, r, 0, 2 * Math.PI);
      });
    } else if (q.length < 4) {
      const n = p.nodes, at = this.nodes;
      for (let i = 1; i < n.length; ++i) {
        const ax = at[4 * n[i - 1]], ay = at[4 * n[i - 1] + 1], bx = at[4 * n[i]], by = at[4 * n[i] + 1];
        inBox(Math.min(ax, bx), Math.min(ay, by), Math.max(ax, bx), Math.max(ay, by), null, (path) => {
          path.moveTo(ax + 0.5, ay + 0.5);
          path.lineTo(bx + 0.5, by + 0.5);
        });
      }
    } else {
      const a = p.arcs;
      const plain = p.own ? 'own' : p.kind === 'spline' ? 'spline' : 'link';
      for (let i = 2; i < q.length; i += 2) {
        const ax = q[i - 2], ay = q[i - 1], bx = q[i], by = q[i + 1];
        const k = 2 * (i - 2), r = a.length ? a[k + 2] : 0;
        // An arc spans at most half a circle: it bulges at most half its chord.
        const bulge = r > 0 ? Math.hypot(bx - ax, by - ay) / 2 : 0;
        inBox(Math.min(ax, bx) - bulge, Math.min(ay, by) - bulge, Math.max(ax, bx) + bulge,
              Math.max(ay, by) + bulge, r > 0 ? 'arc' : plain, (path) => {
          path.moveTo(ax + 0.5, ay + 0.5);
          if (r > 0) path.arc(a[k] + 0.5, a[k + 1] + 0.5, r, ...arcAngles(ax, ay, bx, by, a[k], a[k + 1], a[k + 3]));
          else path.lineTo(bx + 0.5, by + 0.5);
        });
      }
    }
    if (!p.own) this.connections(p, (jx, jy, style, draw) => inBox(jx, jy, jx, jy, style, draw));
  }

  // The end of polyline p as drawn, at its start or its end: the joint and
  // the point before it, from its stroke, or from its nodes when its stroke
  // has no two points (a circle, a lone node).  Null for a single node.
  end(p, atStart) {
    const q = p.points, m = p.kind === 'circle' ? 0 : q.length / 2;
    if (m >= 2) {
      const j = atStart ? 0 : m - 1, i = atStart ? 1 : m - 2;
      return [q[2 * j], q[2 * j + 1], q[2 * i], q[2 * i + 1]];
    }
    const n = p.nodes, at = this.nodes;
    if (n.length < 2) return null;
    const j = atStart ? n[0] : n[n.length - 1], i = atStart ? n[1] : n[n.length - 2];
    return [at[4 * j], at[4 * j + 1], at[4 * i], at[4 * i + 1]];
  }

  // A connection through a junction (the polyline's prev / next entries) as
  // a short bend from this polyline's last piece into the connected one's.
  connections(p, at) {
    for (const [refs, atStart] of [[p.prev, true], [p.next, false]]) {
      for (const ref of refs) {
        // Each connection is listed at both polylines: drawn once, from the lower id.
        if (Math.abs(ref) < p.id) continue;
        const other = this.byId.get(Math.abs(ref));
        const mine = this.end(p, atStart), theirs = other && this.end(other, ref > 0);
        if (!mine || !theirs) continue;
        const jx = mine[0] + 0.5, jy = mine[1] + 0.5;
        const a = towards(jx, jy, mine[2] + 0.5, mine[3] + 0.5), b = towards(jx, jy, theirs[2] + 0.5, theirs[3] + 0.5);
        at(jx, jy, 'connection', (path) => {
          path.moveTo(a[0], a[1]);
          path.quadraticCurveTo(jx, jy, b[0], b[1]);
        });
      }
    }
  }

  // The polyline drawn nearest to the node-frame point (x, y) within
  // `radius` pixels, or 0: its stroke, or its links when it draws none.
  pickPolyline(x, y, radius) {
    let best = 0, bestD = radius;
    const seen = new Set();
    for (let cy = Math.floor((y - radius) / CELL); cy <= Math.floor((y + radius) / CELL); ++cy)
      for (let cx = Math.floor((x - radius) / CELL); cx <= Math.floor((x + radius) / CELL); ++cx)
        for (const id of this.cellIds?.get(cx + ',' + cy) || []) {
          if (typeof id !== 'number' || seen.has(id)) continue;
          seen.add(id);
          const d = this.distance(this.byId.get(id), x, y);
          if (d < bestD) {
            best = id;
            bestD = d;
          }
        }
    return best;
  }

  // Distance from the node-frame point (x, y) to what polyline p draws.
  distance(p, x, y) {
    const q = p.points;
    if (p.kind === 'circle') return Math.abs(Math.hypot(x - q[0], y - q[1]) - q[2]);
    let d = Infinity;
    const line = (ax, ay, bx, by) => { d = Math.min(d, segmentDistance(x, y, ax, ay, bx, by)); };
    if (q.length < 4) {
      const n = p.nodes, at = this.nodes;
      for (let i = 1; i < n.length; ++i) line(at[4 * n[i - 1]], at[4 * n[i - 1] + 1], at[4 * n[i]], at[4 * n[i] + 1]);
      return d;
    }
    for (let i = 2; i < q.length; i += 2) {
      const k = 2 * (i - 2), r = p.arcs?.length ? p.arcs[k + 2] : 0;
      if (!(r > 0)) {
        line(q[i - 2], q[i - 1], q[i], q[i + 1]);
        continue;
      }
      // The arc as chords.
      const cx = p.arcs[k], cy = p.arcs[k + 1];
      let [a0, a1, back] = arcAngles(q[i - 2], q[i - 1], q[i], q[i + 1], cx, cy, p.arcs[k + 3]);
      if (!back && a1 < a0) a1 += 2 * Math.PI;
      if (back && a1 > a0) a1 -= 2 * Math.PI;
      let px = q[i - 2], py = q[i - 1];
      for (let s = 1; s <= ARC_STEPS; ++s) {
        const t = a0 + (a1 - a0) * s / ARC_STEPS, nx = cx + r * Math.cos(t), ny = cy + r * Math.sin(t);
        line(px, py, nx, ny);
        px = nx;
        py = ny;
      }
    }
    return d;
  }

  // ---- pan and zoom ----------------------------------------------------------------
  fit() {
    const w = this.canvas.width / this.dpr, h = this.canvas.height / this.dpr;
    if (!this.imageWidth) return;
    this.scale = Math.min(w / this.imageWidth, h / this.imageHeight) * 0.96;
    this.tx = (w - this.imageWidth * this.scale) / 2;
    this.ty = (h - this.imageHeight * this.scale) / 2;
    this.request();
  }

  minScale() {
    const w = this.canvas.width / this.dpr, h = this.canvas.height / this.dpr;
    return this.imageWidth ? Math.min(w / this.imageWidth, h / this.imageHeight) * 0.25 : 0.01;
  }

  // Zooms by `factor` keeping the image point under screen (sx, sy) there.
  zoomAt(sx, sy, factor) {
    const s = Math.min(MAX_SCALE, Math.max(this.minScale(), this.scale * factor));
    const [ix, iy] = this.toImage(sx, sy);
    this.scale = s;
    this.tx = sx - ix * s;
    this.ty = sy - iy * s;
    this.request();
  }

  panBy(dx, dy) {
    this.tx += dx;
    this.ty += dy;
    this.request();
  }

  // Screen (CSS pixels in the canvas) <-> image pixel coordinates.
  toImage(sx, sy) { return [(sx - this.tx) / this.scale, (sy - this.ty) / this.scale]; }
  toScreen(ix, iy) { return [ix * this.scale + this.tx, iy * this.scale + this.ty]; }

  // ---- drawing -----------------------------------------------------------------------
  request() {
    if (this.pending) return;
    this.pending = true;
    requestAnimationFrame(() => {
      this.pending = false;
      this.draw();
    });
  }

  draw() {
    const t0 = performance.now();
    const ctx = this.ctx, dpr = this.dpr;
    ctx.setTransform(1, 0, 0, 1, 0, 0);
    ctx.fillStyle = '#d8dadf';
    ctx.fillRect(0, 0, this.canvas.width, this.canvas.height);
    if (!this.imageWidth) return;
    const w = this.canvas.width / dpr, h = this.canvas.height / dpr;
    const [x0, y0] = this.toImage(0, 0), [x1, y1] = this.toImage(w, h);
    const transform = [dpr * this.scale, 0, 0, dpr * this.scale, dpr * this.tx, dpr * this.ty];
    if (this.pictureReady(x0, y0, x1, y1)) {
      const p = this.picture;
      ctx.drawImage(p.canvas, Math.round(transform[4] + p.x0 * transform[0]), Math.round(transform[5] + p.y0 * transform[0]));
      ctx.setTransform(...transform);
    } else {
      ctx.setTransform(...transform);
      this.drawContent(ctx, x0, y0, x1, y1);
    }
    const cx0 = Math.floor(x0 / CELL) - 1, cx1 = Math.floor(x1 / CELL);
    const cy0 = Math.floor(y0 / CELL) - 1, cy1 = Math.floor(y1 / CELL);
    if (this.scale >= HANDLES_FROM) this.drawHandles(ctx, cx0, cy0, cx1, cy1);
    if (this.overlay) this.overlay(ctx, this);
    this.frameMs.push(performance.now() - t0);
    if (this.frameMs.length > 240) this.frameMs.shift();
  }

  // The paper, the scan and the vectors of the image window (x0, y0) -
  // (x1, y1); false when scan tiles are still to be made.
  drawContent(ctx, x0, y0, x1, y1) {
    ctx.fillStyle = '#ffffff';
    ctx.fillRect(0, 0, this.imageWidth, this.imageHeight);
    const complete = this.showScan ? this.drawScan(ctx, x0, y0, x1, y1) : true;
    // Vectors, at a constant width on screen.
    const cx0 = Math.floor(x0 / CELL) - 1, cx1 = Math.floor(x1 / CELL);
    const cy0 = Math.floor(y0 / CELL) - 1, cy1 = Math.floor(y1 / CELL);
    ctx.lineCap = 'round';
    ctx.lineJoin = 'round';
    for (const style of STYLES) {
      ctx.strokeStyle = STYLE[style].color;
      ctx.lineWidth = STYLE[style].width / this.scale;
      for (let cy = cy0; cy <= cy1; ++cy)
        for (let cx = cx0; cx <= cx1; ++cx) {
          const c = this.cells.get(cx + ',' + cy);
          if (c) ctx.stroke(c[style]);
        }
    }
    return complete;
  }

  // The paper, the scan and the vectors are drawn into a picture of their
  // own that covers the view and half a view more on every side (zoomed out:
  // the whole sheet), and a frame only places that picture: a pan within its
  // margin strokes nothing.  It is drawn again when the view leaves it, or
  // the zoom, the graph or the scan changes.  False while it cannot be had
  // (scan tiles still to be made): the frame then draws directly.
  pictureReady(x0, y0, x1, y1) {
    const dpr = this.dpr, s = this.scale;
    const key = `${s}/${dpr}/${this.version}/${this.showScan}`;
    const p = this.picture;
    // Covered: each side of the view inside the picture, or the picture
    // reaching the image's edge there.
    if (p?.key === key && (x0 >= p.x0 || p.x0 <= 0) && (y0 >= p.y0 || p.y0 <= 0) &&
        (x1 <= p.x1 || p.x1 >= this.imageWidth) && (y1 <= p.y1 || p.y1 >= this.imageHeight)) return true;
    const mx = (x1 - x0) / 2, my = (y1 - y0) / 2;
    let r = [Math.max(0, x0 - mx), Math.max(0, y0 - my), Math.min(this.imageWidth, x1 + mx),
             Math.min(this.imageHeight, y1 + my)];
    // The whole sheet when it is no larger than that.
    if (this.imageWidth * this.imageHeight * (s * dpr) ** 2 <= 4 * this.canvas.width * this.canvas.height)
      r = [0, 0, this.imageWidth, this.imageHeight];
    r[0] = Math.floor(r[0]);
    r[1] = Math.floor(r[1]);
    const w = Math.ceil((r[2] - r[0]) * s * dpr), h = Math.ceil((r[3] - r[1]) * s * dpr);
    if (w < 1 || h < 1 || w > PICTURE_SIDE || h > PICTURE_SIDE) return false;
    if (this.showScan) {
      const level = this.scanLevel(), span = TILE << level;
      const tx0 = Math.floor(r[0] / span), ty0 = Math.floor(r[1] / span);
      const tx1 = Math.ceil(r[2] / span) - 1, ty1 = Math.ceil(r[3] / span) - 1;
      if ((tx1 - tx0 + 1) * (ty1 - ty0 + 1) > TILE_CACHE / 2 ||
          !this.eachTile(level, tx0, ty0, tx1, ty1, () => {})) return false;
    }
    const canvas = new OffscreenCanvas(w, h);
    const ctx = canvas.getContext('2d');
    ctx.setTransform(dpr * s, 0, 0, dpr * s, -r[0] * s * dpr, -r[1] * s * dpr);
    if (!this.drawContent(ctx, r[0], r[1], r[2], r[3])) return false;
    // As an image bitmap it is placed without being copied again each frame.
    this.picture = { key, canvas: canvas.transferToImageBitmap(), x0: r[0], y0: r[1], x1: r[2], y1: r[3] };
    return true;
  }

  // The reduction 2^level of the scan tiles for the zoom: the nearest below.
  scanLevel() { return Math.max(0, Math.min(12, Math.floor(Math.log2(1 / this.scale)))); }

  // The tile (tx, ty) of a level, made when missing and `make` allows;
  // null when it is not there.  The cache keeps the most recently used.
  tile(level, tx, ty, make) {
    const key = `${level}/${tx}/${ty}`;
    let tile = this.tiles.get(key);
    if (tile) {
      this.tiles.delete(key);
    } else {
      if (!make) return null;
      const span = TILE << level;
      const w = Math.min(TILE, Math.ceil((this.imageWidth - tx * span) / (1 << level)));
      const h = Math.min(TILE, Math.ceil((this.imageHeight - ty * span) / (1 << level)));
      const data = this.engine.scanTile(level, tx * span, ty * span, w, h, SCAN_INK);
      if (!data) return null;
      const canvas = new OffscreenCanvas(w, h);
      canvas.getContext('2d').putImageData(data, 0, 0);
      tile = canvas.transferToImageBitmap();
      if (this.tiles.size >= TILE_CACHE) this.tiles.delete(this.tiles.keys().next().value);
    }
    this.tiles.set(key, tile);
    return tile;
  }

  // Tiles (tx0, ty0) .. (tx1, ty1) of a level, at most TILES_PER_FRAME of
  // them made now; fn(tile, tx, ty) for each one there.  True when none is
  // missing.
  eachTile(level, tx0, ty0, tx1, ty1, fn) {
    let made = 0, complete = true;
    for (let ty = ty0; ty <= ty1; ++ty)
      for (let tx = tx0; tx <= tx1; ++tx) {
        const had = this.tiles.has(`${level}/${tx}/${ty}`);
        const tile = this.tile(level, tx, ty, had || made < TILES_PER_FRAME);
        if (!had && tile) ++made;
        if (tile) fn(tile, tx, ty);
        else complete = false;
      }
    if (!complete) this.request();
    return complete;
  }

  // The scan's tiles over the image window (x0, y0) - (x1, y1); false when
  // some are still to be made (a later frame draws them).
  drawScan(ctx, x0, y0, x1, y1) {
    const level = this.scanLevel(), span = TILE << level;
    ctx.imageSmoothingEnabled = level > 0;
    const tx0 = Math.max(0, Math.floor(x0 / span)), ty0 = Math.max(0, Math.floor(y0 / span));
    const tx1 = Math.min(Math.ceil(this.imageWidth / span), Math.ceil(x1 / span)) - 1;
    const ty1 = Math.min(Math.ceil(this.imageHeight / span), Math.ceil(y1 / span)) - 1;
    return this.eachTile(level, tx0, ty0, tx1, ty1, (tile, tx, ty) =>
      ctx.drawImage(tile, tx * span, ty * span, tile.width << level, tile.height << level));
  }

  // Nodes as handles: ends round, junctions square, nodes inside a
  // polyline small and hollow; the selection's nodes on top.
  drawHandles(ctx, cx0, cy0, cx1, cy1) {
    const n = this.nodes, r = 3.5 / this.scale;
    const ends = new Path2D(), joints = new Path2D(), inner = new Path2D();
    for (let cy = cy0; cy <= cy1; ++cy)
      for (let cx = cx0; cx <= cx1; ++cx) {
        const list = this.nodeCells.get(cx + ',' + cy);
        if (!list) continue;
        for (const i of list) {
          const x = n[4 * i] + 0.5, y = n[4 * i + 1] + 0.5, links = n[4 * i + 2];
          if (links === 1) {
            ends.moveTo(x + r, y);
            ends.arc(x, y, r, 0, 2 * Math.PI);
          } else if (links >= 3) {
            joints.rect(x - r, y - r, 2 * r, 2 * r);
          } else {
            inner.rect(x - r * 0.6, y - r * 0.6, 1.2 * r, 1.2 * r);
          }
        }
      }
    ctx.lineWidth = 1 / this.scale;
    ctx.fillStyle = '#14a04a';
    ctx.fill(ends);
    ctx.fillStyle = '#c8102e';
    ctx.fill(joints);
    ctx.strokeStyle = '#1f5fd6';
    ctx.fillStyle = '#ffffff';
    ctx.fill(inner);
    ctx.stroke(inner);
  }

  // The path of one polyline as drawn, for highlighting the selection.
  polylinePath(id) {
    const path = new Path2D();
    const p = this.byId.get(id);
    if (p) this.pieces(p, (key, style, draw) => style !== 'connection' && draw(path));
    return path;
  }

  // Frames per second while the view pans by (dx, dy) screen pixels each
  // frame for `frames` frames, and the drawing time per frame in ms.
  measurePan(frames = 120, dx = 7, dy = 3) {
    return new Promise((resolve) => {
      const times = [];
      this.frameMs = [];
      let k = 0;
      const step = (t) => {
        times.push(t);
        if (k++ >= frames) {
          const fps = (times.length - 1) / ((times[times.length - 1] - times[0]) / 1000);
          const draw = this.frameMs.slice(1);
          draw.sort((a, b) => a - b);
          resolve({ fps, drawMedianMs: draw[draw.length >> 1], drawMaxMs: draw[draw.length - 1] });
          return;
        }
        this.tx += (k % 240 < 120 ? dx : -dx);
        this.ty += (k % 240 < 120 ? dy : -dy);
        this.draw();
        requestAnimationFrame(step);
      };
      requestAnimationFrame(step);
    });
  }
}
