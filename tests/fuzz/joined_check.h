// The fuzzers' check of the drawing formats' joined strokes (io/drawing.h).
#ifndef KTVEC_FUZZ_JOINED_CHECK_H
#define KTVEC_FUZZ_JOINED_CHECK_H

#include <vector>

#include "drawing.h"

// 0 when the strokes joined along the connections draw every polyline as
// often as the strokes drawn alone do (once), else the first polyline that
// they do not: a walk that ran round a loop of connections draws one twice,
// a walk that missed its start none.
inline int polyline_not_drawn_once(ktvcli::VectorView &view) {
    std::vector<int> drawn(static_cast<std::size_t>(view.polyline_slots()) + 1, 0);
    ktvcli::for_each_stroke(view, [&](const ktvcli::Stroke &s) { --drawn[static_cast<std::size_t>(s.id)]; });
    ktvcli::for_each_drawn_stroke(view, true, [&](const ktvcli::Stroke &s) {
        for (int id : s.joined.empty() ? std::vector<int>{s.id} : s.joined) ++drawn[static_cast<std::size_t>(id)];
    });
    for (std::size_t id = 1; id < drawn.size(); ++id)
        if (drawn[id] != 0) return static_cast<int>(id);
    return 0;
}

#endif
