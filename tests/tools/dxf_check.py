# Reads a DXF file with ezdxf (an independent reader) and prints what the
# tests compare: header values, the audit result and every model-space
# entity with its layer and defining points, one per line.
import sys

import ezdxf

doc = ezdxf.readfile(sys.argv[1])
auditor = doc.audit()
print("VERSION", doc.dxfversion)
print("INSUNITS", doc.header.get("$INSUNITS", -1))
print("EXTMAX", *doc.header.get("$EXTMAX", (0, 0, 0))[:2])
print("AUDIT", len(auditor.errors), len(auditor.fixes))
print("LAYERS", *sorted(layer.dxf.name for layer in doc.layers))


def xy(p):
    return "%.9g %.9g" % (p[0], p[1])


for e in doc.modelspace():
    kind, layer = e.dxftype(), e.dxf.layer
    if kind == "LINE":
        print(kind, layer, xy(e.dxf.start), xy(e.dxf.end))
    elif kind == "LWPOLYLINE":
        print(kind, layer, int(e.closed), " ".join(xy(p) for p in e.get_points("xy")))
    elif kind == "ARC":
        print(kind, layer, xy(e.start_point), xy(e.end_point), "%.9g" % e.dxf.radius)
    elif kind == "CIRCLE":
        print(kind, layer, xy(e.dxf.center), "%.9g" % e.dxf.radius)
    else:
        print(kind, layer)
