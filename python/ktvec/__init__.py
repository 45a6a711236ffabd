"""ktvec: line drawings from scans into vectors.

    import ktvec
    g = ktvec.centerline("drawing.png", tolerance=1.5, arcs=(1, 1000))
    for line in g:                      # each polyline as a (K, 2) int32 array
        print(line.tolist())
    g.to_svg("drawing.svg")            # the same bytes as `ktvec centerline`

The three functions take a file path (PBM, PNG, TIFF), the bytes of such a
file, or a 2-D numpy array (bool: True is ink; uint8: a grey scan, ink below
the threshold) and the program's options by name, with its defaults.  They
return a Graph.  See docs/python.md.
"""

import collections

from . import _ktvec
from ._ktvec import ARC, CIRCLE, SPLINE, Graph, RefusedError, page_count

__version__ = _ktvec.__version__
__all__ = ["centerline", "outline", "outline_fast", "from_json", "options", "page_count", "Graph",
           "RefinedLine", "RefusedError"]

RefinedLine = collections.namedtuple("RefinedLine", "source closed points nodes")
RefinedLine.__doc__ = """One line of the sub-pixel geometry, as the program's writers draw it.

source: the id of the polyline it draws, 0 for a line of the stage's own (a
restored stroke end of the centre lines, a ring of the outlines); closed:
the last point repeats the first; points: (K, 2) float64 positions in pixels,
the centre of pixel (i, j) at (i, j); nodes: (K,) int32, the node index at
each point, -1 for a point of the stage's own."""


def options(command="centerline"):
    """The options a vectorizing function takes, name -> default (None: off or automatic)."""
    return {o["name"]: o["default"] for o in _ktvec.option_table(command)}


def _describe(command):
    """The option list of a function's docstring, from the program's own table."""
    import textwrap

    lines, group = [], None
    for o in _ktvec.option_table(command):
        if o["group"] != group:
            group = o["group"]
            lines.append("\n%s:" % group)
        default = o["default"]
        shown = "auto" if o["name"] == "threshold" else "off" if default is None else repr(default)
        lines.append("  %s=%s  (%s)" % (o["name"], shown, o["kind"] + ("; sets " + o["sets"] if o["sets"] else "")))
        lines.extend(textwrap.wrap(o["help"], 76, initial_indent="      ", subsequent_indent="      "))
    return "\n".join(lines)


def _command(command, summary):
    def run(image, **options):
        return _ktvec.vectorize(command, image, options)

    run.__name__ = run.__qualname__ = command.replace("-", "_")
    run.__doc__ = (
        "%s\n\nimage: a file path, the bytes of an image file, or a 2-D bool / uint8 numpy array.\n"
        "Returns a Graph.  Raises OSError for a file that cannot be opened, ValueError for\n"
        "an image it cannot read or an option out of range, TypeError for a wrong kind of\n"
        "argument, MemoryError when memory runs out.\n\nOptions (keyword only; the program's defaults):%s"
        % (summary, _describe(command))
    )
    return run


centerline = _command("centerline", "Centre lines of the strokes, cleaned up (ktvec centerline).")
outline = _command("outline", "Outlines of the black areas, pieces joined (ktvec outline).")
outline_fast = _command("outline-fast", "Outlines of the black areas, no clean-up (ktvec outline-fast).")


def from_json(path):
    """Reads a JSON result of the program (or of Graph.to_json) back into a Graph.

    Node k of the file becomes node index k; written again unchanged it gives
    the same file byte for byte."""
    return _ktvec.from_json(path)


# ---- Graph: the parts written in Python -------------------------------------


def _polyline(self, k):
    """Polyline k (0-based, in id order) as a (K, 2) int32 array of node positions."""
    o = self.offsets
    return self.nodes[self.indices[o[k]:o[k + 1]]]


def _iter(self):
    nodes, offsets, indices = self.nodes, self.offsets, self.indices
    for k in range(len(offsets) - 1):
        yield nodes[indices[offsets[k]:offsets[k + 1]]]


def _refined_lines(self):
    """The refined lines as RefinedLine tuples, in the order the writers draw them, or None
    when the graph holds no refined geometry (refine=False, edited since, read from JSON)."""
    csr = self._refined_lines
    if csr is None:
        return None
    sources, closed, offsets, points, nodes = csr
    bounds = offsets.tolist()
    return [RefinedLine(s, c, points[a:b], nodes[a:b])
            for s, c, a, b in zip(sources.tolist(), closed.tolist(), bounds, bounds[1:])]


def _image(self):
    """The page that was vectorized, after pre-cleaning: a (height, width) bool array, True = ink."""
    import numpy as np

    return np.unpackbits(self.bitmap, axis=1, count=self.width).view(bool)


def _to_svg(self, path=None, background=False, join_strokes=True):
    return _write(self, "svg", path, background=background, join_strokes=join_strokes)


def _to_json(self, path=None):
    return _write(self, "json", path)


def _to_dxf(self, path=None, units=None, join_strokes=True):
    return _write(self, "dxf", path, units=units, join_strokes=join_strokes)


def _write(self, format_, path, background=False, units=None, join_strokes=True):
    import os

    text = self._write(format_, None if path is None else os.fspath(path), background, units or "", join_strokes)
    return text if path is None else None


_to_svg.__doc__ = """Writes the SVG the program writes (viewBox = image size, nodes at pixel centres).

With a path the file is written complete or not at all and None is returned;
without one the text is returned.  background=True embeds the scan under the
vectors (not for a graph read from JSON).  A stroke that runs straight on
across junctions (the polylines' prev / next connections) is one path;
join_strokes=False draws one path per polyline, as --no-join-strokes."""
_to_json.__doc__ = """Writes the program's JSON result (schema 1); without a path, returns the text."""
_to_dxf.__doc__ = """Writes the program's DXF; units 'mm', 'inch' or 'px' (default: mm when the
resolution is known, else px); join_strokes as for to_svg.  Without a path,
returns the text."""


def _to_geojson(self, transform=None, refined=None):
    """The drawing as a GeoJSON FeatureCollection dict.

    One feature per live polyline, or with refined geometry (refined=None
    takes it when the graph holds it, as the writers do) one per refined
    line.  Open lines become LineStrings, closed ones Polygons (the ring
    closed by its first point).  Coordinates are pixel centres (x + 0.5,
    y + 0.5), as the SVG draws them; with transform=(a, b, c, d, e, f) each is
    mapped to (a*x + b*y + c, d*x + e*y + f), the affine of a georeferenced
    raster in the order rasterio's Affine and world files use (an Affine
    itself works).  Properties: id (the polyline; 0 for a refined line of the
    stage's own, which has no feature id), closed, prev, next and curve (a
    list of 'arc', 'spline', 'circle')."""
    import numpy as np

    if refined is None:
        refined = self.refined
    elif refined and not self.refined:
        raise ValueError("the graph holds no refined geometry: call refine() first")
    if transform is not None:
        a, b, c, d, e, f = (float(v) for v in tuple(transform)[:6])
    ids, offsets, indices, closed, curve = self.ids, self.offsets, self.indices, self.closed, self.curve
    (po, pv), (no, nv) = self.prev, self.next
    if refined:
        lines = [(line.source, line.closed, line.points) for line in self.refined_lines]
    else:
        nodes = self.nodes
        lines = [(int(ids[k]), bool(closed[k]), nodes[indices[offsets[k]:offsets[k + 1]]]) for k in range(len(ids))]
    row = {int(i): k for k, i in enumerate(ids)}
    features = []
    for source, is_closed, points in lines:
        xy = points.astype(np.float64) + 0.5
        if transform is not None:
            xy = np.column_stack((a * xy[:, 0] + b * xy[:, 1] + c, d * xy[:, 0] + e * xy[:, 1] + f))
        coords = xy.tolist()
        if is_closed and len(coords) >= 4:
            geometry = {"type": "Polygon", "coordinates": [coords]}
        else:
            geometry = {"type": "LineString", "coordinates": coords}
        k = row.get(source)
        feature = {"type": "Feature", "geometry": geometry, "properties": {
            "id": source, "closed": is_closed,
            "prev": [] if k is None else pv[po[k]:po[k + 1]].tolist(),
            "next": [] if k is None else nv[no[k]:no[k + 1]].tolist(),
            "curve": [] if k is None else [n for bit, n in ((ARC, "arc"), (SPLINE, "spline"), (CIRCLE, "circle"))
                                           if curve[k] & bit]}}
        if k is not None:
            feature["id"] = source
        features.append(feature)
    return {"type": "FeatureCollection", "features": features}


def _repr(self):
    return "<ktvec.Graph %s of %s: %dx%d, %d nodes, %d polylines>" % (
        self.command, self.source, self.width, self.height, self.node_count, len(self))


Graph.polyline = _polyline
Graph.__iter__ = _iter
Graph.image = property(_image)
Graph.refined_lines = property(_refined_lines)
Graph.to_svg = _to_svg
Graph.to_json = _to_json
Graph.to_dxf = _to_dxf
Graph.to_geojson = _to_geojson
Graph.__repr__ = _repr
