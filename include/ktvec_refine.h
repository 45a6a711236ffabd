/*
 * ktvec_refine.h - sub-pixel geometry of a vectorizer's result.
 *
 * The drivers place every node on a pixel of the thinned or outlined
 * raster, so a node can be half a pixel or more away from where the stroke
 * truly runs: the centre of a stroke two pixels wide lies between two
 * pixels, thinning moves junctions into a branch, and the edge of the ink
 * lies on the border of its pixels, not on their centres.  A CKTRefiner
 * measures the result against the document's ink and gives its geometry in
 * floating point:
 *
 *   centre lines  every live polyline of the vectorizer again, each node at
 *                 the centre of its stroke, junctions where their branches
 *                 meet, free ends at the tip of the ink;
 *   outlines      closed rings on the edge of the ink, one per border of
 *                 every black area, whatever the width of its strokes.
 *
 * The vectorizer is only read: its nodes, links and polylines stay exactly
 * as the driver (and any edits) left them, so refining can be repeated
 * after every edit, and skipping it gives the driver's own result.
 *
 * Coordinates are pixels in the frame of the node positions: the centre of
 * pixel (i, j) is (i, j), x to the right, y down.  Results are 0 or -1000
 * (memory could not be obtained; the refiner then holds no lines).
 */
#ifndef KTVEC_REFINE_H
#define KTVEC_REFINE_H

#include "ktvec.h"

typedef struct _KTREFINEDPOINT {
    double x;                /* px, node frame */
    double y;
} _KTREFINEDPOINT;

/* One refined line.  Owned by the refiner. */
typedef struct _KTREFINEDLINE {
    int source;              /* centre lines: id of the vectorizer's polyline
                                this line draws, 0 for a line of the
                                refiner's own; outlines: 0 */
    int closed;              /* 1 when the last point repeats the first */
    int pointnum;            /* entries in point and node */
    _KTREFINEDPOINT *point;  /* pointnum points, start to end */
    int *node;               /* pointnum entries: the index of the
                                vectorizer's node at that point, or -1 for a
                                point of the refiner's own */
} _KTREFINEDLINE;

class KTVEC_API CKTRefiner {
public:
    CKTRefiner();
    ~CKTRefiner();
    CKTRefiner(const CKTRefiner &) = delete;
    CKTRefiner &operator=(const CKTRefiner &) = delete;

    /* Refines the centre lines of `v` (after mabstractcenterline) against
       its document, which must still be the bitmap the driver read.  Every
       live polyline with at least two nodes gives one line, in id order,
       with one point per node and points of its own where the stroke bends
       between nodes.  A line may lie all at one point: the stub thinning
       draws to the tip of a V, where its two strokes meet.  After them come
       lines of the refiner's own (source 0): short stroke ends the
       clean-up dropped (the overshoot of a line past a corner, a tick),
       and dots it dropped as specks (a piece of at least 9 black pixels
       touching no other ink: a period, the dot of a dash-dot line), each
       the centre line of a stroke with round ends, at least 1 px long;
       and the edges of filled shapes (a piece of ink touching no other,
       at least six pens across over nine tenths of its pixels, whose
       lines all run there: a solid disc, a densely hatched circle), each
       border a closed line half a pen inside the ink, the pen being the
       median stroke width of the lines; the lines already there stay.
       0 or -1000. */
    int mrefinecenterline(CKTVector *v);

    /* Traces the outlines of the black areas of the document of `v` on the
       edges of its pixels and places their vertices on the edge of the ink:
       closed rings (closed 1, the first point repeated at the end, source
       0, every node entry -1), outer borders clockwise on the screen and
       holes anticlockwise.  Only borders that pass within 2 to 4 px of a
       live node of `v` are given, so what the driver dropped (specks,
       with its options spurs) stays dropped; but a piece of at least 9
       black pixels with no node near it, live or deleted (a dot too narrow
       for the driver's outline, which it never traced), is given, with its
       holes.  Level and plumb sides of
       strokes drawn with a pen of known width are placed as that pen
       draws them, and the pinholes of the drawing's main pen are filled
       (see msetpenwidths).  0 or -1000. */
    int mrefineoutline(CKTVector *v);

    /* How mrefineoutline places the level and plumb sides of strokes.  A
       1-bit pixel is black when its centre lies in the ink, so each edge of
       a level stroke lies up to half a pixel from the edges of its pixels;
       its middle and its width are known better.  1 (the default): the
       widths of the drawing's pens are measured from its slanted strokes
       (where the ink shows a width to a fraction of a pixel), and a level
       or plumb stroke whose ink one pen alone explains is drawn that pen's
       width about the middle of its ink, its sides off the pixels' edges by
       less than half a pixel.  Whole widths, ink no pen explains and pages
       without slanted strokes keep the pixels' edges.  And a hole of at
       most a quarter of the square of the pen with the most slanted length
       and at most 8 square px, with no other such hole within 1.5 px, is
       left out: a speck of paper between that pen's overlapping strokes or
       in a scanned wide stroke, not a hole of the drawing (a dotted line of
       them is a gap between two strokes and stays).  0: every side lies on
       the edges of the pixels and every hole is given.  Any other value is
       taken as 1. */
    void msetpenwidths(int on);
    int mgetpenwidths() const;     /* 1 or 0 */

    /* The lines of the last successful call; none before the first. */
    int mgetlinenum() const;
    const _KTREFINEDLINE *mgetline(int index) const;   /* 0 <= index < num */

    /* The refined position of node `index` of the vectorizer after
       mrefinecenterline: 1 with *x, *y set when the node lies on a line,
       0 otherwise. */
    int mgetnodeposition(int index, double *x, double *y) const;

    /* Releases every line. */
    void mclear();

    /* Threads the refining calls may work on.  0 (the default): one per
       processor core, but only on pages large enough to repay starting
       them (a build without threads, the browser's, uses the calling
       thread alone); n > 0: up to n (at most 16) on any page, 1 being the
       calling thread alone; a negative count is taken as 0.  The lines
       are the same whatever the count.  Every block of memory is asked
       for on the calling thread, so a run short of memory fails at the
       same request each time and leaves no lines. */
    void msetthreadnum(int n);
    int mgetthreadnum() const;     /* as set: 0 = one per core */

    struct State;

private:
    State *state_;
    int threads_;
    int pens_;
};

#endif
