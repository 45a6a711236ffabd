// The post-processing steps and their options.
#include "postprocess.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <tuple>

#include "error.h"
#include "vectorizer/geometry.h"

namespace ktvcli {

namespace {

const OptionDef kPostOptions[] = {
    {"--simplify", nullptr, "DIST,ANGLE", &Settings::simplify, 0, 0,
     "drop middle nodes where the path turns by less than ANGLE degrees next to a link "
     "shorter than DIST pixels; the two neighbours are joined by one link. Each pass drops "
     "every other node of a run, so passes repeat until the node count stops falling. "
     "Runs first",
     "off", nullptr, "mnearpointall(dist, angle)"},
    {"--circles", nullptr, "MAXRADIUS", &Settings::circles, 0, 1e6,
     "move the nodes of every closed polyline onto the circle through three of them, at "
     "equal spacing, when its radius is at most MAXRADIUS pixels; drawn as an SVG circle. "
     "Runs after --simplify",
     "off", nullptr, "mfitcircleall(maxradius)"},
    {"--arcs", nullptr, "MIN,MAX", &Settings::arcs, 0, 0,
     "draw every link whose traced pixels bulge like a circular arc with a radius of MIN "
     "to MAX pixels as that arc (centre, radius and side in the JSON). Runs after "
     "--circles",
     "off", nullptr, "marcall(minradius, maxradius)"},
    {"--same-curvature", nullptr, "TOL", &Settings::same_curvature, 0, 1e6,
     "after --arcs, drop a middle node between two arcs whose centres and radii agree "
     "within TOL times the radius (0.1: ten per cent); repeated like --simplify",
     "off", nullptr, "msamecurvatureall(tolerance)"},
    {"--splines", nullptr, "DIVISION", &Settings::splines, 1, 1000,
     "fit a smooth cubic curve through the nodes of every polyline (closed ones close "
     "smoothly) and sample it DIVISION times per knot interval; the SVG draws the samples "
     "and the JSON lists them. Runs last",
     "off", nullptr, "mspline(id, division) per polyline"},
};

[[noreturn]] void bad(const std::string &message) { throw CliError(message, true); }

double parse_part(const std::string &option, const std::string &text, double min, double max) {
    errno = 0;
    char *end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(v))
        bad(option + ": '" + text + "' is not a number");
    if (v < min || v > max) {
        char range[96];
        std::snprintf(range, sizeof range, " is out of range (%g to %g)", min, max);
        bad(option + ": '" + text + "'" + range);
    }
    return v;
}

// "A,B" into two numbers within their ranges.
std::pair<double, double> parse_pair(const std::string &option, const std::string &text, double max_a,
                                     double max_b) {
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos || text.find(',', comma + 1) != std::string::npos)
        bad(option + ": '" + text + "' is not two numbers separated by a comma");
    return {parse_part(option, text.substr(0, comma), 0, max_a),
            parse_part(option, text.substr(comma + 1), 0, max_b)};
}

// Repeats `pass` while it lowers the number of live nodes.  A pass that
// removes nothing changes nothing, so stopping then loses no work; the
// bound keeps a pathological graph from running long.
template <class Pass> void repeat_while_shrinking(CKTVector &v, Pass pass) {
    int before = live_nodes(v);
    for (int round = 0; round < kSimplifyRounds; ++round) {
        pass();
        const int after = live_nodes(v);
        if (after >= before) break;
        before = after;
    }
}

}  // namespace

OptionTable postprocess_options() {
    return {"Post-processing (in this order)", std::begin(kPostOptions), std::end(kPostOptions)};
}

PostProcessing postprocessing(const Settings &s) {
    PostProcessing p;
    if (!s.simplify.empty()) {
        p.simplify = true;
        std::tie(p.simplify_dist, p.simplify_degrees) = parse_pair("--simplify", s.simplify, 1e6, 180);
    }
    if (s.circles >= 0) {
        p.circles = true;
        p.circle_maxradius = s.circles;
    }
    if (!s.arcs.empty()) {
        p.arcs = true;
        std::tie(p.arc_minradius, p.arc_maxradius) = parse_pair("--arcs", s.arcs, 1e9, 1e9);
        if (p.arc_minradius > p.arc_maxradius) bad("--arcs: MIN is above MAX in '" + s.arcs + "'");
    }
    if (s.same_curvature >= 0) {
        if (!p.arcs) bad("--same-curvature needs --arcs (it compares fitted arcs)");
        p.same_curvature = true;
        p.curvature_tolerance = s.same_curvature;
    }
    if (s.splines >= 0) {
        p.splines = true;
        p.spline_division = s.splines;
    }
    return p;
}

int live_nodes(CKTVector &v) {
    int live = 0;
    for (int i = 0, n = v.mgetnodenum(); i < n; ++i) live += v.mgetnode(i)->deleted ? 0 : 1;
    return live;
}

void run_postprocessing(CKTVector &v, const PostProcessing &p) {
    if (p.simplify) {
        const double radians = p.simplify_degrees * ktv::kPi / 180.0;
        repeat_while_shrinking(v, [&] { v.mnearpointall(p.simplify_dist, radians); });
    }
    if (p.circles) v.mfitcircleall(p.circle_maxradius);
    if (p.arcs) v.marcall(p.arc_minradius, p.arc_maxradius);
    if (p.same_curvature)
        repeat_while_shrinking(v, [&] { v.msamecurvatureall(p.curvature_tolerance); });
    if (p.splines) {
        // A fit refuses a polyline already marked in this pass; the marks
        // left by the steps before are cleared first.
        v.msetmodify(static_cast<unsigned char>(0));
        for (int id = 1, n = v.mgetpolylinenum(); id <= n; ++id) {
            const _KTPOLYLINE &pl = *v.mgetpolyline(id);
            if (pl.deleted || !pl.nodeindex) continue;
            v.msetspline(id);
            v.mspline(id, p.spline_division);
        }
    }
}

void record_postprocessing(const PostProcessing &p, std::vector<std::pair<std::string, double>> &parameters) {
    if (p.simplify) {
        parameters.emplace_back("simplify-dist", p.simplify_dist);
        parameters.emplace_back("simplify-angle", p.simplify_degrees);
    }
    if (p.circles) parameters.emplace_back("circles", p.circle_maxradius);
    if (p.arcs) {
        parameters.emplace_back("arcs-min", p.arc_minradius);
        parameters.emplace_back("arcs-max", p.arc_maxradius);
    }
    if (p.same_curvature) parameters.emplace_back("same-curvature", p.curvature_tolerance);
    if (p.splines) parameters.emplace_back("splines", p.spline_division);
}

}  // namespace ktvcli
