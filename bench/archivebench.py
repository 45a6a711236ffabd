"""What an archive costs: pages per second of the Dask recipe (ktvec.dask)
with 1 and 2 local workers beside `ktvec batch --jobs 1/2` and the Python
module on 1 and 2 threads, processor time and output bytes per A4 page, and
how the manifest scales.

    PYTHONPATH=build/python /usr/bin/python3 bench/archivebench.py [-n 16] [-r 3] [--manifest-lines 1000000]
        [--no-refine]

The pages are ktvec_drawgen's A4 300-dpi drawings (seeds 1..N, 1-bit PNG).
Every figure is the best of R runs; a Dask cluster is started before its
runs and left out of their time, as a running cluster would be.  The
machine's load average is printed beside each measure."""

import argparse
import json
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time


def best(runs, fn):
    return min(fn() for _ in range(runs))


def timed(fn):
    start = time.perf_counter()
    fn()
    return time.perf_counter() - start


def load():
    return "load %.2f" % os.getloadavg()[0]


def pages_per_second(args, inputs, work):
    import ktvec.dask
    from distributed import Client, LocalCluster

    n = len(inputs)
    rows = []
    for jobs in (1, 2):
        def batch():
            out = os.path.join(work, "batch")
            shutil.rmtree(out, ignore_errors=True)
            subprocess.run([args.program, "batch", *inputs, "-o", out, "--jobs", str(jobs), "-q",
                            "--format", args.format, *args.refine_flag], check=True, stderr=subprocess.DEVNULL)
        before = os.times()
        seconds = best(args.runs, lambda: timed(batch))
        after = os.times()
        cpu = (after.children_user + after.children_system - before.children_user - before.children_system)
        rows.append(("ktvec batch --jobs %d" % jobs, n / seconds, cpu / (n * args.runs), load()))
    for threads in (1, 2):
        import concurrent.futures

        import ktvec

        def vectorize(path):
            ktvec.centerline(path, refine=args.refine).save(os.path.join(work, "threads", os.path.basename(path)[:-4] + ".svg"))

        def python_threads():
            os.makedirs(os.path.join(work, "threads"), exist_ok=True)
            with concurrent.futures.ThreadPoolExecutor(threads) as pool:
                list(pool.map(vectorize, inputs))
        cpu = time.process_time()
        seconds = best(args.runs, lambda: timed(python_threads))
        cpu = (time.process_time() - cpu) / (n * args.runs)
        rows.append(("Python, %d thread%s" % (threads, "s" if threads > 1 else ""), n / seconds, cpu, load()))
    for workers in (1, 2):
        cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=":0")
        with Client(cluster) as client:
            def dask_run():
                out = os.path.join(work, "dask")
                shutil.rmtree(out, ignore_errors=True)
                ktvec.dask.run(inputs, out, client=client, formats=args.format.split(","), skip_done=False,
                               refine=args.refine)
            dask_run()  # the workers import the module and fault in their heaps once
            cpu = sum(client.run(time.process_time).values())
            seconds = best(args.runs, lambda: timed(dask_run))
            cpu = (sum(client.run(time.process_time).values()) - cpu) / (n * args.runs)
            rows.append(("ktvec.dask, %d worker%s" % (workers, "s" if workers > 1 else ""), n / seconds, cpu, load()))
        cluster.close()
    print("\n%d A4 pages, formats %s%s, best of %d runs, %d cores"
          % (n, args.format, "" if args.refine else ", no refining", args.runs, os.cpu_count()))
    print("%-26s %9s %12s  %s" % ("", "pages/s", "cpu s/page", "load average at the end"))
    for name, rate, cpu, ld in rows:
        print("%-26s %9.1f %12s  %s" % (name, rate, "%.3f" % cpu if cpu else "", ld))


def output_bytes(args, inputs, work):
    out = os.path.join(work, "sizes")
    subprocess.run([args.program, "batch", *inputs, "-o", out, "-q", "--format", "svg,json,dxf", *args.refine_flag],
                   check=True, stderr=subprocess.DEVNULL)
    print("\noutput bytes per A4 page (mean of %d):" % len(inputs))
    for ext in ("svg", "json", "dxf"):
        sizes = [os.path.getsize(os.path.join(out, f)) for f in os.listdir(out) if f.endswith("." + ext)]
        print("  %-4s %9.0f" % (ext, sum(sizes) / len(sizes)))
    sizes = [os.path.getsize(p) for p in inputs]
    print("  input PNG %4.0f" % (sum(sizes) / len(sizes)))


def manifest_scaling(args, work):
    from ktvec import manifest

    path = os.path.join(work, "manifest.jsonl")
    record = {"input": "", "page": 1, "pages": 1, "size": 1234567, "mtime": "2024-05-01T09:30:12.123456789Z",
              "outputs": [], "counts": {"nodes": 9000, "polylines": 4500}, "seconds": 0.123456, "error": None}
    with open(path, "w") as f:
        for k in range(args.manifest_lines):
            name = "/archive/scans/box-%04d/sheet-%06d.tif" % (k // 1000, k)
            record["input"] = name
            record["outputs"] = [name.replace("scans", "vectors")[:-4] + ".svg"]
            f.write(json.dumps(record, separators=(",", ":")) + "\n")
    size = os.path.getsize(path)
    rss = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    start = time.perf_counter()
    finished = manifest.finished(path)
    seconds = time.perf_counter() - start
    grown = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - rss
    print("\nmanifest of %d lines: %.1f MB (%.0f bytes a line); read and sorted out in %.1f s, "
          "peak memory +%.0f MB (%s)" % (len(finished), size / 1e6, size / args.manifest_lines, seconds, grown / 1024,
                                       load()))
    if args.program:
        start = time.perf_counter()
        r = subprocess.run([args.program, "batch", os.path.join(work, "none.png"), "-o", os.path.join(work, "m"),
                            "--manifest", path, "--skip-done", "-q"], capture_output=True)
        print("ktvec batch --manifest (the same file) --skip-done: %.1f s, peak memory %.0f MB"
              % (time.perf_counter() - start, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024))


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("-n", type=int, default=16, help="A4 pages (default 16)")
    p.add_argument("-r", "--runs", type=int, default=3, help="runs per measure, the best counts (default 3)")
    p.add_argument("--format", default="svg", help="output formats (default svg)")
    p.add_argument("--build", default="build", help="build folder (default build)")
    p.add_argument("--manifest-lines", type=int, default=1000000, help="lines of the synthetic manifest")
    p.add_argument("--only", choices=["rate", "bytes", "manifest"], help="one measure only")
    p.add_argument("--no-refine", dest="refine", action="store_false",
                   help="the driver's own nodes, without the sub-pixel stage (the default refines)")
    args = p.parse_args()
    args.refine_flag = [] if args.refine else ["--no-refine"]
    args.program = os.path.join(args.build, "ktvec")
    work = tempfile.mkdtemp(prefix="ktvec-archivebench.")
    try:
        inputs = []
        if args.only != "manifest":
            for k in range(1, args.n + 1):
                path = os.path.join(work, "a4-%d.png" % k)
                subprocess.run([os.path.join(args.build, "ktvec_drawgen"), "--size", "a4", "--seed", str(k), "-o", path],
                               check=True, stderr=subprocess.DEVNULL)
                inputs.append(path)
        print("%s, %s" % (time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()), " ".join(os.uname()[2:5:2])))
        if args.only in (None, "rate"):
            pages_per_second(args, inputs, work)
        if args.only in (None, "bytes"):
            output_bytes(args, inputs, work)
        if args.only in (None, "manifest"):
            manifest_scaling(args, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
