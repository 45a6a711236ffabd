// CKTRefiner: the public face of the sub-pixel stage.
#include "ktvec_refine.h"

#include <new>

#include "refine/centerline.h"
#include "vectorizer/memory.h"
#include "refine/lines.h"
#include "refine/outline.h"

struct CKTRefiner::State {
    ktv::refine::LineSet lines;
    ktv::refine::NodePositions nodes;  // of the last centre-line run
};

CKTRefiner::CKTRefiner() : state_(nullptr), threads_(0), pens_(1) {}

CKTRefiner::~CKTRefiner() {
    if (!state_) return;
    state_->~State();
    ktv::mem_free(state_);
}

namespace {

// The state is made on first use, from the allocation seam like every
// block of the library, so an unused refiner costs nothing and a refiner
// that could not get its memory answers -1000 like any other call.
template <class Run> int run_stage(CKTRefiner::State *&state, Run run) {
    if (!state) {
        void *block = ktv::mem_alloc(sizeof(CKTRefiner::State));
        if (!block) return KTVEC_NO_MEMORY;
        state = new (block) CKTRefiner::State;
    }
    state->nodes.clear();
    return run(state->lines, state->nodes);
}

}  // namespace

int CKTRefiner::mrefinecenterline(CKTVector *v) {
    const int threads = threads_;
    return run_stage(state_, [v, threads](ktv::refine::LineSet &lines, ktv::refine::NodePositions &nodes) {
        return ktv::refine::refine_centerlines(*v, lines, nodes, threads);
    });
}

int CKTRefiner::mrefineoutline(CKTVector *v) {
    const int threads = threads_;
    const bool pens = pens_ != 0;
    return run_stage(state_, [v, threads, pens](ktv::refine::LineSet &lines, ktv::refine::NodePositions &) {
        return ktv::refine::refine_outlines(*v, lines, threads, pens);
    });
}

void CKTRefiner::msetthreadnum(int n) { threads_ = n < 0 ? 0 : n; }

int CKTRefiner::mgetthreadnum() const { return threads_; }

void CKTRefiner::msetpenwidths(int on) { pens_ = on != 0; }

int CKTRefiner::mgetpenwidths() const { return pens_; }

int CKTRefiner::mgetlinenum() const { return state_ ? state_->lines.count() : 0; }

const _KTREFINEDLINE *CKTRefiner::mgetline(int index) const {
    if (!state_ || index < 0 || index >= state_->lines.count()) return nullptr;
    return &state_->lines.line(index);
}

int CKTRefiner::mgetnodeposition(int index, double *x, double *y) const {
    const std::size_t u = static_cast<std::size_t>(index);
    if (!state_ || index < 0 || u >= state_->nodes.set.size() || !state_->nodes.set[u]) return 0;
    *x = state_->nodes.at[u].x;
    *y = state_->nodes.at[u].y;
    return 1;
}

void CKTRefiner::mclear() {
    if (state_) {
        state_->lines.clear();
        state_->nodes.clear();
    }
}
