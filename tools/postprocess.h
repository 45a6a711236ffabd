// Post-processing after a vectorizing driver: simplification, circles,
// arcs, merging of arcs on one circle, splines.  Each step is switched on
// by its option; the order is fixed (see run_postprocessing) because each
// step works on what the one before left.
#ifndef KTVEC_TOOLS_POSTPROCESS_H
#define KTVEC_TOOLS_POSTPROCESS_H

#include <string>
#include <utility>
#include <vector>

#include "ktvec.h"
#include "options.h"

namespace ktvcli {

// The post-processing requested by the options, numbers checked.
struct PostProcessing {
    bool simplify = false;
    double simplify_dist = 0, simplify_degrees = 0;  // px, degrees as given
    bool circles = false;
    double circle_maxradius = 0;
    bool arcs = false;
    double arc_minradius = 0, arc_maxradius = 0;
    bool same_curvature = false;
    double curvature_tolerance = 0;
    bool splines = false;
    int spline_division = 0;
};

// The options of every vectorizing command.
OptionTable postprocess_options();

// Reads the post-processing settings; throws CliError(usage) for a
// malformed pair such as "--arcs 5" or "--simplify 2,x".
PostProcessing postprocessing(const Settings &s);

// Runs the requested steps on a vectorized graph, in this order:
//   simplify (repeated until the live node count stops falling, at most
//   kSimplifyRounds times), circles, arcs, same curvature (repeated the
//   same way), splines.
void run_postprocessing(CKTVector &v, const PostProcessing &p);
constexpr int kSimplifyRounds = 32;

// The steps that ran, by option name, for the JSON's parameters; a reader
// of the file gets back the radius limits and the spline division from them.
void record_postprocessing(const PostProcessing &p, std::vector<std::pair<std::string, double>> &parameters);

// Live (not deleted) nodes of the vectorizer.
int live_nodes(CKTVector &v);

}  // namespace ktvcli

#endif
