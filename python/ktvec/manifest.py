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


def read(path):
    """The latest line of every (input, page) in the manifest; {} when there is none."""
    latest = {}
    try:
        f = open(path, encoding="utf-8")
    except FileNotFoundError:
        return latest
    with f:
        for line in f:
            try:
                record = json.loads(line)
                latest[(record["input"], record["page"])] = record
            except (ValueError, KeyError, TypeError):
                continue  # the torn last line of a run that was killed
    return latest


def done(latest):
    """input -> its stamp, for the inputs whose every page is done with one stamp."""
    pages = {}
    for (name, page), r in latest.items():
        pages.setdefault(name, []).append(r)
    finished = {}
    for name, records in pages.items():
        first = records[0]
        key = (first.get("size"), first.get("mtime"))
        if (len(records) == first.get("pages") and {r["page"] for r in records} == set(range(1, len(records) + 1))
                and all(r.get("error") is None and (r.get("size"), r.get("mtime")) == key for r in records)):
            finished[name] = {"size": key[0], "mtime": key[1]}
    return finished


def is_done(finished, name):
    """Whether `name` is done in `finished` (see done) and unchanged since."""
    try:
        return name in finished and stamp(name) == finished[name]
    except OSError:
        return False


class Writer:
    """Appends lines to a manifest, each flushed as it is written."""

    def __init__(self, path):
        folder = os.path.dirname(os.path.abspath(path))
        os.makedirs(folder, exist_ok=True)
        self._file = open(path, "a", encoding="utf-8")

    def write(self, record):
        self._file.write(json.dumps(record, separators=(",", ":")) + "\n")
        self._file.flush()

    def close(self):
        self._file.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
