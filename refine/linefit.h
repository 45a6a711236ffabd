// The straight centre line of the ink along a link, and the point where
// several such lines meet (see linefit.cpp).
#ifndef KTVEC_REFINE_LINEFIT_H
#define KTVEC_REFINE_LINEFIT_H

#include "refine/array.h"
#include "refine/ink.h"

namespace ktv::refine {

struct LinkFit {
    Line line;         // through the middles of the stroke; weight = length measured, px
    Line clear;        // the same through the cuts no wider than the stroke, when asked (weight 0: none)
    double width = 0;  // the stroke's width along the link (median of the cuts), px
    double spread = 0; // farthest a middle used lies from the line, px
    bool ok = false;   // false: no cut met the stroke
};

// Scratch of fit_link, kept between calls.
struct FitScratch {
    struct Cut {
        Vec2 middle;    // middle of the black run
        double along;   // position along the link, px from its first node
        double offset;  // signed distance of the middle from the link
        double width;   // length of the run
    };
    Array<Cut> cuts;
    Array<double> values;
};

// Measures the link from a to b by cuts across it, one per pixel of its
// length up to sixteen and two pixels apart beyond (none within
// a pixel of an end that is a junction), and fits a line to the middles of
// the cuts that met the stroke itself; with `clear`, also the line through
// those no wider than the stroke (fit.clear).  False only when memory runs
// out.
bool fit_link(const Ink &ink, Vec2 a, Vec2 b, bool a_junction, bool b_junction, FitScratch &scratch,
              LinkFit &fit, bool clear = false);

// Measures the stroke along the chord from a to b (no junction at either
// end) as fit_link does, with `clear`; `line` gets the line through the
// cuts no wider than the stroke, or through all its cuts when none is,
// pointing from a to b.  False only when memory runs out.
bool fit_leg(const Ink &ink, Vec2 a, Vec2 b, FitScratch &scratch, LinkFit &fit, Line &line);

// The most cuts fit_link makes on a link `length` px long: a scratch with
// room for that many never grows (and so never fails) on such a link.
std::size_t max_cuts(double length);

// Least-squares point nearest to a set of weighted lines, pulled weakly
// towards a point of its own (which settles what the lines leave open: the
// position along a single line, or along lines that are nearly parallel).
class Meeting {
public:
    void add(const Line &l);
    double weight() const { return weight_; }
    // `pull`: weight of the own point per unit of line weight.
    Vec2 solve(Vec2 own, double pull) const;

private:
    double xx_ = 0, xy_ = 0, yy_ = 0, bx_ = 0, by_ = 0, weight_ = 0;
};

double median(double *values, std::size_t n);

}  // namespace ktv::refine

#endif
