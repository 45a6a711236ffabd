# Reads DXF files with ezdxf (an independent reader) and reports, per file:
# the header's units, the audit result, the layers, the count of entities
# per kind and layer, and every vertex or arc end that is not one of the
# node positions listed beside the file (spline samples excepted).
#   dxf_check.py FILE.dxf NODES.txt [FILE.dxf NODES.txt ...]
import sys
from collections import Counter

import ezdxf

for path, nodes_path in zip(sys.argv[1::2], sys.argv[2::2]):
    with open(nodes_path) as f:
        nodes = {tuple(round(float(v), 6) for v in line.split()) for line in f}
    doc = ezdxf.readfile(path)
    print("FILE", path)
    print("INSUNITS", doc.header.get("$INSUNITS", -1))
    print("AUDIT", len(doc.audit().errors))
    print("LAYERS", *sorted(layer.dxf.name for layer in doc.layers))
    counts = Counter()
    for e in doc.modelspace():
        kind, layer = e.dxftype(), e.dxf.layer
        counts[kind, layer] += 1
        if kind == "LINE":
            points = [e.dxf.start, e.dxf.end]
        elif kind == "LWPOLYLINE":
            points = list(e.get_points("xy"))
        elif kind == "ARC":
            points = [e.start_point, e.end_point]
        else:
            points = []
        for p in points if layer != "SPLINES" else []:
            if (round(p[0], 6), round(p[1], 6)) not in nodes:
                print("OFFNODE", kind, p[0], p[1])
    for (kind, layer), n in sorted(counts.items()):
        print("COUNT", kind, layer, n)
