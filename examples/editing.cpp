// A host's road through the library in one file: a drawing made in memory,
// its centre lines, reading nodes and polylines, and an edit undone through
// a snapshot.  Built with the project (it links the shared library only
// through include/ktvec.h), so it keeps compiling as the library changes.
//
//   build/ktvec_example_editing
#include <ktvec.h>

#include <cstdio>
#include <vector>

namespace {

// A 1-bit drawing as the library wants it: 1 = black, most significant bit
// first, rows packed to whole bytes.
struct Drawing {
    int width, height, bytesperline;
    std::vector<unsigned char> bits;

    Drawing(int w, int h) : width(w), height(h), bytesperline((w + 7) / 8), bits(bytesperline * h, 0) {}
    void fill(int x0, int y0, int x1, int y1) {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) bits[y * bytesperline + x / 8] |= 0x80 >> (x % 8);
    }
};

// Every live polyline with its nodes.  Deleted records keep their ids and
// slots, so both loops skip them; ids run from 1 to mgetpolylinenum().
void print_polylines(CKTVector &v) {
    for (int id = 1; id <= v.mgetpolylinenum(); ++id) {
        const _KTPOLYLINE *p = v.mgetpolyline(id);
        if (p->deleted) continue;
        std::printf("polyline %d:", id);
        for (int i = 0; i < p->nodenum; ++i) {
            const _KTNODE *n = v.mgetnode(p->nodeindex[i]);
            std::printf(" (%d,%d)", n->x, n->y);
        }
        std::printf("%s\n", p->nodenum > 1 && p->nodeindex[0] == p->nodeindex[p->nodenum - 1] ? " closed" : "");
    }
}

}  // namespace

int main() {
    // A frame with a cross bar, strokes 3 pixels wide.
    Drawing d(120, 80);
    d.fill(10, 10, 109, 12);
    d.fill(10, 67, 109, 69);
    d.fill(10, 10, 12, 69);
    d.fill(107, 10, 109, 69);
    d.fill(10, 39, 109, 41);

    // 1. One vectorizer per image; the bitmap stays the host's and must
    //    live while the driver runs.
    CKTVector v;
    v.msetdocument(d.bits.data(), d.width, d.height);
    // flags 31: merge ends, bridge gaps, connections, spur cut, merge
    // junctions; maxlength 4, a 3, b 8, c 0.9, d 4, e 1.5 (the ktvec
    // program's defaults).
    const int r = v.mabstractcenterline(31, 4, 3.0, 8.0, 0.9, 4.0, 1.5);
    if (r < 0) {
        std::fprintf(stderr, "vectorizing failed: %d%s\n", r, r == -1000 ? " (out of memory)" : "");
        return 1;
    }
    std::printf("%d node records, %d polyline records\n", v.mgetnodenum(), v.mgetpolylinenum());
    print_polylines(v);

    // 2. An undoable edit: copy the working vectorizer into a snapshot,
    //    edit, and copy the snapshot back to undo.
    CKTVector snapshot;
    std::printf("a snapshot takes %d bytes\n", v.mgetundomemory());
    if (snapshot.mundo(&v) != 0) {  // -1000: no memory; nothing to undo to
        std::fprintf(stderr, "no memory for the snapshot\n");
        return 1;
    }
    _KTNODE *corner = v.msearchNN(11, 11, 5.0);  // the nearest live node within ~7 px
    if (!corner) {
        std::fprintf(stderr, "no node near the corner\n");
        return 1;
    }
    const int before_x = corner->x, before_y = corner->y;
    const int index = static_cast<int>(corner - v.mgetnode());  // node pointers move when nodes are added
    if (v.movenode(corner, before_x + 6, before_y + 4) != 0) return 1;
    v.mreflectmodify();  // refits the changed polylines that asked for arcs or splines
    std::printf("moved node %d from (%d,%d) to (%d,%d)\n", index, before_x, before_y, v.mgetnode(index)->x,
                v.mgetnode(index)->y);

    // 3. Undo: the working vectorizer gets the snapshot's vector layer back.
    if (v.mundo(&snapshot) != 0) return 1;
    std::printf("after undo node %d is at (%d,%d), canundo %d\n", index, v.mgetnode(index)->x,
                v.mgetnode(index)->y, v.mgetcanundo());
    return v.mgetnode(index)->x == before_x && v.mgetnode(index)->y == before_y ? 0 : 1;
}  // 4. The destructors release everything both vectorizers own.
