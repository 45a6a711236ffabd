// Contour tracing: cut the set pixels of the working raster into segments,
// chains of points running from an end, branch or already traced point to
// another such point, or closing on themselves.
//
// Each walk looks its next step up in the direction table (straight on when
// possible), and finds the next point in its row: beside the current point
// in the same row, through the column index in a neighbouring row (by
// binary search in the row when the index could not be made).  A walk
// passes only through unregistered line points (class 2) and registers every
// point it touches, so it takes at most one step per point and always ends.
#include "ktvec.h"
#include "raster/tables.h"
#include "vectorizer/impl.h"
#include "vectorizer/memory.h"

namespace {

// Column index: for each row, for each block of kBlockColumns columns, the
// index in the point array of the row's first point at or right of the
// block's left edge, then the index just past the row's last point.  A
// row's points are contiguous and sorted by x, so a point of column x lies
// between the entries of x's block and the next: on a line drawing a few
// neighbouring records, where a binary search of the row touches a dozen
// records spread over it, most of them cache misses.  The index costs one
// int per 256 columns and row (4 MB on an A0 sheet at 400 dpi).
constexpr int kBlockShift = 8;
constexpr int kBlockColumns = 1 << kBlockShift;

// The index of v's rows while one lives: published to the walks through
// the bookkeeping block, released at the end.  Without memory, or rows that
// are not slices of the point array, there is none and the walks search
// their rows.
class ColumnIndex {
public:
    explicit ColumnIndex(CKTVector &v) : in_(CKTVectorImpl::of(v)) {
        const int rows = ktv::row_count(v);
        if (!in_ || rows < 1 || v.width < 1 || !v.point) return;
        const int blocks = (v.width - 1) / kBlockColumns + 1;
        const std::size_t stride = static_cast<std::size_t>(blocks) + 1;
        int *const index = ktv::alloc_array<int>(stride * static_cast<std::size_t>(rows));
        if (!index) return;
        for (int y = 0; y < rows; ++y) {
            const KTLINEINFO &row = v.lineinfo[y];
            const std::ptrdiff_t first = row.pointnum > 0 ? row.point - v.point : 0;
            if (row.pointnum < 0 || first < 0 || first > v.pointnum - row.pointnum) {
                ktv::mem_free(index);
                return;
            }
            const int begin = static_cast<int>(first), end = begin + row.pointnum;
            int *entry = index + stride * static_cast<std::size_t>(y);
            int i = begin;
            for (int b = 0; b < blocks; ++b) {
                while (i < end && v.point[i].x < b * kBlockColumns) ++i;
                entry[b] = i;
            }
            entry[blocks] = end;
        }
        in_->tracecolumns = index;
        in_->traceblocks = blocks;
    }
    ~ColumnIndex() {
        if (!in_ || !in_->tracecolumns) return;
        ktv::mem_free(const_cast<int *>(in_->tracecolumns));
        in_->tracecolumns = nullptr;
        in_->traceblocks = 0;
    }
    ColumnIndex(const ColumnIndex &) = delete;
    ColumnIndex &operator=(const ColumnIndex &) = delete;

private:
    CKTVectorImpl *in_;
};

// Branch snap: after a step in direction n, the one 4-neighbour of the new
// point to look at, first choice before second (pattern bits).
constexpr unsigned kSnapFirst[9] = {0, ktv::kBitN, ktv::kBitW, ktv::kBitW, ktv::kBitE,
                                    ktv::kBitN, ktv::kBitN, ktv::kBitW, ktv::kBitN};
constexpr unsigned kSnapSecond[9] = {0, ktv::kBitS, ktv::kBitS, ktv::kBitE, ktv::kBitS,
                                     ktv::kBitS, ktv::kBitE, ktv::kBitE, ktv::kBitW};

// The three-point segments that are only the corner of a staircase: the
// pixel with exactly two 4-neighbours at a right angle (W+S, N+W, N+E, E+S).
bool is_corner_pattern(unsigned p) { return p == 50 || p == 176 || p == 152 || p == 26; }

}  // namespace

_KTSEGMENT *CKTVector::mgetsegment() {
    if (segmentcapacity <= segmentnum) {
        // The table shows four more records at a time; without a
        // bookkeeping block it grows by exactly those.
        CKTVectorImpl *in = CKTVectorImpl::of(*this);
        int exact = 0;
        if (!ktv::step_capacity(segment, segmentcapacity, in ? in->segmentblock : exact, 4)) return nullptr;
    }
    _KTSEGMENT *s = &segment[segmentnum];
    ktv::release(s->pointlist);
    s->pointnum = 0;
    s->pointcapacity = 0;
    s->discard = 0;
    ++segmentnum;
    return s;
}

int CKTVector::mregistpoint(_KTSEGMENT *s, _KTPOINT *p) {
    if (s->pointcapacity <= s->pointnum) {
        const int grow = s->pointcapacity == 0 ? 4 : 16;
        _KTPOINT **list = ktv::move_to_larger(s->pointlist, static_cast<std::size_t>(s->pointcapacity),
                                              static_cast<std::size_t>(s->pointcapacity) + grow);
        if (!list) return KTVEC_NO_MEMORY;
        s->pointlist = list;
        s->pointcapacity += grow;
    }
    s->pointlist[s->pointnum++] = p;
    p->flag |= 2;
    return 0;
}

void CKTVector::mreversepoint(_KTSEGMENT *s) {
    for (int i = 0; i < s->pointnum / 2; ++i) {
        _KTPOINT *t = s->pointlist[i];
        s->pointlist[i] = s->pointlist[s->pointnum - 1 - i];
        s->pointlist[s->pointnum - 1 - i] = t;
    }
}

// One walk from `start`, arriving by `direction`, into segment `s`.
int CKTVector::mtrace(_KTSEGMENT *s, _KTPOINT *start, int direction) {
    tracex = start->x;
    tracey = start->y;
    if (mregistpoint(s, start) < 0) return KTVEC_NO_MEMORY;
    _KTPOINT *cur = start;
    // The point beside `from` in the same row is its neighbouring record
    // (a row's points are contiguous and sorted by x); other rows are
    // searched.  Both give what the row search gives.
    _KTPOINT *const first = point, *const end = point + pointnum;
    const CKTVectorImpl *in = CKTVectorImpl::of(*this);
    const int *const columns = in ? in->tracecolumns : nullptr;
    const int blocks = columns ? in->traceblocks : 0;
    const int rows = ktv::row_count(*this);
    auto other_row = [&](int x, int y) -> _KTPOINT * {
        if (!columns || y < 0 || y >= rows || x < 0 || (x >> kBlockShift) >= blocks) return mgetpoint(x, y);
        const int *entry = columns + (static_cast<std::size_t>(blocks) + 1) * static_cast<std::size_t>(y) +
                           (x >> kBlockShift);
        for (_KTPOINT *q = point + entry[0], *stop = point + entry[1]; q < stop; ++q)
            if (q->x >= x) return q->x == x ? q : nullptr;
        return nullptr;
    };
    auto at = [&](_KTPOINT *from, int x, int y) -> _KTPOINT * {
        if (y == from->y) {
            _KTPOINT *q = from + (x - from->x);
            return (q >= first && q < end && q->y == y && q->x == x) ? q : nullptr;
        }
        return other_row(x, y);
    };
    int d = direction;
    for (;;) {
        const int n = ktv::kDirection[(d - 1) * 512 + cur->pattern];
        if (n == 0) return KTVEC_REFUSED;
        tracex += ktv::kStepX[n];
        tracey += ktv::kStepY[n];
        _KTPOINT *p = ktv::kStepY[n] == 0 ? at(cur, tracex, tracey) : other_row(tracex, tracey);
        if (!p) return KTVEC_REFUSED;

        // Snap onto a branch pixel beside the step, so that walks meet at
        // the junction's own pixel rather than next to it.
        unsigned look = (p->pattern & kSnapFirst[n]) ? kSnapFirst[n]
                        : (p->pattern & kSnapSecond[n]) ? kSnapSecond[n] : 0;
        if (look) {
            const int nx = tracex + (look == ktv::kBitE ? 1 : look == ktv::kBitW ? -1 : 0);
            const int ny = tracey + (look == ktv::kBitS ? 1 : look == ktv::kBitN ? -1 : 0);
            _KTPOINT *q = at(p, nx, ny);
            if (q && (q->kind == 3 || q->kind == 4)) {
                tracex = nx;
                tracey = ny;
                p = q;
            }
        }

        const bool ends = (p->flag & 2) || p->kind != 2;
        if (mregistpoint(s, p) < 0) return KTVEC_NO_MEMORY;
        if (ends) return 0;
        d = n;
        cur = p;
    }
}

int CKTVector::mtrace() {
    for (int i = 0; i < segmentcapacity; ++i) {
        ktv::release(segment[i].pointlist);
        segment[i].pointnum = 0;
        segment[i].pointcapacity = 0;
        segment[i].discard = 0;
    }
    segmentnum = 0;

    const ColumnIndex columns(*this);
    for (int i = 0; i < pointnum; ++i) {
        _KTPOINT *start = &point[i];
        if (start->kind != 2 || (start->flag & 2)) continue;

        // Segment records are held by index: handing out a second record may
        // move the array.
        if (!mgetsegment()) return KTVEC_NO_MEMORY;
        const int ai = segmentnum - 1;
        int r = mtrace(&segment[ai], start, 1);
        if (r < 0) return r;
        if (segment[ai].pointlist[segment[ai].pointnum - 1] == start) continue;  // closed loop

        // Walk the other way from the start and join: B reversed, then A.
        const int first = ktv::kDirection[start->pattern];
        if (!mgetsegment()) return KTVEC_NO_MEMORY;
        const int bi = segmentnum - 1;
        r = mtrace(&segment[bi], start, ktv::dir_opposite(first));
        if (r < 0) return r;
        _KTSEGMENT &a = segment[ai];
        _KTSEGMENT &b = segment[bi];
        mreversepoint(&b);

        const int joined = b.pointnum + a.pointnum - 1;
        _KTPOINT **list = ktv::alloc_array<_KTPOINT *>(static_cast<std::size_t>(joined));
        if (!list) return KTVEC_NO_MEMORY;
        for (int k = 0; k < b.pointnum; ++k) list[k] = b.pointlist[k];
        for (int k = 1; k < a.pointnum; ++k) list[b.pointnum + k - 1] = a.pointlist[k];
        ktv::mem_free(b.pointlist);
        b.pointlist = list;
        b.pointnum = joined;
        b.pointcapacity = joined;
        a.discard = 1;

        if (b.pointnum == 3 && b.pointlist[0]->kind == 2 && b.pointlist[1]->kind == 2 &&
            b.pointlist[2]->kind == 2 && is_corner_pattern(b.pointlist[1]->pattern))
            b.discard = 1;
    }
    return 0;
}
