// CKTRefiner: the public face of the sub-pixel stage.
#include "ktvec_refine.h"

#include <new>

#include "refine/centerline.h"
#include "refine/lines.h"
#include "refine/outline.h"

struct CKTRefiner::State {
    ktv::refine::LineSet lines;
    // Refined node positions of the last centre-line run, by node index.
    ktv::refine::Array<_KTREFINEDPOINT> nodes;
    ktv::refine::Array<unsigned char> placed;

    void index_nodes() {
        nodes.clear();
        placed.clear();
        for (int i = 0; i < lines.count(); ++i) {
            const _KTREFINEDLINE &l = lines.line(i);
            for (int k = 0; k < l.pointnum; ++k) {
                const int n = l.node[k];
                if (n < 0) continue;
                const std::size_t u = static_cast<std::size_t>(n);
                if (u >= nodes.size() && (!nodes.resize(u + 1) || !placed.resize(u + 1, 0))) return;
                nodes[u] = l.point[k];
                placed[u] = 1;
            }
        }
    }
};

CKTRefiner::CKTRefiner() : state_(nullptr) {}

CKTRefiner::~CKTRefiner() { delete state_; }

namespace {

// The state is made on first use, so an unused refiner costs nothing and a
// refiner that could not get its memory answers -1000 like any other call.
template <class Run> int run_stage(CKTRefiner::State *&state, Run run) {
    if (!state) {
        state = new (std::nothrow) CKTRefiner::State;
        if (!state) return -1000;
    }
    state->nodes.clear();
    state->placed.clear();
    const int r = run(state->lines);
    return r;
}

}  // namespace

int CKTRefiner::mrefinecenterline(CKTVector *v) {
    const int r = run_stage(state_, [v](ktv::refine::LineSet &lines) { return ktv::refine::refine_centerlines(*v, lines); });
    if (r == 0) state_->index_nodes();
    return r;
}

int CKTRefiner::mrefineoutline(CKTVector *v) {
    return run_stage(state_, [v](ktv::refine::LineSet &lines) { return ktv::refine::refine_outlines(*v, lines); });
}

int CKTRefiner::mgetlinenum() const { return state_ ? state_->lines.count() : 0; }

const _KTREFINEDLINE *CKTRefiner::mgetline(int index) const {
    if (!state_ || index < 0 || index >= state_->lines.count()) return nullptr;
    return &state_->lines.line(index);
}

int CKTRefiner::mgetnodeposition(int index, double *x, double *y) const {
    if (!state_ || index < 0 || static_cast<std::size_t>(index) >= state_->placed.size() ||
        !state_->placed[static_cast<std::size_t>(index)])
        return 0;
    *x = state_->nodes[static_cast<std::size_t>(index)].x;
    *y = state_->nodes[static_cast<std::size_t>(index)].y;
    return 1;
}

void CKTRefiner::mclear() {
    if (state_) {
        state_->lines.clear();
        state_->nodes.clear();
        state_->placed.clear();
    }
}
