// Segment pre-processing: two passes that remove short side branches (spurs)
// before the vector graph is built.  They change only marks and classes.
#include "ktvec.h"
#include "raster/tables.h"

namespace {

// An end pixel whose only neighbour is one pixel: where that neighbour lies
// and which bit of the neighbour's code points back.
struct SpurStep {
    unsigned pattern;
    int dx, dy;
    unsigned back;
};
constexpr SpurStep kSpurSteps[8] = {
    {17, 1, 1, ktv::kBitNW},   {18, 0, 1, ktv::kBitN},   {20, -1, 1, ktv::kBitNE},
    {24, 1, 0, ktv::kBitW},    {48, -1, 0, ktv::kBitE},  {80, 1, -1, ktv::kBitSW},
    {144, 0, -1, ktv::kBitS},  {272, -1, -1, ktv::kBitSE},
};

}  // namespace

// Point pass: a one-pixel spur on a branch pixel is detached by hiding it
// from the branch pixel's code, which also lowers the branch degree by one.
// Tracing then passes through the branch pixel as if the spur were not there.
void CKTVector::mpreprocess1() {
    for (int i = 0; i < pointnum; ++i) {
        _KTPOINT &p = point[i];
        if (p.kind != 1) continue;
        for (const SpurStep &s : kSpurSteps) {
            if (p.pattern != s.pattern) continue;
            _KTPOINT *q = mgetpoint(p.x + s.dx, p.y + s.dy);
            if (q && q->kind >= 3) {
                q->pattern = static_cast<unsigned short>(q->pattern & ~s.back);
                q->kind = static_cast<unsigned char>(q->kind - 1);
                p.pattern = 0;
            }
            break;
        }
    }
}

// Segment pass: at each branch pixel cut the shortest spur of at most
// `maxlength` points (the first met among equals).  The first cut lowers the
// pixel's class, so a class-3 pixel no longer counts as a branch afterwards.
void CKTVector::mpreprocess2(int maxlength) {
    for (int i = 0; i < segmentnum; ++i) {
        _KTSEGMENT &s = segment[i];
        if (s.discard == 1 || s.pointnum < 1) continue;
        _KTPOINT *f = s.pointlist[0];
        _KTPOINT *l = s.pointlist[s.pointnum - 1];
        if (f == l || s.pointnum > maxlength) continue;
        _KTPOINT *branch;
        if (f->kind >= 3 && l->kind == 1) branch = f;
        else if (l->kind >= 3 && f->kind == 1) branch = l;
        else continue;
        if (branch->segment == -1) {
            s.discard = 1;
            branch->segment = i;
            branch->kind = static_cast<unsigned char>(branch->kind - 1);
        } else {
            _KTSEGMENT &t = segment[branch->segment];
            if (t.pointnum > s.pointnum) {
                t.discard = 0;
                s.discard = 1;
                branch->segment = i;
            }
        }
    }
}
