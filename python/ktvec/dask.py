"""An archive of scans vectorized on a Dask cluster, resumable by its manifest.

Pages are independent, so the work is a map of files (or single pages) over
the workers of Dask's distributed scheduler: a LocalCluster on one machine,
or the scheduler address of a cluster started over SSH or a batch system.

    from distributed import Client
    import ktvec.dask
    with Client("tcp://scheduler:8786") as client:
        summary = ktvec.dask.run(["scans/a.png", "scans/b.tif"], "vectors", client=client,
                                 formats=("svg", "json"), tolerance=1.5)

or from a shell:

    python3 -m ktvec.dask 'scans/*.png' -o vectors --format svg,json --workers 8
    python3 -m ktvec.dask 'scans/*.png' -o vectors --scheduler tcp://scheduler:8786

Outputs are named as `ktvec batch` names them (OUTDIR/<name>.<ext>, pages of
a multi-page TIFF <name>-p1.<ext>, ...; a name taken by an earlier input gets
-2, -3, ...) and hold the same bytes.  The client appends one manifest line
per page as results come back (see ktvec.manifest); a rerun skips every input
the manifest marks done whose size and modification time are unchanged.  A
page that fails is recorded with its reason and never stops the others; a
worker that dies has its tasks run again elsewhere by the scheduler.  Every
worker needs the package ktvec importable (the same PYTHONPATH) and the input
and output paths on a file system it shares with the client.
"""

import glob
import os
import sys
import time

import ktvec
from ktvec import _ktvec, manifest

FORMATS = ("svg", "json", "dxf")


def _vectorize_file(path, outputs, command, options, pages=None):
    """Runs on a worker: every page of `path` (or the listed ones) into its outputs.

    `outputs` are the output paths of the file ("out/a.svg", ...); pages of a
    multi-page file go to "out/a-p2.svg" and so on.  Returns one manifest
    record per page; a failure is a record with its reason, never an exception."""
    # A worker vectorizes image after image, like `ktvec batch`; its nanny
    # has glibc return freed memory eagerly (MALLOC_TRIM_THRESHOLD_), which
    # would map every image's large blocks afresh.
    _ktvec.keep_blocks_in_heap()
    run = getattr(ktvec, command.replace("-", "_"))
    records = []
    try:
        st = manifest.stamp(path)
        count = 1 if "page" in options else _ktvec.page_count(path)
    except OSError as e:
        return [{"input": path, "page": 1, "pages": 1, "size": None, "mtime": None, "outputs": [],
                 "counts": None, "seconds": 0.0, "error": "%s: %s" % (path, e.strerror or e)}]
    for page in pages or range(1, count + 1):
        start = time.perf_counter()
        names = [_ktvec.page_output_name(o, page) if count > 1 else o for o in outputs]
        counts = error = None
        try:
            g = run(path, **options) if count == 1 else run(path, page=page, **options)
            g.save(*names)
            counts = {"nodes": g.node_count, "polylines": len(g)}
        except (OSError, ValueError, MemoryError) as e:
            names, error = [], str(e)
        records.append({"input": path, "page": page, "pages": count, **st, "outputs": names, "counts": counts,
                        "seconds": round(time.perf_counter() - start, 6), "error": error})
    return records


def _expand(patterns):
    """Files and glob patterns, each pattern's matches sorted, every file once."""
    seen, inputs = set(), []
    for p in patterns:
        p = os.fspath(p)
        for path in sorted(glob.glob(p)) if glob.has_magic(p) else [p]:
            if path not in seen and not os.path.isdir(path):
                seen.add(path)
                inputs.append(path)
    return inputs


def run(inputs, outdir, *, command="centerline", formats=("svg",), manifest_path=None, client=None,
        skip_done=True, progress=None, **options):
    """Vectorizes every input on the cluster of `client` into `outdir`.

    inputs: files or glob patterns.  formats: any of svg, json, dxf.
    manifest_path: default OUTDIR/manifest.jsonl.  client: a
    distributed.Client; None starts a LocalCluster with one single-threaded
    worker per core for this call.  skip_done: pass over inputs the manifest
    marks done and that are unchanged.  progress: called with each record as
    it is written.  options: those of the command (ktvec.options(command)).

    Returns a dict: inputs, skipped, pages, failed, seconds."""
    from distributed import Client, LocalCluster, as_completed

    formats = list(dict.fromkeys(f.lower() for f in formats))
    if not formats or any(f not in FORMATS for f in formats):
        raise ValueError("formats must be among svg, json, dxf, got %r" % (formats,))
    _ktvec.option_table(command)  # an unknown command fails here, not on every worker
    files = _expand(inputs)
    outdir = os.fspath(outdir)
    manifest_path = os.fspath(manifest_path or os.path.join(outdir, "manifest.jsonl"))
    os.makedirs(outdir, exist_ok=True)
    names = _ktvec.output_stems(files)  # from every input, so names do not depend on what is skipped
    done = manifest.finished(manifest_path) if skip_done else {}
    todo = [(f, n) for f, n in zip(files, names) if not manifest.is_done(done, f)]

    own = client is None
    if own:
        client = Client(LocalCluster(n_workers=os.cpu_count() or 1, threads_per_worker=1, processes=True,
                                     dashboard_address=":0"))
    start = time.perf_counter()
    pages = failed = 0
    try:
        futures = {client.submit(_vectorize_file, f, [os.path.join(outdir, n + "." + e) for e in formats],
                                 command, options, pure=False): f for f, n in todo}
        with manifest.Writer(manifest_path) as out:
            for future in as_completed(futures):
                try:
                    records = future.result()
                except Exception as e:  # the task itself was lost, e.g. its workers kept dying
                    records = [{"input": futures[future], "page": 1, "pages": 1, "size": None, "mtime": None,
                                "outputs": [], "counts": None, "seconds": 0.0,
                                "error": "%s: %s" % (type(e).__name__, e)}]
                for r in records:
                    out.write(r)
                    pages += 1
                    failed += r["error"] is not None
                    if progress:
                        progress(r)
    finally:
        if own:
            cluster = client.cluster
            client.close()
            cluster.close()
    return {"inputs": len(files), "skipped": len(files) - len(todo), "pages": pages, "failed": failed,
            "seconds": time.perf_counter() - start}


def _parse(argv):
    """The command line: inputs, the recipe's own options, and the command's options by their program names."""
    import argparse

    p = argparse.ArgumentParser(prog="python3 -m ktvec.dask", description=__doc__.split("\n\n")[0],
                                epilog="Any option of the command is taken as the program spells it "
                                       "(--tolerance 1, --no-connect, --arcs 1,1000).")
    p.add_argument("inputs", nargs="+", help="files or quoted glob patterns")
    p.add_argument("-o", "--output", required=True, help="output folder")
    p.add_argument("--command", default="centerline", choices=["centerline", "outline", "outline-fast"])
    p.add_argument("--format", default="svg", help="svg, json, dxf or several, comma-separated (default svg)")
    p.add_argument("--manifest", help="manifest file (default OUTDIR/manifest.jsonl)")
    p.add_argument("--redo", action="store_true", help="vectorize inputs the manifest marks done, too")
    where = p.add_mutually_exclusive_group()
    where.add_argument("--scheduler", help="address of a running Dask scheduler (tcp://host:8786)")
    where.add_argument("--workers", type=int, help="local workers, one thread each (default: one per core)")
    p.add_argument("-q", "--quiet", action="store_true", help="no line per page, only failures and the summary")
    args, rest = p.parse_known_args(argv)

    table = {o["name"]: o for o in _ktvec.option_table(args.command)}
    options, i = {}, 0
    while i < len(rest):
        word = rest[i]
        name = word[2:].replace("-", "_") if word.startswith("--") else None
        if name and name.startswith("no_") and table.get(name[3:], {}).get("kind") == "flag":
            options[name[3:]] = False
        elif name in table and table[name]["kind"] == "flag":
            options[name] = True
        elif name in table and i + 1 < len(rest):
            value, i = rest[i + 1], i + 1
            kind = table[name]["kind"]
            options[name] = value if kind == "pair" or value == "auto" else int(value) if kind == "int" else float(value)
        else:
            p.error("unknown option or missing value: %s" % word)
        i += 1
    return args, options


def main(argv=None):
    args, options = _parse(sys.argv[1:] if argv is None else argv)

    def progress(r):
        if r["error"] or not args.quiet:
            what = r["error"] or "%d nodes, %d polylines, %.2f s" % (r["counts"]["nodes"], r["counts"]["polylines"],
                                                                     r["seconds"])
            print("%s page %d: %s" % (r["input"], r["page"], what), file=sys.stderr, flush=True)

    client = None
    if args.scheduler or args.workers:
        from distributed import Client, LocalCluster

        client = Client(args.scheduler) if args.scheduler else Client(
            LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True, dashboard_address=":0"))
    try:
        s = run(args.inputs, args.output, command=args.command, formats=args.format.split(","),
                manifest_path=args.manifest, client=client, skip_done=not args.redo, progress=progress, **options)
    finally:
        if client is not None:
            cluster = client.cluster if args.workers else None
            client.close()
            if cluster is not None:
                cluster.close()
    rate = s["pages"] / s["seconds"] if s["seconds"] > 0 else 0.0
    print("ktvec.dask: %d inputs, %d skipped as done, %d pages, %d failed, %.1f s, %.1f pages/s"
          % (s["inputs"], s["skipped"], s["pages"], s["failed"], s["seconds"], rate), file=sys.stderr)
    return 1 if s["failed"] else 0


if __name__ == "__main__":
    # Through the module's own name, so that workers unpickle the task
    # function by importing ktvec.dask rather than this script.
    from ktvec.dask import main as _main

    sys.exit(_main())
