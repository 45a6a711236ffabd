// The page's side of the WebAssembly engine (web/ktvec_web.cpp): strings and
// byte blocks across the boundary, PNG decoding by the browser, and the
// graph read out as plain arrays for drawing.
import createKtvec from './ktvec.js';

// The library's result codes in words, for the status line.
export const CODE_WORDS = {
  '-1': 'a precondition of the operation fails',
  '-2': 'the connection would close a loop of connections',
  '-3': 'both branches belong to one polyline',
  '-4': 'the joint is not an end of one of the two polylines',
  '-1000': 'out of memory',
  '-1004': 'there is no polyline table',
  '-9999': 'a link between consecutive nodes of a polyline is missing',
};

// Images above this many pixels are refused before anything is allocated:
// the grey copy, the bitmap and the vectorizer's tables of an A0 sheet at
// 400 dpi (248 megapixels) fit the 4 GiB a WebAssembly page can address.
export const MAX_PIXELS = 300e6;

const PNG_SIGNATURE = [0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a];
const GREY = { channel: 0, rgb: 1, alpha: 2, rgbAlpha: 3 };

function startsWith(bytes, magic) {
  return magic.every((b, i) => bytes[i] === b);
}

// The facts of a PNG header that decide how its pixels become grey, as the
// program's reader decides: size, 1-bit grey, colour, transparency.
function pngHeader(bytes) {
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  if (bytes.length < 33) return null;
  const width = view.getUint32(16), height = view.getUint32(20);
  const depth = bytes[24], type = bytes[25];
  let trns = false;
  for (let pos = 8; pos + 8 <= bytes.length;) {
    const length = view.getUint32(pos);
    const name = String.fromCharCode(...bytes.subarray(pos + 4, pos + 8));
    if (name === 'tRNS') trns = true;
    if (name === 'IDAT' || name === 'IEND') break;
    pos += 12 + length;
  }
  const colour = (type & 2) !== 0 || type === 3;
  const alpha = (type & 4) !== 0 || trns;
  const kind = colour ? (alpha ? GREY.rgbAlpha : GREY.rgb) : (alpha ? GREY.alpha : GREY.channel);
  return { width, height, oneBit: type === 0 && depth === 1 && !trns, kind };
}

export class Engine {
  constructor(module) {
    this.m = module;
  }

  static async create() {
    return new Engine(await createKtvec());
  }

  // ---- the boundary ----------------------------------------------------------
  heap() { return this.m.HEAPU8; }  // read afresh: memory growth replaces it
  message() { return this.m.UTF8ToString(this.m._kw_message()); }
  text() { return this.m.UTF8ToString(this.m._kw_text()); }
  textBytes(size) {
    const p = this.m._kw_text();
    return this.heap().slice(p, p + size);
  }

  withString(s, fn) {
    const n = this.m.lengthBytesUTF8(s) + 1;
    const p = this.m._kw_alloc(n);
    if (!p) throw new Error('out of memory');
    this.m.stringToUTF8(s, p, n);
    try { return fn(p); } finally { this.m._kw_free(p); }
  }

  withBytes(bytes, fn) {
    const p = this.m._kw_alloc(bytes.length);
    if (!p) throw new Error(`the file (${bytes.length} bytes) is too large for the browser's memory`);
    this.heap().set(bytes, p);
    try { return fn(p); } finally { this.m._kw_free(p); }
  }

  // The program's words, where they name its command line, as the page's.
  pageWords(words) {
    return words.replace(' (see --max-pixels)', ', what this page can hold in the browser\'s memory');
  }

  // A result below 0 as an Error carrying the code and the engine's words.
  check(result, what) {
    if (result >= 0) return result;
    const error = new Error(result === -1000 ? `out of memory (${what})` : this.message() || `${what} failed`);
    error.code = result;
    throw error;
  }

  // ---- input -----------------------------------------------------------------
  // Reads a file: PNG through the browser's decoder, everything else through
  // the program's reader (PBM; it names what other files are).  Returns
  // { width, height, format }.
  async load(name, bytes, { threshold = -1, invert = false } = {}) {
    if (startsWith(bytes, PNG_SIGNATURE)) {
      await this.loadPng(name, bytes);
      this.threshold(threshold, invert);
    } else {
      if (startsWith(bytes, [0x49, 0x49, 0x2a, 0]) || startsWith(bytes, [0x4d, 0x4d, 0, 0x2a]))
        throw new Error(`${name}: TIFF cannot be read in the browser (no TIFF reader is built for it here); ` +
                        'convert it to PNG or PBM, or use the ktvec program, which reads TIFF');
      const r = this.withBytes(bytes, (p) => this.withString(name, (n) =>
        this.m._kw_load_file(p, bytes.length, n, invert ? 1 : 0, MAX_PIXELS)));
      if (r < 0) throw Object.assign(new Error(`${name}: ${this.pageWords(this.message())}`), { code: r });
    }
    return { width: this.m._kw_width(), height: this.m._kw_height() };
  }

  async loadPng(name, bytes) {
    const head = pngHeader(bytes);
    if (!head) throw new Error(`${name}: truncated PNG data`);
    const r = this.withString(name, (n) =>
      this.m._kw_begin_grey(head.width, head.height, n, head.oneBit ? 1 : 0, 0, 0, MAX_PIXELS));
    if (r < 0) {
      const words = this.pageWords(this.message());
      throw Object.assign(new Error(`${name}: ${r === -1000 ? words + ' (too large for the browser\'s memory)' : words}`),
                          { code: r });
    }
    let bitmap;
    try {
      bitmap = await createImageBitmap(new Blob([bytes], { type: 'image/png' }),
                                       { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
    } catch (e) {
      throw new Error(`${name}: the browser cannot decode this PNG (damaged or truncated data, ` +
                      'or too large for its memory)');
    }
    try {
      // In bands of rows, so that no canvas holds the whole image.
      const { width, height } = bitmap;
      const rows = Math.max(1, Math.min(height, Math.floor(8e6 / width)));
      const canvas = new OffscreenCanvas(width, rows);
      const ctx = canvas.getContext('2d', { willReadFrequently: true });
      const p = this.m._kw_alloc(width * rows * 4);
      if (!p) throw new Error(`${name}: too large for the browser's memory`);
      try {
        for (let y = 0; y < height; y += rows) {
          const n = Math.min(rows, height - y);
          ctx.clearRect(0, 0, width, rows);
          ctx.drawImage(bitmap, 0, -y);
          const data = ctx.getImageData(0, 0, width, n).data;
          this.heap().set(data, p);
          this.m._kw_grey_rows(p, y, n, head.kind);
        }
      } finally {
        this.m._kw_free(p);
      }
    } finally {
      bitmap.close();
    }
  }

  // Binarises the grey input; the threshold used (-1 for 1-bit input).
  threshold(threshold, invert) {
    const r = this.m._kw_threshold(threshold, invert ? 1 : 0);
    if (r < -1) this.check(r, 'thresholding');
    return r;
  }

  width() { return this.m._kw_width(); }
  height() { return this.m._kw_height(); }

  // The binarised scan as ImageData: w x h pixels from (x0, y0), each
  // 2^level image pixels wide.
  scanTile(level, x0, y0, w, h, ink) {
    const size = w * h * 4;
    const p = this.m._kw_alloc(size);
    if (!p) return null;
    try {
      this.m._kw_scan_tile(level, x0, y0, w, h, ink, p);
      return new ImageData(new Uint8ClampedArray(this.heap().slice(p, p + size).buffer), w, h);
    } finally {
      this.m._kw_free(p);
    }
  }

  // ---- vectorizing -------------------------------------------------------------
  options(command) {
    return JSON.parse(this.withString(command, (c) => this.m.UTF8ToString(this.m._kw_options(c))));
  }

  vectorize(command, args) {
    const r = this.withString(command, (c) => this.withString(args.join('\n'), (a) => this.m._kw_vectorize(c, a)));
    this.check(r, 'vectorizing');
    return {
      nodes: this.m._kw_count(0), polylines: this.m._kw_count(1),
      ms: this.m._kw_vectorize_ms(), loadMs: this.m._kw_load_ms(), refineMs: this.m._kw_refine_ms(),
      threshold: this.m._kw_threshold_used(),
    };
  }

  // The sub-pixel geometry on or off for the result as it stands; the time
  // it took to measure, in ms.
  setRefine(on) {
    this.check(this.m._kw_set_refine(on ? 1 : 0), 'measuring the sub-pixel geometry');
    return this.refineMs();
  }
  refineMs() { return this.m._kw_refine_ms(); }

  counts() { return { nodes: this.m._kw_count(0), polylines: this.m._kw_count(1) }; }

  // ---- the graph for drawing -------------------------------------------------------
  // What is drawn, as the program's SVG draws it: { refined, polylines, own }.
  // polylines: { id, flag, modify, prev, next, nodes, ...stroke } per live
  // polyline; own: the strokes of the refiner's own lines (no polyline of the
  // graph: restored stroke ends, outline rings), with id 'r0', 'r1', ...
  // A stroke is { kind: 'links'|'spline'|'circle', closed, points, arcs }:
  // points x, y pairs (a circle: cx, cy, r); arcs, for links, cx, cy, r,
  // sweep per piece from point i to i + 1 (r > 0: an arc), or empty.
  geometry() {
    const n = this.m._kw_geometry();
    if (n < 0) this.check(n, 'reading the graph');
    if (n === 0) return { refined: false, polylines: [], own: [] };
    // One copy out of the engine's memory; the arrays are views into it.
    const p = this.m._kw_geometry_data() >> 3;
    const g = this.m.HEAPF64.slice(p, p + n);
    let k = 0;
    const take = (c) => {
      const a = g.subarray(k, k + c);
      k += c;
      return a;
    };
    const list = () => take(g[k++]);
    const stroke = (into) => {
      into.kind = ['links', 'spline', 'circle'][g[k]];
      into.closed = g[k + 1] === 1;
      k += 2;
      if (into.kind === 'circle') {
        into.points = take(3);
      } else {
        into.points = take(2 * g[k++]);
        into.arcs = into.kind === 'links' ? take(4 * g[k++]) : take(0);
      }
      return into;
    };
    const refined = g[k++] === 1;
    const polylines = [];
    for (let i = 0, count = g[k++]; i < count; ++i) {
      const pl = { id: g[k], flag: g[k + 1], modify: g[k + 2] };
      k += 3;
      pl.prev = list();
      pl.next = list();
      pl.nodes = list();
      polylines.push(stroke(pl));
    }
    const own = [];
    for (let i = 0, count = g[k++]; i < count; ++i)
      own.push(stroke({ id: `r${i}`, own: true, flag: 0, modify: 0, prev: take(0), next: take(0), nodes: take(0) }));
    return { refined, polylines, own };
  }

  // Every node slot: x, y, link count, deleted (Int32Array of 4 per node).
  nodes() {
    const n = this.m._kw_nodes();
    if (n <= 0) return new Int32Array(0);
    const p = this.m._kw_nodes_data() >> 2;
    return Int32Array.from(this.m.HEAP32.subarray(p, p + 4 * n));
  }

  pickNode(x, y, radius) { return this.m._kw_pick_node(x, y, radius); }

  // ---- editing -------------------------------------------------------------------
  // Applies one op of the edit script; throws with the engine's message and
  // the library's code when it is refused.
  apply(op) {
    const text = JSON.stringify(op);
    const r = this.withString(text, (p) => this.m._kw_apply(p));
    if (r < 0) {
      const words = this.pageWords(this.message());
      const code = /library code (-?\d+)/.exec(words);
      const error = new Error(words);
      error.code = code ? Number(code[1]) : r;
      throw error;
    }
  }

  undo() { return this.check(this.m._kw_undo(0), 'undo') === 0; }
  redo() { return this.check(this.m._kw_undo(1), 'redo') === 0; }
  undoDepth() { return this.m._kw_undo_depth(0); }
  redoDepth() { return this.m._kw_undo_depth(1); }
  script() { return this.m.UTF8ToString(this.m._kw_script()); }

  // ---- exporting -------------------------------------------------------------------
  exportBytes(format) {
    const size = this.withString(format, (f) => this.m._kw_export(f));
    this.check(size, `writing ${format}`);
    return this.textBytes(size);
  }
}
