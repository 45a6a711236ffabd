/*
 * ktvec.h - raster-to-vector conversion library, public interface.
 *
 * A host creates one CKTVector per image, hands it a 1-bit bitmap with
 * msetdocument() and calls one driver:
 *
 *   mabstractcenterline()   centre lines of the strokes
 *   mabstractoutline()      outlines of the black areas, cleaned
 *   mabstractoutlinefast()  outlines, no post-processing
 *
 * The result is a graph of nodes (integer pixel positions) joined by link
 * pairs and grouped into numbered polylines.  The host reads the node and
 * polyline arrays through mgetnode()/mgetpolyline() and must never free
 * anything it reads: every array belongs to the vectorizer.
 *
 * Conventions (they hold for every function below):
 *  - Results are signed 32-bit integers: 0, a count or an id on success,
 *    a negative code on failure:
 *        -1     a precondition of the operation fails (see the function)
 *        -2     a connection would close a loop of connections
 *        -3     both branches of a connection belong to one polyline
 *        -4     the joint is not an end of one of the two polylines
 *        -1000  memory could not be obtained
 *        -1004  there is no polyline table
 *        -9999  a link between consecutive nodes of a polyline is missing
 *  - No operation rolls back: a failure part-way leaves the steps already
 *    done in place (undo is mundo()).  After any failure the object stays
 *    consistent: every count is within its capacity, it can be run again
 *    or destroyed, and nothing leaks.
 *  - Coordinates are pixels of the working raster, x to the right, y down.
 *    Node positions are integers; a position computed in floating point is
 *    truncated toward zero (circle fitting rounds by adding 0.5 first).
 *  - Nodes and polylines are never removed or compacted: a removed one is
 *    flagged `deleted` and keeps its index / id.
 *  - Polyline id k (k >= 1) is array position k - 1; id -k is the same
 *    polyline seen from its end.  Id 0 names nothing.
 *  - An end reference is a signed polyline id naming one end of a
 *    polyline: +k its start (first node), -k its end (last node).
 *  - Node positions never leave the raster: every operation that computes
 *    or receives a node position (moving, notches, circle fitting, hand-made
 *    polylines) clamps it to 0 .. width-1 and 0 .. height-1, so the row
 *    index is never asked for a row outside 0 .. height-1.  Pixels read
 *    outside the bitmap count as white.
 *  - A vectorizer is used from one thread at a time; two vectorizers share
 *    nothing and may run on different threads.
 *  - No exception ever leaves the library.
 */
#ifndef KTVEC_H
#define KTVEC_H

#if defined(_WIN32)
#  if defined(KTVEC_BUILD)
#    define KTVEC_API __declspec(dllexport)
#  elif defined(KTVEC_STATIC)
#    define KTVEC_API
#  else
#    define KTVEC_API __declspec(dllimport)
#  endif
#else
#  define KTVEC_API __attribute__((visibility("default")))
#endif

/* ------------------------------------------------------------------------ */
/* Named values of the interface. */

/* Result codes (see "Conventions" above). */
enum KTVEC_RESULT {
    KTVEC_OK = 0,
    KTVEC_REFUSED = -1,          /* a precondition of the operation fails */
    KTVEC_LOOP = -2,             /* a connection would close a loop */
    KTVEC_SAME_POLYLINE = -3,    /* both branches belong to one polyline */
    KTVEC_NOT_AN_END = -4,       /* the joint is not an end of the polyline */
    KTVEC_NO_MEMORY = -1000,     /* memory could not be obtained */
    KTVEC_NO_POLYLINES = -1004,  /* there is no polyline table */
    KTVEC_LINK_MISSING = -9999   /* a link along a polyline is missing */
};

/* Bits of _KTNODE.flag. */
enum KTVEC_NODE_FLAG {
    KTVEC_NODE_SELECT = 1,       /* chosen by the selection operations */
    KTVEC_NODE_FIND = 2          /* found by the last search */
};

/* Bits of _KTPOLYLINE.flag. */
enum KTVEC_POLYLINE_FLAG {
    KTVEC_POLYLINE_ARC = 1,      /* refit as arcs (mreflectmodify) */
    KTVEC_POLYLINE_SPLINE = 2,   /* refit as a spline (mreflectmodify) */
    KTVEC_POLYLINE_CIRCLE = 4,   /* moved onto a circle by mfitcircle */
    KTVEC_POLYLINE_SINGLE = 8    /* set by the host: at most one connection
                                    per end */
};

/* Bits of the flags argument of mabstractcenterline: the clean-up passes
   to run. */
enum KTVEC_CENTERLINE_FLAG {
    KTVEC_MERGE_ENDS = 1,        /* fuse end points within radius a */
    KTVEC_BRIDGE_GAPS = 2,       /* bridge gaps up to radius b, cosine c */
    KTVEC_CONNECT = 4,           /* connections through junctions (cosine c) */
    KTVEC_CUT_SPURS = 8,         /* cut spurs up to maxlength points */
    KTVEC_MERGE_JUNCTIONS = 16   /* merge junction pairs (link length d) */
};

class CPenoDoc; /* filter object of the filter library (qorfil2) */

/* ------------------------------------------------------------------------ */
/* Host-visible records.  Field order and widths are part of the interface. */

struct _KTNODELINK;

/* One node of the vector graph.  Owned by the vectorizer (node array). */
typedef struct _KTNODE {
    int x;                   /* column, pixels, 0 .. width-1 */
    int y;                   /* row, pixels, 0 .. height-1; the node is listed
                                in the row index of this row */
    unsigned char flag;      /* bit 0 select (selection operations),
                                bit 1 find (searches); bits 2..7 are 0 */
    unsigned char deleted;   /* 0 live, 1 removed (the slot stays) */
    unsigned char spare;     /* 0 at creation; arc fitting clears it on the
                                first node of each link it examines */
    int linknum;             /* entries in `link` */
    struct _KTNODELINK *link;/* linknum outgoing links, owned by the node;
                                null when linknum is 0 */
} _KTNODE;

/* One half of a link pair.  The twin on the other node carries -id, the
   same length and the negated area. */
typedef struct _KTNODELINK {
    double length;           /* straight distance between the two nodes, px */
    double area;             /* signed area between the traced pixel chain
                                and the straight link, px^2 */
    double centerx;          /* centre of the fitted arc, px; 0 while none */
    double centery;
    double radius;           /* radius of the fitted arc, px; 0 while none */
    int id;                  /* polyline id: +p along polyline p, -p on the
                                twin */
    unsigned char mark;      /* temporary visited mark; 0 between calls */
    unsigned char arc;       /* 0 straight; 1 or 2 = arc fitted, the value
                                tells which candidate centre was taken */
    int node;                /* index of the node at the other end */
} _KTNODELINK;

/* One polyline.  Owned by the vectorizer (polyline array). */
typedef struct _KTPOLYLINE {
    unsigned char flag;      /* bit 0 arc, bit 1 spline (refit requests),
                                bit 2 circle (set by circle fitting),
                                bit 3 single (host only: at most one
                                connection per end); bits 4..7 are 0 */
    unsigned char deleted;   /* 0 live, 1 absorbed or removed (id stays) */
    unsigned char modify;    /* change mark: 1 = changed since cleared */
    unsigned char jointmark; /* 1 = marked by markjointpolyline */
    int nodecapacity;        /* allocated entries of nodeindex */
    int nodenum;             /* nodes along the polyline */
    int *nodeindex;          /* nodenum node indices, start to end; a closed
                                polyline repeats its first node last */
    int prevnum;             /* entries in prev */
    int *prev;               /* end references connected at the start node;
                                null exactly when prevnum is 0 */
    int nextnum;             /* entries in next */
    int *next;               /* end references connected at the end node;
                                null exactly when nextnum is 0 */
    int splinenum;           /* fitted curve samples */
    double *splinex;         /* splinenum x values, px; null when none */
    double *spliney;         /* splinenum y values, px; null when none */
} _KTPOLYLINE;

/* ------------------------------------------------------------------------ */
/* Internal records of the raster and trace layers.  Their layout is not part
   of the interface; they are declared here because the exported functions
   MORABASE_setkind and MORABASE_approximateL1..3 take them. */

/* One set pixel of the working raster. */
typedef struct _KTPOINT {
    int x;                   /* column */
    int y;                   /* row */
    unsigned char kind;      /* 0 isolated, 1 end, 2 line, 3 or 4 branch */
    unsigned char flag;      /* bit 1 traced; bits 0 and 2 kernel marks */
    unsigned short pattern;  /* 9-bit 3x3 neighbourhood code, bit 4 = centre */
    int segment;             /* index of the spur cut at this point, or -1 */
} _KTPOINT;

/* One traced chain of points. */
typedef struct _KTSEGMENT {
    int pointnum;            /* entries in pointlist */
    int pointcapacity;       /* allocated entries of pointlist */
    unsigned char discard;   /* 1 = takes no further part */
    _KTPOINT **pointlist;    /* references into the point array */
} _KTSEGMENT;

/* One raster row: its points and its node index. */
typedef struct KTLINEINFO {
    int pointnum;            /* point records of the row */
    _KTPOINT *point;         /* first of them; null when pointnum is 0 */
    int nodecapacity;        /* allocated entries of nodeindex */
    int nodenum;             /* nodes listed in this row */
    int *nodeindex;          /* their indices, ascending x after sorting */
} KTLINEINFO;

/* ------------------------------------------------------------------------ */
/* Exported plain functions (C linkage, unmangled names). */

extern "C" {

/* Writes one point record per set pixel of `raster` (1 bit per pixel, MSB
   first, `bytesperline` bytes per row, `height` rows; ceil(width/8) bytes of
   each row are read) into `points`, in raster order, with its neighbourhood
   code and class.  `points` must have room for every set pixel.  Bits beyond
   `width` in the last used byte count as pixels; bytes beyond it do not. */
KTVEC_API void MORABASE_setkind(unsigned char *raster, int width,
                                int bytesperline, int height,
                                _KTPOINT *points);

/* Polygonal approximation kernels.  Cut the chain points[0..count-1] into
   straight pieces whose area-to-chord ratio stays within `tolerance`, write
   one entry per vertex into vertices / lengths (chord length, px) / sums
   (twice the signed area) and return the number of vertices (0 when
   count < 3).  Caller-owned arrays: points count entries, vertices
   count-2, lengths, sums, worksums and workdeviations count-1 each.
   Only x, y and the flag byte of the points are touched. */
KTVEC_API int MORABASE_approximateL1(double tolerance, int count,
                                     _KTPOINT **points, _KTPOINT **vertices,
                                     double *lengths, double *sums);
KTVEC_API int MORABASE_approximateL2(double tolerance, int count,
                                     _KTPOINT **points, _KTPOINT **vertices,
                                     double *lengths, double *sums,
                                     double *worksums, double *workdeviations);
KTVEC_API int MORABASE_approximateL3(double tolerance, int count,
                                     _KTPOINT **points, _KTPOINT **vertices,
                                     double *lengths, double *sums,
                                     double *worksums, double *workdeviations);

} /* extern "C" */

struct CKTVectorTestPeer; /* test access to the private members */
struct CKTVectorImpl;     /* the library's own bookkeeping, see `impl` */

/* ------------------------------------------------------------------------ */
/* The vectorizer. */

class KTVEC_API CKTVector {
public:
    /* ---- fields (read them through the accessors) ---------------------- */
    int canundo;               /* 1 while an undo copy can be restored */
    unsigned char *document;   /* host bitmap, not owned */
    int width;                 /* pixels per row */
    int height;                /* rows; also the number of row records */
    int bytesperline;          /* bytes from one row to the next */
    KTLINEINFO *lineinfo;      /* height row records, owned */
    CPenoDoc *filter;          /* filter object, made on first use, owned */
    unsigned char *thindata;   /* working raster, height*bytesperline bytes */
    int pointnum;              /* set pixels of thindata */
    _KTPOINT *point;           /* pointnum point records, owned */
    _KTSEGMENT *segment;       /* segmentcapacity segment records, owned */
    int segmentcapacity;
    int segmentnum;
    int tracex, tracey;        /* cursor of the tracing walk */
    double selectradius;       /* click search radius, 5.0 */
    double arcminradius;       /* arc radius limits of the last marc() */
    double arcmaxradius;
    int polylineid;            /* next provisional id of approximation */
    int nodenum;               /* node records used, deleted ones included */
    int nodecapacity;          /* node records allocated */
    _KTNODE *node;             /* node array, owned */
    _KTPOLYLINE *polyline;     /* polyline array, owned */
    int polylinenum;           /* polyline records used = highest id */
    int polylinecapacity;      /* polyline records allocated */
    int splinetablenum;        /* size of the spline work tables */
    int splinedivision;        /* division of the last spline fit */
    double *splineknotx, *splineknoty, *splineperiodic, *splinezx,
           *splinezy, *splinediag, *splinestep, *splineparam;

    /* ---- construction ---------------------------------------------------- */
    /* Empty vectorizer: no document, no data, selectradius 5, arc radius
       limits 1 and 1000.  Cannot fail. */
    CKTVector();
    /* Releases everything the vectorizer owns; never touches the document. */
    ~CKTVector();
    /* Not copyable: a member-wise copy would share owned arrays.  mundo()
       makes the deep copy of the vector layer. */
    CKTVector(const CKTVector &) = delete;
    CKTVector &operator=(const CKTVector &) = delete;

    /* ---- document ------------------------------------------------------- */
    /* The host's 1-bit bitmap (1 = black, MSB first).  Not copied: keep it
       alive and unchanged while a driver or maddnotch() runs.  The first
       form packs rows without padding (bytesperline = ceil(width/8)); the
       second takes the stride (note: stride before height). */
    void msetdocument(unsigned char *data, int width, int height);
    void msetdocument(unsigned char *data, int width, int bytesperline,
                      int height);

    /* ---- accessors and setters -------------------------------------------- */
    int mgetcanundo();
    void msetcanundo(int value);
    unsigned char *mgetthindata();          /* null before a driver ran */
    _KTNODE *mgetnode();                    /* node array or null; valid
                                               until the next node is added */
    _KTNODE *mgetnode(int index);           /* null if index < 0 or
                                               >= nodenum; deleted included */
    int mgetnodenum();                      /* deleted nodes included */
    _KTPOLYLINE *mgetpolyline();            /* polyline array or null */
    _KTPOLYLINE *mgetpolyline(int id);      /* caller: 1 <= |id| <= num */
    int mgetpolylinenum();
    void msetarc(int id);                   /* set flag bit arc; caller:
                                               1 <= id <= polylinenum */
    void msetspline(int id);                /* set flag bit spline */
    void msetline(int id);                  /* clear bits arc and spline */
    void msetmodify(unsigned char value);   /* every polyline record */
    void msetmodify(int id, unsigned char value);
    unsigned char mismodify(int id);

    /* ---- release (each may be called at any time, also twice) ------------ */
    void mfreenode();       /* nodes and their links; row index untouched */
    void mfreelineinfo();   /* row records and their node indices */
    void mfreepolyline();   /* polylines with all their lists and samples;
                               clears select and find on every node */

    /* ---- drivers ------------------------------------------------------------ */
    /* Outline polylines, no post-processing: one-side outline filter,
       segment pass with maxlength, plain approximation with tolerance and
       nodesearch.  `ignored` has no effect.  0, or the first negative
       result of a stage (-1000, -1). */
    int mabstractoutlinefast(int maxlength, int ignored, double tolerance,
                             int nodesearch);
    /* Centre lines.  flags: 1 merge end points (radius a), 2 bridge gaps
       (radius b, cosine c), 4 connections through junctions (cosine c),
       8 spur cut up to maxlength points, 16 merge junction pairs (link
       length d).  e is the approximation tolerance. */
    int mabstractcenterline(int flags, int maxlength, double a, double b,
                            double c, double d, double e);
    /* Outlines with spur removal (spurnodes) and joining. */
    int mabstractoutline(int maxlength, int spurnodes, double tolerance,
                         int nodesearch);
    void mpostprocessoutline(int spurnodes);
    /* Extension: 1 when the post-processing of the last driver call (or of
       the last mpostprocessoutline) ran out of memory in one of its steps,
       so the graph is only partly cleaned although the driver answered 0;
       0 otherwise, also before any driver and after mabstractoutlinefast or
       a driver that failed (its own result says so).  The partly cleaned
       graph keeps every structural rule and may be read, edited, or
       replaced by running a driver again. */
    int mispostprocessincomplete();

    /* ---- stages a host may also call one by one ------------------------- */
    int makethindata();          /* thinning into thindata; 0 or -1000 */
    int makeoutlinedata();       /* outline extraction; 0 or -1000 */
    int make1sideoutlinedata();  /* one-side outline; 0 or -1000 */
    int minitbuffer();           /* points and row records; 0 or -1000 */
    int mtrace();                /* segments; 0, -1 or -1000 */
    void mpreprocess1();         /* detach one-pixel spurs */
    void mpreprocess2(int maxlength); /* cut the shortest spur per branch */
    /* Approximation rebuilds the node graph from the segments (nodes from
       index 0, links, row index); the polyline table, which indexes the old
       nodes, is released first.  makepolyline() builds the new one. */
    int mapplox(double tolerance, int search);   /* L1 kernel; 0 or -1000 */
    int mapplox2(double tolerance, int search);  /* L2 kernel */
    int mapplox3(double tolerance, int search);  /* L3 kernel */
    int makepolyline();          /* polyline table from link ids */

    /* ---- links --------------------------------------------------------- */
    int mlinknode(int id, double length, double sum, _KTNODE *a, _KTNODE *b);
    _KTNODELINK *mgetnodelink(_KTNODE *a, _KTNODE *b, int id);

    /* ---- polylines ------------------------------------------------------ */
    /* Adds polyline polylinenum+1: two new nodes (also where nodes already
       stand) joined by one link.  The positions are clamped into the
       raster (0..width-1, 0..height-1).  0 or -1000. */
    int makenewpolyline(int x1, int y1, int x2, int y2);
    /* Rebuilds polyline |id| by walking its links from its first live node
       and marks it modified; fewer than two nodes left deletes it.  0 or
       -1000. */
    int mupdatepolyline(int id);
    /* Splits polyline |id| at `node`: the polyline keeps its nodes up to and
       including `node`, a new polyline (id polylinenum+1) takes `node` and
       the rest and inherits the old end's connections.  Splitting a closed
       polyline at its first node leaves the old record live with that one
       node, connected to the new polyline that holds the whole ring; the
       centre-line clean-up does this when an end point attaches to the start
       of a tiny ring.  A node not on the polyline changes nothing.  0 or
       -1000 (the table may then have grown by one zeroed record). */
    int mseparatepolyline(int id, _KTNODE *node);

    /* ---- connections ---------------------------------------------------- */
    int mconnectpolyline(int x1, int y1, int x2, int y2);
    int mconnectpolyline(_KTNODE *joint, _KTNODE *a, _KTNODE *b);
    void mdisconnectpolyline(int a, _KTNODE *joint, int b);

    /* ---- joints --------------------------------------------------------- */
    int mcountend(_KTNODE *node);
    int mgetjointinfo(_KTNODE *node, int *info);
    void markjointpolyline(_KTNODE *node);
    void markjointpolyline(int ref);
    void munmarkjointpolyline();

    /* ---- node clean-up -------------------------------------------------- */
    int mismiddlenode(_KTNODE *n);
    int mdeletenode(_KTNODE *n);
    int munlinknode(_KTNODE *a, _KTNODE *b);
    int mdeletepolyline(_KTNODE *n);
    int mskipnode(_KTNODE *n);
    int mergenode(_KTNODE *a, _KTNODE *b);
    int massimilatenode(_KTNODE *a, _KTNODE *b);

    /* ---- fitting and simplification -------------------------------------- */
    /* Spline through the nodes of polyline id (either sign), sampled into
       its splinex/spliney: (knots - 1) * division samples, first and last
       on the end nodes; periodic when the polyline is closed.  0 (also when
       refused because modify is already 1), -1004 without polylines, -1000
       when memory fails or division < 0.  Fewer than two knots (one node,
       or all nodes on one pixel) or division 0: splinenum 0 and no sample
       arrays; a failed fit also leaves splinenum 0 and no arrays.
       msplineold: the same with the earlier knot rule. */
    int mspline(int id, int division);
    int msplineold(int id, int division);
    /* Arc on every link of polyline id whose area fits a circle with radius
       in minradius .. maxradius (the limits are kept for refitting).  0, -1
       when modify is already 1, -1004 without polylines. */
    int marc(int id, double minradius, double maxradius);
    void marcall(double minradius, double maxradius);
    /* Moves the closed polyline through the two-link `node` onto the circle
       through three of its nodes (regular spacing).  0 (done, or not a
       two-link node, or not closed), -1 (modify already 1, fewer than 4
       entries, radius above maxradius, or the three nodes collinear or
       coinciding), or a negative row index result.  Node positions are
       rounded (+0.5, truncated) and clamped to 0 .. width-1 and
       0 .. height-1 on all four edges. */
    int mfitcircle(double maxradius, _KTNODE *node);
    void mfitcircleall(double maxradius);
    int mnearpoint(int id, double dist, double angle);
    int mnearpointall(double dist, double angle);
    int msamecurvature(int id, double tolerance);
    int msamecurvatureall(double tolerance);

    /* ---- selection and search ------------------------------------------- */
    void mclearselect();
    void mclearfind();
    int mgetselectnodenum();
    int mgetfindnodenum();
    int mselectnode(int x1, int y1, int x2, int y2);
    void mselectnode1(int x, int y, _KTNODE *&node);
    void mselectnode2(int x1, int y1, int x2, int y2, _KTNODE *&node1,
                      _KTNODE *&node2);
    int mselectnodes(_KTNODE *a, _KTNODE *b);
    int mselectpolyline(_KTNODE *node);
    int msearchnodefast(int x, int y, int r);
    _KTNODE *msearchNN(int x, int y, double r);

    /* ---- editing ---------------------------------------------------------- */
    /* Inserts a new node into a link near (x, y): among the forward links of
       the live nodes, the last one (node and link order, not the nearest)
       whose foot parameter t lies strictly between margin and 1 - margin
       and whose perpendicular distance is below maxdistance.  The node goes
       to the foot, truncated and clamped into the raster (a negative margin
       lets the foot fall beyond the link); the link's areas are scaled by
       t^2 and (1-t)^2; the polyline is rebuilt and marked modified.
       1 inserted, 0 no link qualifies (nothing changes), -1000 (a failure
       before the node exists changes nothing; one in the rebuild leaves the
       node in place and the polyline record to be rebuilt again). */
    int minsertnode(double x, double y, double margin, double maxdistance);
    /* Moves a node to (x, y), clamped into the raster (0 .. width-1,
       0 .. height-1).  Within its row only x changes and the row is sorted
       again; to another row the node leaves the old row's index and enters
       the new one sorted.  The lengths of its links and of their twins
       follow; every polyline through the node is marked modified, also when
       it does not move.  0; -1 for a null, foreign or deleted node; -1000
       when the new row cannot grow (the node stays where it was). */
    int movenode(_KTNODE *node, int x, int y);
    /* movenode(), then joins the node to the nearest suitable node within
       2 pixels (same rule as the clean-up's attach step).  0 or the
       negative result of movenode(). */
    int movenodeattach(_KTNODE *node, int x, int y);
    /* Rebuilds (and marks modified) the polyline of a's first link; a must
       have a link, b is not used.  Always 0, also when the rebuild fails. */
    int msharpencorner(_KTNODE *a, _KTNODE *b);
    /* Reserved; changes nothing and returns 0. */
    int maddnode1(int a, int b);
    /* Cuts a V into the polyline at `node`, an inner node of one polyline
       (two links with opposite ids).  On each side the polyline is followed
       to where it leaves the circle of `radius` around the node: the last
       node inside is moved onto the crossing (its row index entry stays in
       place when only x changes), or a new node is put on the node's own
       link (appended to its row).  The node then moves `depth` off the chord
       to the side where the document is black at the first candidate (the
       document is read with outside pixels white), clamped into the raster,
       and the polyline is rebuilt.  Rows touched by x-only moves and new
       nodes may be left out of x order.  0; -1 when the notch cannot be
       made (not an inner node, deleted or foreign node, radius negative or
       not finite, depth not finite, a side ends or comes back to the node
       inside the circle, five nodes of a side inside it, no crossing);
       -1000 when memory is short.  A failure on the first side changes
       nothing; a later one keeps the steps already done and rebuilds the
       polyline. */
    int maddnotch(_KTNODE *node, double radius, double depth);

    /* ---- change tracking and undo --------------------------------------- */
    void mreflectmodify();
    int mundo(CKTVector *source);
    int mgetundomemory();

private:
    friend struct CKTVectorTestPeer;
    friend struct CKTVectorImpl;

    /* The library's own bookkeeping beyond the fields above (search lists,
       walk scratch, row hints, the polyline block, the clean-up record):
       made on first need, owned, never seen by a host. */
    CKTVectorImpl *impl;

    /* release */
    void mfreepoint();
    void mfreesegment();
    void mfreespline();

    /* raster analysis */
    int mcountpixel();
    void msetlinepoint();
    _KTPOINT *mgetpoint(int x, int y);
    int mtrace(_KTSEGMENT *segment, _KTPOINT *start, int direction);
    _KTSEGMENT *mgetsegment();
    int mregistpoint(_KTSEGMENT *segment, _KTPOINT *point);
    void mreversepoint(_KTSEGMENT *segment);

    /* node registry and row index */
    _KTNODE *mregistnode(int search, _KTPOINT *point);
    int menhancenode(int count);
    void msetlinenode();
    void msetlinenode1(KTLINEINFO *row);
    void msortpnode(int count, int *indices);
    int mregistlinenode(_KTNODE *node);
    int mregistlinenodesort(_KTNODE *node);
    int mdeletelinenode(_KTNODE *node);
    _KTNODE *msearchjust(int x, int y);
    int missameid(_KTNODE *a, _KTNODE *b);

    /* links */
    void minitnodelink(_KTNODELINK *link);
    int maddnodetolink(int id, double length, double sum, _KTNODE *from,
                       _KTNODE *to);
    int mdeletenodefromlink(_KTNODE *a, _KTNODE *b);

    /* approximation and polylines */
    _KTNODE *msearchstartpoint(_KTNODE *node, int id);
    int mregistpolyline(_KTNODE *start, int id);

    /* connections */
    int maddprevpolyline(_KTPOLYLINE *p, int ref);
    int maddnextpolyline(_KTPOLYLINE *p, int ref);
    int maddableprevpolyline(_KTPOLYLINE *p);
    int maddablenextpolyline(_KTPOLYLINE *p);
    void mdelprevpolyline(_KTPOLYLINE *p, int k);
    void mdelnextpolyline(_KTPOLYLINE *p, int k);
    void mchangeprevpolyline(_KTPOLYLINE *p, int k, int ref);
    void mchangenextpolyline(_KTPOLYLINE *p, int k, int ref);
    int mconnectpolyline(int a, _KTNODE *na, _KTNODE *joint, _KTNODE *nb,
                         int b);
    int mcheckjointloop(int a, int b);
    void mdistance(double x0, double y0, double x1, double y1, double px,
                   double py, double &t, double &d);
    void mdisconnectpolyline(_KTPOLYLINE *p);
    void mdisconnectpolyline(_KTNODE *node);
    void mdisconnectpolyline2(int k, _KTNODE *node, int ref);
    void mchangeconnectpolyline2(int k, int newref, int ref);
    void mchangeconnectpolyline(_KTPOLYLINE *p, int newref);

    /* joints */
    int mcheckend(_KTNODE *node, int ref);
    int mduplicatecheck(int a, int na, int b, int nb, int *info, int count);

    /* joining */
    int mlinkpolyline(_KTNODE *a, _KTNODE *b);
    int mintegratepolyline(_KTNODE *a, _KTNODE *b);
    int mintegratepolyline(_KTNODE *node);
    int movejoint(_KTPOLYLINE *keep, _KTNODE *node, _KTPOLYLINE *gone);

    /* node clean-up */
    double mgetcos(double x0, double y0, double x1, double y1, double x2,
                   double y2, double x3, double y3);
    double mgetcos(_KTNODE *a, _KTNODE *b, _KTNODE *c, _KTNODE *d);
    int mcheckseparator(int x1, int y1, int x2, int y2);
    int mintegratenode(_KTNODE *a, _KTNODE *b);
    void mcheckconsistency(int ref);
    int mondifferentpolyline(_KTNODE *a, _KTNODE *b);
    void mifnearthenattach(_KTNODE *n, int r);
    void mifnearthenattachold(_KTNODE *n, int r);

    /* centerline and outline post-processing */
    void mpostprocesscenterline(int flags, double a, double b, double c,
                                double d);
    void mpostprocesscenterline0();
    void mpostprocesscenterline1(double a);
    void mpostprocesscenterline2(double b, double c);
    void mpostprocesscenterline3(double d);
    void mpostprocesscenterline4(double d, double c);
    void mpostprocesscenterline5();
    void mpostprocesscenterline6(double c);
    void mpostprocesscenterline7();
    void mpostprocesscenterline8(double a);
    int mcheckintegratenode(_KTNODE *a, _KTNODE *b);
    int mgetpathlen(int ref);
    void mpostprocessoutline2(int spurnodes);
    int mpostprocessoutline3();

    /* splines */
    void maketablespline2();
    void maketablespline2C();
    void maketablespline(double *t, double *v, double *z);
    void maketablesplineC(double *t, double *v, double *z);
    void mspline2(double t, double *x, double *y);
    void mspline2C(double t, double *x, double *y);
    double mspline(double t, double *u, double *v, double *z);
    double msplineC(double t, double *u, double *v, double *z);

    /* arcs and circles */
    void mgetcenter(int id, _KTNODE *a, _KTNODE *b);
    void mfitcircle(_KTNODE *a, _KTNODE *b, _KTNODE *c, double &cx,
                    double &cy, double &r);

    /* selection and search */
    int mfindnode(int x, int y, double r);
    int mfindnodefast(int x, int y, int r);

    /* editing */
    /* New node on the link a -> b (a and b must be linked) at parameter t,
       clamped into the raster; cuts a's first forward record to b, else its
       first record to b.  The id of that record as stored, or -1000
       (nothing changed). */
    int minsertnode(int a, int b, double t);
    /* 1 when the document is black at (x, y) or a 4-neighbour; on the first
       and last row the row itself stands for the missing one; pixels
       outside the document are white. */
    int mcheckfront(int x, int y);
};

#endif /* KTVEC_H */
