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

from . import _ktvec
from ._ktvec import ARC, CIRCLE, SPLINE, Graph, RefusedError, page_count

__version__ = _ktvec.__version__
__all__ = ["centerline", "outline", "outline_fast", "from_json", "options", "page_count", "Graph",
           "RefusedError"]


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


def _image(self):
    """The page that was vectorized, after pre-cleaning: a (height, width) bool array, True = ink."""
    import numpy as np

    return np.unpackbits(self.bitmap, axis=1, count=self.width).view(bool)


def _to_svg(self, path=None, background=False):
    return _write(self, "svg", path, background=background)


def _to_json(self, path=None):
    return _write(self, "json", path)


def _to_dxf(self, path=None, units=None):
    return _write(self, "dxf", path, units=units)


def _write(self, format_, path, background=False, units=None):
    import os

    text = self._write(format_, None if path is None else os.fspath(path), background, units or "")
    return text if path is None else None


_to_svg.__doc__ = """Writes the SVG the program writes (viewBox = image size, nodes at pixel centres).

With a path the file is written complete or not at all and None is returned;
without one the text is returned.  background=True embeds the scan under the
vectors (not for a graph read from JSON)."""
_to_json.__doc__ = """Writes the program's JSON result (schema 1); without a path, returns the text."""
_to_dxf.__doc__ = """Writes the program's DXF; units 'mm', 'inch' or 'px' (default: mm when the
resolution is known, else px).  Without a path, returns the text."""


def _to_geojson(self, transform=None):
    """The live polylines as a GeoJSON FeatureCollection dict.

    Open polylines become LineStrings, closed ones Polygons (the ring closed
    by its first node).  Coordinates are pixel centres (x + 0.5, y + 0.5), as
    the SVG draws them; with transform=(a, b, c, d, e, f) each is mapped to
    (a*x + b*y + c, d*x + e*y + f), the affine of a georeferenced raster in
    the order rasterio's Affine and world files use (an Affine itself works).
    Properties: id, closed, prev, next and curve (a list of 'arc', 'spline',
    'circle')."""
    import numpy as np

    xy = self.nodes.astype(np.float64) + 0.5
    if transform is not None:
        a, b, c, d, e, f = (float(v) for v in tuple(transform)[:6])
        xy = np.column_stack((a * xy[:, 0] + b * xy[:, 1] + c, d * xy[:, 0] + e * xy[:, 1] + f))
    ids, offsets, indices, closed, curve = self.ids, self.offsets, self.indices, self.closed, self.curve
    (po, pv), (no, nv) = self.prev, self.next
    features = []
    for k in range(len(ids)):
        coords = xy[indices[offsets[k]:offsets[k + 1]]].tolist()
        if closed[k] and len(coords) >= 4:
            geometry = {"type": "Polygon", "coordinates": [coords]}
        else:
            geometry = {"type": "LineString", "coordinates": coords}
        names = [n for bit, n in ((ARC, "arc"), (SPLINE, "spline"), (CIRCLE, "circle")) if curve[k] & bit]
        features.append({
            "type": "Feature",
            "id": int(ids[k]),
            "geometry": geometry,
            "properties": {"id": int(ids[k]), "closed": bool(closed[k]), "prev": pv[po[k]:po[k + 1]].tolist(),
                           "next": nv[no[k]:no[k + 1]].tolist(), "curve": names},
        })
    return {"type": "FeatureCollection", "features": features}


def _repr(self):
    return "<ktvec.Graph %s of %s: %dx%d, %d nodes, %d polylines>" % (
        self.command, self.source, self.width, self.height, self.node_count, len(self))


Graph.polyline = _polyline
Graph.__iter__ = _iter
Graph.image = property(_image)
Graph.to_svg = _to_svg
Graph.to_json = _to_json
Graph.to_dxf = _to_dxf
Graph.to_geojson = _to_geojson
Graph.__repr__ = _repr
