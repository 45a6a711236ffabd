"""An archive across workers: the Dask recipe on a LocalCluster of two
workers and `ktvec batch --manifest` under GNU parallel give the files of a
single `ktvec batch`, byte for byte; runs killed part-way (a worker, or the
whole run) complete on a rerun with nothing lost and nothing done twice; a
damaged page is reported, not fatal."""

import json
import os
import shutil
import signal
import subprocess
import sys
import threading
import time

import pytest

import ktvec.dask
from conftest import PROGRAM, SAMPLE, draw, run_program, write_pbm

distributed = pytest.importorskip("distributed")
PIL = pytest.importorskip("PIL.Image")

FORMATS = ("svg", "json")


@pytest.fixture(scope="module")
def archive(tmp_path_factory, program):
    """Inputs (sheets, generated drawings, a 2-page TIFF, a damaged PBM and a
    text file) and the reference: one `ktvec batch` of them all."""
    d = tmp_path_factory.mktemp("archive")
    (d / "in").mkdir()
    for k in range(8):
        shutil.copy(SAMPLE, d / "in" / ("sheet-%d.png" % k))
    for k in range(4):
        write_pbm(d / "in" / ("drawing-%d.pbm" % k), draw(20 + k))
    pages = [PIL.fromarray(~draw(30 + k)) for k in range(2)]
    pages[0].save(d / "in" / "pages.tif", save_all=True, append_images=pages[1:], compression="group4")
    good = (d / "in" / "drawing-0.pbm").read_bytes()
    (d / "in" / "damaged.pbm").write_bytes(good[: len(good) // 2])
    (d / "in" / "notes.txt").write_text("not a scan\n")
    inputs = sorted(str(p) for p in (d / "in").iterdir())
    r = run_program("batch", *inputs, "-o", d / "reference", "--format", ",".join(FORMATS), "-q", check=False)
    assert r.returncode == 1, r.stderr  # the two broken inputs
    return {"dir": d, "inputs": inputs, "reference": d / "reference"}


@pytest.fixture(scope="module")
def client():
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=":0")
    with distributed.Client(cluster) as c:
        yield c
    cluster.close()


def outputs_of(folder):
    return {p.name: p.read_bytes() for p in folder.iterdir() if p.suffix[1:] in FORMATS}


def lines(manifest):
    return [json.loads(line) for line in manifest.read_text().splitlines()]


def check_complete(archive, out, manifest):
    """Every output as the single batch wrote it; each page recorded done once,
    the two broken inputs with their reasons."""
    assert outputs_of(out) == outputs_of(archive["reference"])
    records = lines(manifest)
    done = [(r["input"], r["page"]) for r in records if r["error"] is None]
    assert len(done) == len(set(done)) == len(archive["inputs"]) - 2 + 1  # the TIFF has two pages
    failed = {os.path.basename(r["input"]): r["error"] for r in records if r["error"]}
    assert set(failed) == {"damaged.pbm", "notes.txt"}
    assert "truncated" in failed["damaged.pbm"] and "not an image" in failed["notes.txt"]
    return records


def test_two_workers_write_the_single_batch_files_and_resume(archive, client, tmp_path):
    out = tmp_path / "out"
    s = ktvec.dask.run(archive["inputs"], out, client=client, formats=FORMATS)
    assert s["pages"] == len(archive["inputs"]) + 1 and s["failed"] == 2
    check_complete(archive, out, out / "manifest.jsonl")
    # A rerun does only what is not done: the two broken inputs, and an
    # input whose modification time changed.
    touched = next(p for p in archive["inputs"] if p.endswith("sheet-0.png"))
    os.utime(touched, ns=(time.time_ns(), time.time_ns()))
    s = ktvec.dask.run(archive["inputs"], out, client=client, formats=FORMATS)
    assert s["skipped"] == len(archive["inputs"]) - 3 and s["pages"] == 3


def test_a_worker_killed_part_way_loses_nothing(archive, client, tmp_path):
    out = tmp_path / "out"
    pids = list(client.run(os.getpid).values())
    killed = []

    def kill_one_worker(record):
        if not killed and len(lines(out / "manifest.jsonl")) >= 3:
            os.kill(pids[0], signal.SIGKILL)
            killed.append(pids[0])

    s = ktvec.dask.run(archive["inputs"], out, client=client, formats=FORMATS, progress=kill_one_worker)
    assert killed and s["failed"] == 2
    check_complete(archive, out, out / "manifest.jsonl")
    client.wait_for_workers(2, timeout=60)  # the nanny restarts it


def recipe(name, archive, out):
    """The command line of a recipe as docs/python.md gives it, and its manifests."""
    if name == "dask":
        return ([sys.executable, "-m", "ktvec.dask", *archive["inputs"], "-o", str(out), "--format", ",".join(FORMATS),
                 "--workers", "2", "-q"], [out / "manifest.jsonl"])
    listing = out.parent / "inputs.txt"
    listing.write_text("".join(p + "\n" for p in archive["inputs"]))
    # --sshlogin 2/: is two job slots on this machine, through parallel's remote-login path
    return (["parallel", "--sshlogin", "2/:", "-N", "3", "--halt", "never", PROGRAM, "batch", "{}", "-o", str(out),
             "--format", ",".join(FORMATS), "--jobs", "1", "--manifest", str(out / "manifest-{#}.jsonl"),
             "--skip-done", "-q", "::::", str(listing)], None)


def kill_session(sid):
    """SIGKILL to every process of session `sid`, its process groups included:
    GNU parallel gives each job a process group of its own, so killing the
    run's group alone would leave jobs writing beside the rerun."""
    while True:
        found = []
        for entry in os.listdir("/proc"):
            try:
                with open(f"/proc/{entry}/stat") as f:
                    fields = f.read().rsplit(")", 1)[1].split()
            except (OSError, IndexError):
                continue
            if int(fields[3]) == sid and fields[0] != "Z":
                found.append(int(entry))
        if not found:
            return
        for pid in found:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        time.sleep(0.01)


def manifests(out, listed):
    return listed if listed else sorted(out.glob("manifest-*.jsonl"))


def all_lines(paths):
    return [r for p in paths if p.exists() for r in lines(p)]


@pytest.mark.parametrize("name", ["dask", "parallel"])
def test_a_run_killed_part_way_completes_on_rerun(archive, tmp_path, name):
    if name == "parallel" and not shutil.which("parallel"):
        pytest.fail("GNU parallel is not installed (apt-get install parallel)")
    out = tmp_path / "out"
    cmd, listed = recipe(name, archive, out)
    run = subprocess.Popen(cmd, start_new_session=True, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 120
    while run.poll() is None and time.monotonic() < deadline:
        if len(all_lines(manifests(out, listed))) >= 4:
            kill_session(run.pid)  # the run and every process it started
            break
        time.sleep(0.005)
    assert run.wait() == -signal.SIGKILL, "the run ended before it was killed"
    first = {(r["input"], r["page"]): r for r in all_lines(manifests(out, listed)) if r["error"] is None}
    assert len(first) < len(archive["inputs"]) - 1
    written = {o: os.stat(o).st_mtime_ns for r in first.values() for o in r["outputs"]}
    assert subprocess.run(cmd, stderr=subprocess.DEVNULL).returncode != 0  # the broken inputs
    whole = out / "whole-run.jsonl"
    whole.write_text("".join(p.read_text() for p in manifests(out, listed)))
    check_complete(archive, out, whole)
    assert {o: os.stat(o).st_mtime_ns for o in written} == written  # what was done stays as it was


def test_both_manifest_readers_agree_on_what_is_done(tmp_path, program):
    """The same manifest read by the module and by `ktvec batch --skip-done`."""
    from ktvec import manifest

    names = {k: write_pbm(tmp_path / (k + ".pbm"), draw(40 + i, 160, 120)) for i, k in enumerate("abcdef")}
    stamp = {k: manifest.stamp(p) for k, p in names.items()}
    line = lambda k, page=1, pages=1, error=None, **kw: json.dumps(  # noqa: E731
        {"input": names[k], "page": page, "pages": pages, **{**stamp[k], **kw}, "outputs": [], "counts": None,
         "seconds": 0, "error": error}) + "\n"
    text = (line("a") + line("b", error="truncated") + line("b") + line("c", mtime="2001-01-01T00:00:00.000000000Z")
            + line("d", 1, 2) + line("e") + line("e", error="out of memory") + line("f") + line("f")[:40])
    (tmp_path / "m.jsonl").write_text(text)
    done = manifest.finished(tmp_path / "m.jsonl")
    assert {k for k, p in names.items() if manifest.is_done(done, p)} == {"a", "b", "f"}
    run_program("batch", *names.values(), "-o", tmp_path / "out", "--manifest", tmp_path / "m.jsonl", "--skip-done",
                "-q")
    redone = {r["input"] for r in lines_after(tmp_path / "m.jsonl", len(text))}
    assert redone == {names[k] for k in "cde"}


def lines_after(path, offset):
    """The manifest lines appended after the first `offset` bytes (which end in a torn line)."""
    return [json.loads(l) for l in path.read_text()[offset:].splitlines() if l.startswith("{")]
