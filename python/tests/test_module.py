"""The module against the program: the same files for the same options,
the same graph from arrays as from files, threads giving what one thread
gives, clear exceptions, and edits that do what `ktvec edit` does."""

import concurrent.futures
import json
import os
import subprocess
import sys

import numpy as np
import pytest

import ktvec
from conftest import SAMPLE, draw, run_program, write_pbm

PIL = pytest.importorskip("PIL.Image")


@pytest.fixture(scope="module")
def files(tmp_path_factory, program):
    """A PBM drawing, a grey PNG of it, and a 3-page TIFF (Group 4, 300 dpi)."""
    d = tmp_path_factory.mktemp("inputs")
    pages = [draw(seed) for seed in (1, 2, 3)]
    grey = np.where(pages[0], 40, 220).astype(np.uint8) + np.arange(480, dtype=np.uint8)[None, :] % 16
    PIL.fromarray(grey).save(d / "grey.png")
    frames = [PIL.fromarray(~p) for p in pages]  # mode "1": white is True
    frames[0].save(d / "pages.tif", save_all=True, append_images=frames[1:], compression="group4", dpi=(300, 300))
    return {"pbm": write_pbm(d / "d.pbm", pages[0]), "png": str(d / "grey.png"), "tif": str(d / "pages.tif"),
            "sample": SAMPLE, "grey": grey, "ink": pages[0], "dir": d}


# command, input, keyword options, the same options on the command line (the
# refinement by each command's default unless named)
ROUND_TRIPS = [
    ("centerline", "sample", {}, []),
    ("centerline", "sample", {"arcs": (1, 1000), "simplify": (2, 10), "same_curvature": 0.1, "splines": 4},
     ["--arcs", "1,1000", "--simplify", "2,10", "--same-curvature", "0.1", "--splines", "4"]),
    ("centerline", "pbm", {"connect": False, "bridge_radius": 12.5, "tolerance": 1, "circles": 40, "refine": False},
     ["--no-connect", "--bridge-radius", "12.5", "--tolerance", "1", "--circles", "40", "--no-refine"]),
    ("outline", "pbm", {"spur_nodes": 3, "despeckle": 8, "smooth": True, "nodesearch": 0},
     ["--spur-nodes", "3", "--despeckle", "8", "--smooth", "--nodesearch", "0"]),
    ("outline-fast", "png", {"threshold": 100, "invert": True, "refine": True},
     ["--threshold", "100", "--invert", "--refine"]),
    ("outline-fast", "png", {}, []),
    ("centerline", "tif", {"page": 2, "fill_holes": 0}, ["--page", "2", "--fill-holes", "0"]),
]


@pytest.mark.parametrize("command,source,kw,args", ROUND_TRIPS)
def test_files_are_the_programs(files, tmp_path, command, source, kw, args):
    run_program(command, files[source], *args, "-q", "-o", tmp_path / "p.svg", "-o", tmp_path / "p.json",
                "-o", tmp_path / "p.dxf", "--background" if source == "pbm" else "--quiet")
    g = getattr(ktvec, command.replace("-", "_"))(files[source], **kw)
    g.to_svg(tmp_path / "m.svg", background=source == "pbm")
    g.to_json(tmp_path / "m.json")
    g.to_dxf(tmp_path / "m.dxf")
    for ext in ("svg", "json", "dxf"):
        assert (tmp_path / ("m." + ext)).read_bytes() == (tmp_path / ("p." + ext)).read_bytes(), ext
    # The arrays hold what the JSON lists.
    doc = json.loads((tmp_path / "p.json").read_text())
    lists = doc["polylines"]
    assert g.ids.tolist() == [p["id"] for p in lists] and g.closed.tolist() == [p["closed"] for p in lists]
    written = ~g.deleted | np.isin(np.arange(len(g.nodes)), g.indices)  # the JSON's dense numbering
    assert g.nodes[written].tolist() == [[n["x"], n["y"]] for n in doc["nodes"]] and written.sum() == g.node_count
    assert g.arcs[["link", "cx", "cy", "r", "side"]].tolist() == [
        (a["link"], a["cx"], a["cy"], a["r"], a["side"]) for p in lists for a in p.get("arcs", [])]
    assert g.circles[["cx", "cy", "r"]].tolist() == [tuple(p["circle"].values()) for p in lists if "circle" in p]
    assert g.spline.tolist() == [xy for p in lists for xy in p.get("spline", [])]
    assert g.prev[1].tolist() == [r for p in lists for r in p["prev"]]
    # The refined geometry is what the JSON lists, to its thousandth of a pixel.
    assert g.refined == ("refined" in doc)
    if g.refined:
        rxy = [[n.get("rx", np.nan), n.get("ry", np.nan)] for n in doc["nodes"]]
        np.testing.assert_allclose(g.refined_nodes[written], rxy, atol=5e-4)
        dense = np.cumsum(written) - 1
        for line, listed in zip(g.refined_lines, doc["refined"], strict=True):
            assert (line.source, line.closed) == (listed["source"], listed["closed"])
            np.testing.assert_allclose(line.points, np.reshape(listed["points"], (-1, 2)), atol=5e-4)
            assert np.where(line.nodes >= 0, dense[line.nodes], -1).tolist() == listed["nodes"]
    else:
        assert g.refined_nodes is None and g.refined_lines is None
    # Read back, the JSON gives the graph without its refined geometry (which
    # needs the scan), and an unrefined one writes the same bytes.
    back = ktvec.from_json(tmp_path / "p.json")
    for n in doc["nodes"]:
        n.pop("rx", None), n.pop("ry", None)
    doc.pop("refined", None)
    assert json.loads(back.to_json()) == doc and not back.refined
    if not g.refined:
        assert back.to_json() == (tmp_path / "p.json").read_text() and back.to_svg() == g.to_svg()
    assert len(back) == len(g) == len(list(g)) and back.parameters == g.parameters


def test_strokes_are_joined_as_the_program_joins_them(files, tmp_path):
    run_program("centerline", files["sample"], "-q", "--no-join-strokes", "-o", tmp_path / "p.svg", "-o", tmp_path / "p.dxf")
    g = ktvec.centerline(files["sample"])
    g.to_svg(tmp_path / "m.svg", join_strokes=False)
    g.save(tmp_path / "m.dxf", join_strokes=False)
    for ext in ("svg", "dxf"):
        assert (tmp_path / ("m." + ext)).read_bytes() == (tmp_path / ("p." + ext)).read_bytes(), ext
    assert g.to_svg().count("<path") < g.to_svg(join_strokes=False).count("<path")


def test_every_default_given_by_name_changes_nothing(files):
    """Each option's default, passed back by name, goes through the parser to the same graph."""
    for command in ("centerline", "outline", "outline-fast"):
        given = {k: v for k, v in ktvec.options(command).items() if v is not None}
        run = getattr(ktvec, command.replace("-", "_"))
        assert run(files["pbm"], **given).to_json() == run(files["pbm"]).to_json(), command


def same_graph(a, b):
    for name in ("nodes", "deleted", "ids", "offsets", "indices", "closed"):
        np.testing.assert_array_equal(getattr(a, name), getattr(b, name), err_msg=name)


def test_arrays_give_the_graph_of_the_file(files):
    ink, grey = files["ink"], files["grey"]
    same_graph(ktvec.centerline(ink), ktvec.centerline(files["pbm"]))
    from_png = ktvec.outline(files["png"])
    from_grey = ktvec.outline(grey)
    same_graph(from_grey, from_png)
    assert from_grey.threshold == from_png.threshold
    # Read in place whatever the layout: a transposed view, a strided slice.
    same_graph(ktvec.centerline(ink.T), ktvec.centerline(np.ascontiguousarray(ink.T)))
    same_graph(ktvec.outline(grey[::2, 1::3], threshold=128), ktvec.outline(grey[::2, 1::3].copy(), threshold=128))
    np.testing.assert_array_equal(ktvec.outline_fast(ink, fill_holes=0).image, ink)


def test_threads_give_what_one_thread_gives():
    pages = [draw(seed, 640, 480) for seed in range(10, 18)]
    options = {"arcs": (1, 1000), "splines": 3}
    alone = [ktvec.centerline(p, **options).to_json() for p in pages]
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        together = list(pool.map(lambda p: ktvec.centerline(p, **options).to_json(), pages))
    assert together == alone


# call, exception, words of its message
ERRORS = [
    (lambda f: ktvec.centerline(np.zeros((4, 4), np.float32)), TypeError, "got float32"),
    (lambda f: ktvec.centerline(np.zeros((4, 4, 3), np.uint8)), ValueError, "2-D"),
    (lambda f: ktvec.centerline(np.zeros((0, 4), bool)), ValueError, "empty image"),
    (lambda f: ktvec.centerline(f["ink"], max_pixels=1000), ValueError, "exceeds the limit"),
    (lambda f: ktvec.centerline(f["dir"] / "missing.png"), FileNotFoundError, "missing.png"),
    (lambda f: ktvec.centerline(__file__), ValueError, "not an image"),
    (lambda f: ktvec.centerline(f["tif"]), ValueError, "has 3 pages"),
    (lambda f: ktvec.centerline(f["tif"], page=4), ValueError, "page"),
    (lambda f: ktvec.centerline(b"P4\n10 10\n\x00"), ValueError, "<bytes>"),
    (lambda f: ktvec.centerline(f["ink"], tolerance=-1), ValueError, "tolerance: '-1' is out of range"),
    (lambda f: ktvec.centerline(f["ink"], arcs=(5, 1)), ValueError, "arcs: MIN is above MAX"),
    (lambda f: ktvec.centerline(f["ink"], same_curvature=0.1), ValueError, "same_curvature needs arcs"),
    (lambda f: ktvec.centerline(f["ink"], spur_nodes=2), TypeError, "spur_nodes"),
    (lambda f: ktvec.centerline(f["ink"], smooth=1), TypeError, "True or False"),
    (lambda f: ktvec.centerline([[True]]), TypeError, "got list"),
    (lambda f: ktvec.centerline(f["ink"]).to_dxf(units="feet"), ValueError, "feet"),
    (lambda f: ktvec.centerline(f["ink"]).to_dxf(units="mm"), ValueError, "resolution"),
    (lambda f: ktvec.centerline(f["ink"]).to_svg(f["dir"] / "no" / "such" / "dir.svg"), ValueError, "dir.svg"),
    (lambda f: ktvec.from_json(f["pbm"]), ValueError, "line 1"),
]


@pytest.mark.parametrize("call,error,words", ERRORS)
def test_bad_input_raises_a_clear_exception(files, call, error, words):
    with pytest.raises(error, match=words.replace("(", r"\(").replace(")", r"\)")):
        call(files)


# ---- editing ------------------------------------------------------------------


@pytest.fixture(scope="module")
def base(files, tmp_path_factory):
    """A centre-line result with arcs, as the program writes it, and nodes to edit."""
    d = tmp_path_factory.mktemp("edit")
    path = d / "base.json"
    run_program("centerline", files["sample"], "--arcs", "1,1000", "-q", "-o", path)
    doc = json.loads(path.read_text())
    long_lines = [p for p in doc["polylines"] if not p["closed"] and len(p["nodes"]) >= 5]
    a, b = long_lines[0], long_lines[1]
    xy = lambda k: [doc["nodes"][k]["x"], doc["nodes"][k]["y"]]  # noqa: E731
    mid = [(u + v) / 2 for u, v in zip(xy(b["nodes"][0]), xy(b["nodes"][1]))]
    ops = [
        {"op": "move", "node": a["nodes"][2], "to": [xy(a["nodes"][2])[0] + 3, xy(a["nodes"][2])[1] + 2]},
        {"op": "insert", "at": mid, "margin": 0.1, "maxdistance": 3},
        {"op": "notch", "node": b["nodes"][3], "radius": 6, "depth": 2},
        {"op": "delete-node", "node": a["nodes"][1]},
        {"op": "undo"},
        {"op": "split", "polyline": b["id"], "node": b["nodes"][2]},
        {"op": "move-attach", "node": a["nodes"][-1], "to": xy(a["nodes"][-1])},
        {"op": "refit"},
    ]
    return {"path": path, "ops": ops, "dir": d}


def apply(g, op, undo_next):
    """One op of an editing script through the module's editing calls."""
    if undo_next:
        g.snapshot()
    kind = op["op"]
    if kind == "move" or kind == "move-attach":
        g.move_node(op["node"], *op["to"], attach=kind == "move-attach")
    elif kind == "insert":
        assert g.insert_node(*op["at"], margin=op["margin"], max_distance=op["maxdistance"]) is not None
    elif kind == "notch":
        g.notch(op["node"], op["radius"], op["depth"])
    elif kind == "delete-node":
        g.delete_node(op["node"])
    elif kind == "split":
        g.split(op["polyline"], op["node"])
    elif kind == "refit":
        g.refit()
    elif kind == "undo":
        g.undo()


@pytest.mark.parametrize("hold_views", [False, True])
def test_edits_do_what_ktvec_edit_does(base, hold_views):
    ops = base["ops"]
    (base["dir"] / "ops.json").write_text(json.dumps({"ops": ops}))
    out = base["dir"] / "edited.json"
    run_program("edit", base["path"], "--ops", base["dir"] / "ops.json", "-q", "-o", out)
    g = ktvec.from_json(base["path"])
    held = []
    for k, op in enumerate(ops):
        if hold_views:  # views taken between edits keep the state they show
            held.append((g.nodes, g.nodes.copy(), g.indices, g.indices.copy()))
        apply(g, op, k + 1 < len(ops) and ops[k + 1]["op"] == "undo")
    assert g.to_json() == out.read_text()
    for view, copy, indices, indices_copy in held:
        np.testing.assert_array_equal(view, copy)
        np.testing.assert_array_equal(indices, indices_copy)


def test_undo_gives_back_the_graph_and_refusals_carry_their_code(base):
    g = ktvec.from_json(base["path"])
    original = g.to_json()
    with pytest.raises(ValueError, match="nothing to undo"):
        g.undo()
    g.snapshot()
    end = int(g.indices[g.offsets[0]])  # an end node: no notch there
    with pytest.raises(ktvec.RefusedError) as refused:
        g.notch(end, 4, 2)
    assert refused.value.code == -1 and isinstance(refused.value, ValueError)
    picked = g.pick_node(*g.nodes[end])
    assert picked == end and g.pick_polyline(*g.nodes[end]) == g.ids[0]
    g.delete_polyline(end)
    assert len(g) == len(ktvec.from_json(base["path"])) - 1
    with pytest.raises(ValueError, match="is deleted"):
        g.move_node(end, 1, 1)
    with pytest.raises(IndexError):
        g.move_node(len(g.nodes), 1, 1)
    g.undo()
    assert g.to_json() == original and g.can_undo


def test_edits_leave_no_stale_refined_geometry(files, base):
    """An edit or an undo drops the refined geometry; refine() measures the state then current."""
    g = ktvec.centerline(files["pbm"])
    refined, held = g.to_json(), g.refined_nodes
    once = np.bincount(g.indices) == 1  # a node on one polyline once: a free end when it starts one
    k = next(k for k, o in enumerate(g.offsets[:-1]) if once[g.indices[o]])
    first, end = int(g.ids[k]), int(g.indices[g.offsets[k]])
    g.snapshot()
    g.delete_polyline(end)
    assert not g.refined and g.refined_nodes is None and g.refined_lines is None and '"rx"' not in g.to_json()
    with pytest.raises(ValueError, match="refine"):
        g.to_geojson(refined=True)
    g.refine()
    assert first not in [line.source for line in g.refined_lines] and np.isnan(g.refined_nodes[end]).all()
    g.undo()
    assert not g.refined
    g.refine()
    assert g.to_json() == refined
    np.testing.assert_array_equal(held, g.refined_nodes)
    with pytest.raises(ValueError, match="read from JSON"):
        ktvec.from_json(base["path"]).refine()


@pytest.mark.parametrize("refined", [False, None])
def test_geojson_follows_the_drawing(refined):
    """The polylines, or by default the refined lines the writers draw."""
    g = ktvec.centerline(draw(5))
    fc = g.to_geojson(transform=(2, 0, 100, 0, -2, 50), refined=refined)
    lines = list(zip(g.ids, g.closed, g)) if refined is False else g.refined_lines
    assert len(fc["features"]) == len(lines) and "Polygon" in {f["geometry"]["type"] for f in fc["features"]}
    for feature, (source, closed, points, *_) in zip(fc["features"], lines):
        coords = np.array(feature["geometry"]["coordinates"][0] if closed else feature["geometry"]["coordinates"])
        assert feature["geometry"]["type"] == ("Polygon" if closed else "LineString")
        assert feature["properties"]["id"] == source
        np.testing.assert_allclose(coords, np.column_stack((100 + 2 * (points[:, 0] + 0.5), 50 - 2 * (points[:, 1] + 0.5))))


def test_the_plotting_example_runs(tmp_path):
    pytest.importorskip("matplotlib")
    script = os.path.join(os.path.dirname(SAMPLE), "plot_result.py")
    subprocess.run([sys.executable, script, SAMPLE, str(tmp_path / "plot.png")], check=True, capture_output=True)
    assert (tmp_path / "plot.png").stat().st_size > 10000
