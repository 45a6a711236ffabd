// Editing sequences after a driver: the rest of the input is a script of
// public editing calls whose arguments are drawn from the live graph (and
// at times outside the picture where positions are clamped).  The
// structural graph rules are checked after every call; undo snapshots are
// taken and restored along the way where undo exists.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "drive.h"

namespace {

class Script {
public:
    Script(CKTVector &v, FuzzInput &in) : v_(v), in_(in) {}

    // A live node (or -1): tries a few input-drawn indices.
    int live_node(int links = -1) {
        for (int tries = 0; tries < 8 && v_.nodenum > 0; ++tries) {
            const int i = in_.below(v_.nodenum);
            if (!v_.node[i].deleted && (links < 0 || v_.node[i].linknum == links)) return i;
        }
        return -1;
    }
    // Any node record, deleted ones included (for the queries), or -1.
    int any_node() { return v_.nodenum > 0 ? in_.below(v_.nodenum) : -1; }

    // A live polyline id with two nodes or more (0 when none), either sign
    // when `signed_id`.
    int live_polyline(bool signed_id) {
        for (int tries = 0; tries < 8 && v_.polyline && v_.polylinenum > 0; ++tries) {
            const int id = 1 + in_.below(v_.polylinenum);
            if (!v_.polyline[id - 1].deleted && v_.polyline[id - 1].nodenum >= 2)
                return signed_id && (in_.byte() & 1) ? -id : id;
        }
        return 0;
    }

    // A coordinate: mostly near the picture, at times far outside it.
    int coord(int extent) {
        const std::uint8_t k = in_.byte();
        if (k < 230) return in_.below(extent + 8) - 4;
        return in_.int_arg();
    }

    // Whether every polyline through node n ends there: removing it, or a
    // link at it, cuts no polyline in two (a host splits first).
    bool only_ends(int n) {
        for (int k = 0; k < v_.node[n].linknum; ++k) {
            const int id = v_.node[n].link[k].id;
            const _KTPOLYLINE &p = v_.polyline[(id < 0 ? -id : id) - 1];
            if (p.nodenum < 1 || (p.nodeindex[0] != n && p.nodeindex[p.nodenum - 1] != n)) return false;
        }
        return true;
    }

    _KTNODE *at(int i) { return &v_.node[i]; }

    static bool share_polyline(const _KTNODE &a, const _KTNODE &b) {
        for (int i = 0; i < a.linknum; ++i)
            for (int k = 0; k < b.linknum; ++k)
                if (std::abs(a.link[i].id) == std::abs(b.link[k].id)) return true;
        return false;
    }

    void step();

    int last = -1;                   // the step's operation, for reports

private:
    CKTVector &v_;
    FuzzInput &in_;
#ifdef KTVEC_HAVE_mundo
public:
    CKTVector snapshot;
    bool have_snapshot = false;
#endif
};

void Script::step() {
    const int op = in_.byte() % 24;
    last = op;
    const bool table = v_.polyline != nullptr;
    switch (op) {
    case 0:
        v_.mselectnode(coord(v_.width), coord(v_.height), coord(v_.width), coord(v_.height));
        v_.mgetselectnodenum();
        break;
    case 1: {
        _KTNODE *a = nullptr, *b = nullptr;
        if (in_.byte() & 1) v_.mselectnode1(coord(v_.width), coord(v_.height), a);
        else v_.mselectnode2(coord(v_.width), coord(v_.height), coord(v_.width), coord(v_.height), a, b);
        if (in_.byte() & 1) v_.mclearselect();
        break;
    }
    case 2: {
        const int a = live_node(), b = live_node();
        if (a >= 0 && b >= 0) v_.mselectnodes(at(a), at(b));
        if (a >= 0) v_.mselectpolyline(at(a));
        break;
    }
    case 3: {
        const int x = coord(v_.width), y = coord(v_.height);
        if (in_.byte() & 1) v_.msearchnodefast(x, y, in_.int_arg());
        else v_.msearchNN(x, y, in_.double_arg());
        v_.mgetfindnodenum();
        if (in_.byte() & 1) v_.mclearfind();
        break;
    }
    case 4: {
        const int n = live_node();
        if (n >= 0 && table && (v_.mismiddlenode(at(n)) || only_ends(n))) v_.mdeletenode(at(n));
        break;
    }
    case 5: {
        const int n = live_node();
        if (n >= 0) v_.mdeletepolyline(at(n));
        break;
    }
    case 6: {
        const int id = live_polyline(true);
        if (id) {
            const _KTPOLYLINE &p = v_.polyline[(id < 0 ? -id : id) - 1];
            if (p.nodenum >= 3) v_.mseparatepolyline(id, at(p.nodeindex[1 + in_.below(p.nodenum - 2)]));
        }
        break;
    }
    case 7: {
        const int j = live_node();
        if (j >= 0 && v_.node[j].linknum >= 2) {
            const _KTNODE &n = v_.node[j];
            const int a = n.link[in_.below(n.linknum)].node, b = n.link[in_.below(n.linknum)].node;
            v_.mconnectpolyline(at(j), at(a), at(b));
        }
        break;
    }
    case 8: {
        const int j = live_node();
        if (j >= 0) {
            const int x = v_.node[j].x, y = v_.node[j].y;
            v_.mconnectpolyline(x - 6 + in_.below(13), y - 6 + in_.below(13), x - 6 + in_.below(13),
                                y - 6 + in_.below(13));
        }
        break;
    }
    case 9: {
        const int id = live_polyline(false);
        if (id) {
            _KTPOLYLINE &p = v_.polyline[id - 1];
            const bool start = in_.byte() & 1;
            const int count = start ? p.prevnum : p.nextnum;
            if (count) {
                const int e = (start ? p.prev : p.next)[in_.below(count)];
                v_.mdisconnectpolyline(id, at(start ? p.nodeindex[0] : p.nodeindex[p.nodenum - 1]),
                                       e < 0 ? -e : e);
            }
        }
        break;
    }
    case 10: {
        const int id = live_polyline(true);
        const double lo = in_.double_arg(), hi = in_.double_arg();
        if (in_.byte() & 1) v_.marcall(lo, hi);
        else if (id) v_.marc(id, lo, hi);
        break;
    }
    case 11: {
        const double r = in_.double_arg();
        const int n = live_node();
        if (in_.byte() & 1) v_.mfitcircleall(r);
        else if (n >= 0) v_.mfitcircle(r, at(n));
        break;
    }
    case 12: {
        // A spline's sample count is (knots - 1) * division: a division in
        // the thousands over a long polyline asks for gigabytes, which the
        // sanitizer's allocator refuses by aborting, so keep it modest.
        const int id = live_polyline(true);
        const int division = in_.byte() < 240 ? in_.byte() % 40 : -in_.byte();
        if (id && (in_.byte() & 1)) v_.mspline(id, division);
        else if (id) v_.msplineold(id, division);
        break;
    }
    case 13: {
        // Hosts skip middle nodes; a node between two polylines joins their
        // neighbours with a link pair whose halves keep different ids.
        const int n = live_node(2);
        if (n >= 0 && v_.mismiddlenode(at(n))) v_.mskipnode(at(n));
        break;
    }
    case 14: {
        const int a = live_node();
        if (a >= 0) {
            // Another live node: the one the input names, or else whatever
            // lies near a (possibly a itself, which is then left alone).
            const int other = live_node();
            _KTNODE *b = other >= 0 ? at(other) : v_.msearchNN(v_.node[a].x, v_.node[a].y, 3);
            // The plain merge rebuilds no polyline: two nodes of one
            // polyline are merged with repair inside the clean-up passes,
            // a host merges nodes of different polylines.
            if (b && b != at(a) && !share_polyline(*at(a), *b)) {
                if (in_.byte() & 1) v_.mergenode(at(a), b);
                else v_.massimilatenode(at(a), b);
            }
        }
        break;
    }
    case 15: {
        const int a = live_node();
        if (a >= 0 && table && v_.node[a].linknum > 0) {
            const int b = v_.node[a].link[in_.below(v_.node[a].linknum)].node;
            if (only_ends(a) || only_ends(b)) v_.munlinknode(at(a), at(b));
        }
        break;
    }
    case 16:
        if (v_.width > 0 && v_.height > 0 && v_.lineinfo)
            v_.makenewpolyline(coord(v_.width), coord(v_.height), coord(v_.width), coord(v_.height));
        break;
    case 17: {
        const int id = live_polyline(true);
        if (id) v_.mupdatepolyline(id);
        break;
    }
    case 18: {
        const int id = live_polyline(false);
        if (id) {
            const int k = in_.byte() % 3;
            if (k == 0) v_.msetarc(id);
            else if (k == 1) v_.msetspline(id);
            else v_.msetline(id);
            v_.msetmodify(id, static_cast<unsigned char>(in_.byte() & 1));
            v_.mismodify(-id);
        }
        if (in_.byte() & 1) v_.msetmodify(static_cast<unsigned char>(0));
        break;
    }
    case 19: {
        // Joint queries, deleted nodes included.
        const int n = any_node();
        if (n < 0 || !table) break;
        v_.mismiddlenode(at(n));
        v_.mcountend(at(n));
        int connections = 0;
        for (int i = 0; i < v_.polylinenum; ++i) connections += v_.polyline[i].prevnum + v_.polyline[i].nextnum;
        std::vector<int> info(4 * static_cast<size_t>(connections) + 4);
        const int got = v_.mgetjointinfo(at(n), info.data());
        if (got < 0 || got > 4 * connections || got % 4) std::abort();
        if (in_.byte() & 1) v_.markjointpolyline(at(n));
        else if (const int id = live_polyline(true)) v_.markjointpolyline(id);
        if (in_.byte() & 1) v_.munmarkjointpolyline();
        break;
    }
    case 20: {
#ifdef KTVEC_HAVE_minsertnode
        v_.minsertnode(in_.double_arg(), in_.double_arg(), in_.double_arg(), in_.double_arg());
#endif
#ifdef KTVEC_HAVE_msharpencorner
        const int a = live_node();
        if (a >= 0 && v_.node[a].linknum > 0) {
            const int b = live_node();
            v_.msharpencorner(at(a), b >= 0 ? at(b) : at(a));
        }
#endif
#ifdef KTVEC_HAVE_maddnode1
        v_.maddnode1(in_.int_arg(), in_.int_arg());
#endif
        break;
    }
    case 21: {
        const int n = live_node();
        if (n < 0) break;
        const int x = coord(v_.width), y = coord(v_.height);
        (void)x, (void)y;
#ifdef KTVEC_HAVE_movenode
        if (in_.byte() & 1) {
            v_.movenode(at(n), x, y);
            break;
        }
#endif
#ifdef KTVEC_HAVE_movenodeattach
        v_.movenodeattach(at(n), x, y);
#endif
        break;
    }
    case 22: {
        const int id = live_polyline(true);
        const double a = in_.double_arg(), b = in_.cosine_arg();
        (void)id, (void)a, (void)b;
#ifdef KTVEC_HAVE_mnearpoint
        if (in_.byte() & 1) v_.mnearpointall(a, b);
        else if (id) v_.mnearpoint(id, a, b);
#endif
#ifdef KTVEC_HAVE_msamecurvature
        if (in_.byte() & 1) v_.msamecurvatureall(a);
        else if (id) v_.msamecurvature(id, a);
#endif
#ifdef KTVEC_HAVE_maddnotch
        const int n = live_node(2);
        if (n >= 0 && v_.document) v_.maddnotch(at(n), in_.double_arg(), in_.double_arg());
#endif
#ifdef KTVEC_HAVE_mreflectmodify
        v_.mreflectmodify();
#endif
        break;
    }
    default: {
#ifdef KTVEC_HAVE_mundo
        if (!have_snapshot || (in_.byte() & 1)) {
            if (snapshot.mundo(&v_) == 0) have_snapshot = true;
        } else {
            v_.mundo(&snapshot);
        }
        v_.mgetundomemory();
#endif
        break;
    }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzInput in(data, size);
    FuzzBitmap b;
    CKTVector v;
    Driver which;
    if (drive_checked(v, b, in, which) != 0) return 0;

    CheckOptions o = structural_checks();
    o.links_to_deleted = which == Driver::Outline;
    // Attaching a moved end onto a node of its own polyline that already
    // closes a loop can leave a live record of a single node (the merge
    // with repair purges only when the merged-away node had two links).
    o.polylines_complete = false;
    // Edits run on graphs in normal form (every link on the polyline its id
    // names, records reaching their chain ends).  An edit that leaves it
    // (a merge running a chain into itself, say) ends the sequence: later
    // edits would follow chains that no record describes, which no host
    // does either.  An edit that breaks the structural rules is a finding.
    CheckOptions normal;
    normal.links_to_deleted = o.links_to_deleted;
    if (!check_graph(v, normal).empty()) return 0;
    Script script(v, in);
    for (int k = 0; k < 200 && !in.empty(); ++k) {
        script.step();
        static const char *const names[] = {
            "mselectnode", "mselectnode1/2", "mselectnodes/mselectpolyline", "msearchnodefast/NN",
            "mdeletenode", "mdeletepolyline", "mseparatepolyline", "mconnectpolyline(joint)",
            "mconnectpolyline(stroke)", "mdisconnectpolyline", "marc/marcall", "mfitcircle/all",
            "mspline/msplineold", "mskipnode", "mergenode/massimilatenode", "munlinknode",
            "makenewpolyline", "mupdatepolyline", "msetarc/spline/line/modify", "joint queries",
            "minsertnode/msharpencorner/maddnode1", "movenode/movenodeattach",
            "mnearpoint/msamecurvature/maddnotch/mreflectmodify", "mundo"};
        const char *name = names[script.last < 23 ? script.last : 23];
        if (std::getenv("KTVEC_FUZZ_VERBOSE")) std::fprintf(stderr, "edit: %s\n", name);
        check_graph_or_abort(v, o, name);
        if (!check_graph(v, normal).empty()) break;
    }
    read_everything(v);
    return 0;
}
