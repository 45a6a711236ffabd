"""The manifest of an archive run: what was done to which page, so that a
rerun does only what is left.  `ktvec batch --manifest` writes the same
lines, so either can resume the other's work.

One JSON object per line and page, appended as pages finish:

    {"input": "scans/a.tif", "page": 2, "pages": 3, "size": 48213,
     "mtime": "2024-05-01T09:30:12.123456789Z",
     "outputs": ["out/a-p2.svg"], "counts": {"nodes": 812, "polylines": 240},
     "seconds": 0.084, "error": null}

`input` is the path as given; `size` and `mtime` (UTC, to the nanosecond)
are the input's when its reading began; `error` is null for a page done, else
the reason it failed, and a file that could not be read at all is one line
with page 1 of 1.  A later line for the same input and page replaces an
earlier one.  An input is done when, for its present size and modification
time, every one of its pages has a line without error.  A run killed while
writing leaves at most one incomplete last line, which readers pass over.
"""

import json
import os
import time


def stamp(path):
    """The size and modification time by which a rerun tells an input unchanged."""
    st = os.stat(path)
    seconds, nanos = divmod(st.st_mtime_ns, 1_000_000_000)
    return {"size": st.st_size,
            "mtime": time.strftime("%Y-%m-%dT%H:%M:%S", time.gmtime(seconds)) + ".%09dZ" % nanos}


def _key(size, mtime):
    # The stamp as one number: a million inputs are held in memory at once.
    return hash((size, mtime))


def finished(path):
    """The inputs the manifest at `path` shows done (each of its pages has, as
    its latest line, one without error, all with one stamp), for is_done.
    Empty when there is no manifest."""
    latest = {}  # (input, page) -> (pages, stamp key, done)
    try:
        f = open(path, encoding="utf-8")
    except FileNotFoundError:
        return {}
    with f:
        for line in f:
            try:
                r = json.loads(line)
                latest[(r["input"], r["page"])] = (r["pages"], _key(r["size"], r["mtime"]), r["error"] is None)
            except (ValueError, KeyError, TypeError):
                continue  # the torn last line of a run that was killed
    state = {}  # input -> [pages, stamp key, pages seen, every page done with that stamp]
    for (name, page), (pages, key, ok) in latest.items():
        s = state.setdefault(name, [pages, key, 0, True])
        s[2] += 1
        s[3] = s[3] and ok and s[0] == pages and s[1] == key and isinstance(page, int) and 1 <= page <= pages
    return {name: s[1] for name, s in state.items() if s[3] and s[2] == s[0]}


def is_done(done, name):
    """Whether input `name` is in `done` (from finished) and unchanged since."""
    try:
        return name in done and _key(**stamp(name)) == done[name]
    except OSError:
        return False


class Writer:
    """Appends lines to a manifest, each flushed as it is written; a torn
    last line left by a killed run is ended first."""

    def __init__(self, path):
        folder = os.path.dirname(os.path.abspath(path))
        os.makedirs(folder, exist_ok=True)
        self._file = open(path, "a+", encoding="utf-8")
        # A run killed while writing leaves a torn last line: end it, so that
        # the first line of this run does not run on from it.
        if self._file.tell() > 0:
            with open(path, "rb") as f:
                f.seek(-1, os.SEEK_END)
                torn = f.read(1) != b"\n"
            if torn:
                self._file.write("\n")

    def write(self, record):
        self._file.write(json.dumps(record, separators=(",", ":")) + "\n")
        self._file.flush()

    def close(self):
        self._file.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
