# %% [markdown]
# # Centre lines over their scan
#
# Vectorizes a scan with the Python module and draws the result over the
# page that was vectorized, whole and in a window at full size: the lines
# in red, junctions and ends as dots.  Cells run one after another in a
# notebook or as a script from the source tree:
#
#     PYTHONPATH=build/python /usr/bin/python3 examples/plot_result.py [SCAN] [OUT.png]
#
# (SCAN defaults to examples/sample.png, OUT to examples/out/plot_result.png.)

# %%
import os
import sys

import matplotlib

if "ipykernel" not in sys.modules:
    matplotlib.use("Agg")  # a script writes the figure to a file
import matplotlib.pyplot as plt
import numpy as np
from matplotlib.collections import LineCollection

import ktvec

here = os.path.dirname(os.path.abspath(__file__))
scan = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "sample.png")
out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "out", "plot_result.png")

# %% The graph: polylines in pixel coordinates, arcs fitted where strokes bend,
# and the refined geometry the files draw: lines through the middle of the
# strokes in fractional pixels, nodes where their branches meet.
g = ktvec.centerline(scan, arcs=(1, 1000))
print(g)
lines = [line.points for line in g.refined_lines] if g.refined else list(g)
at = np.where(np.isnan(g.refined_nodes), g.nodes, g.refined_nodes) if g.refined else g.nodes

# %% Nodes where a line ends (one polyline end) or meets others (three or more).
ends = np.concatenate([g.indices[g.offsets[:-1]], g.indices[g.offsets[1:] - 1]])
uses = np.bincount(ends, minlength=len(g.nodes))
free_ends, junctions = at[uses == 1], at[uses >= 3]

# %% Draw: the image as it was vectorized; the node frame puts the centre of
# pixel (i, j) at (i, j), so everything is drawn half a pixel on.
fig, axes = plt.subplots(1, 2, figsize=(14, 6), gridspec_kw={"width_ratios": [3, 2]})
# The window: the cell of an 8 x 8 grid over the page that holds the most nodes.
cells, xs, ys = np.histogram2d(*g.nodes[~g.deleted].T, bins=8, range=((0, g.width), (0, g.height)))
i, j = np.unravel_index(cells.argmax(), cells.shape)
window = (xs[i] - g.width / 16, xs[i + 1] + g.width / 16, ys[j] - g.height / 16, ys[j + 1] + g.height / 16)
for ax in axes:
    ax.imshow(g.image, cmap="Greys", vmax=3, extent=(0, g.width, g.height, 0), interpolation="nearest")
    ax.add_collection(LineCollection([line + 0.5 for line in lines], colors="red", linewidths=0.8))
    ax.plot(*(junctions + 0.5).T, "o", ms=2.5, color="navy", label="junctions")
    ax.plot(*(free_ends + 0.5).T, "o", ms=2.5, color="darkorange", label="free ends")
    ax.set_aspect("equal")
axes[0].set(xlim=(0, g.width), ylim=(g.height, 0), title="%s: %d polylines" % (os.path.basename(scan), len(g)))
axes[0].add_patch(plt.Rectangle(window[::2], window[1] - window[0], window[3] - window[2], fill=False, lw=1))
axes[1].set(xlim=window[:2], ylim=window[:1:-1], title="the framed window")
axes[1].legend(loc="lower right")
fig.tight_layout()

# %%
os.makedirs(os.path.dirname(out) or ".", exist_ok=True)
fig.savefig(out, dpi=120)
print("wrote", out)
