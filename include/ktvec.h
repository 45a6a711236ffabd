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
 *    a negative code on failure (named in KTVEC_RESULT below):
 *        -1     KTVEC_REFUSED        a precondition of the operation fails
 *                                    (see the function)
 *        -2     KTVEC_LOOP           a connection would close a loop of
 *                                    connections
 *        -3     KTVEC_SAME_POLYLINE  both branches of a connection belong
 *                                    to one polyline
 *        -4     KTVEC_NOT_AN_END     the joint is not an end of one of the
 *                                    two polylines
 *        -1000  KTVEC_NO_MEMORY      memory could not be obtained
 *        -1004  KTVEC_NO_POLYLINES   there is no polyline table
 *        -9999  KTVEC_LINK_MISSING   a link between consecutive nodes of a
 *                                    polyline is missing
 *  - No operation rolls back: a failure part-way leaves the steps already
 *    done in place (undo is mundo()).  Operations that obtain their memory
 *    before their first change say so: they change nothing on
 *    KTVEC_NO_MEMORY.  After any failure the object stays
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
    unsigned char flag;      /* KTVEC_NODE_SELECT (selection operations),
                                KTVEC_NODE_FIND (searches); other bits 0 */
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
    unsigned char flag;      /* KTVEC_POLYLINE_ARC, _SPLINE (refit
                                requests), _CIRCLE (set by circle fitting),
                                _SINGLE (host only: at most one connection
                                per end); other bits 0 */
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
    unsigned char *document;   /* host bitmap, bytesperline * height bytes,
                                  owned by the host */
    int width;                 /* pixels per row */
    int height;                /* rows */
    int bytesperline;          /* bytes from one row to the next */
    KTLINEINFO *lineinfo;      /* row records, one per row of the raster
                                  the buffer set-up saw; owned */
    CPenoDoc *filter;          /* filter object, made on first use, owned */
    unsigned char *thindata;   /* working raster, height * bytesperline
                                  bytes, owned; null before a driver ran */
    int pointnum;              /* set pixels of thindata */
    _KTPOINT *point;           /* pointnum point records, owned */
    _KTSEGMENT *segment;       /* segmentcapacity segment records, owned */
    int segmentcapacity;       /* segment records allocated */
    int segmentnum;            /* segment records used */
    int tracex, tracey;        /* cursor of the tracing walk, pixels */
    double selectradius;       /* click search radius, pixels; 5.0 */
    double arcminradius;       /* arc radius limits of the last marc(), */
    double arcmaxradius;       /* pixels; mreflectmodify() reuses them */
    int polylineid;            /* next provisional id of approximation */
    int nodenum;               /* node records used, deleted ones included */
    int nodecapacity;          /* node records allocated */
    _KTNODE *node;             /* nodecapacity node records, owned; moves
                                  when a node is added */
    _KTPOLYLINE *polyline;     /* polylinecapacity polyline records, owned */
    int polylinenum;           /* polyline records used = highest id */
    int polylinecapacity;      /* polyline records allocated */
    int splinetablenum;        /* knots (open curve) or intervals (closed
                                  curve) of the spline work tables */
    int splinedivision;        /* division of the last spline fit */
    double *splineknotx, *splineknoty, *splineperiodic, *splinezx,
           *splinezy, *splinediag, *splinestep, *splineparam;
                               /* work tables of the last spline fit, one
                                  double per knot each, owned */

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
    /* None of these fails or allocates. */
    int mgetcanundo();                      /* canundo */
    void msetcanundo(int value);            /* canundo = value */
    unsigned char *mgetthindata();          /* working raster; null before a
                                               driver ran */
    _KTNODE *mgetnode();                    /* node array or null; valid
                                               until the next node is added */
    _KTNODE *mgetnode(int index);           /* null if there is no array or
                                               index < 0 or >= nodenum;
                                               deleted nodes included */
    int mgetnodenum();                      /* nodenum, deleted included */
    _KTPOLYLINE *mgetpolyline();            /* polyline array or null */
    _KTPOLYLINE *mgetpolyline(int id);      /* record of polyline |id|;
                                               caller: 1 <= |id| <= num */
    int mgetpolylinenum();                  /* polylinenum = highest id,
                                               deleted included */
    /* Flag setters; they refit nothing and leave `modify` alone.  Without a
       polyline table they do nothing; otherwise caller: 1 <= id <=
       polylinenum. */
    void msetarc(int id);                   /* set KTVEC_POLYLINE_ARC */
    void msetspline(int id);                /* set KTVEC_POLYLINE_SPLINE */
    void msetline(int id);                  /* clear both */
    /* Change marks (see mreflectmodify): `modify` = value on every record,
       deleted ones included; on the record of polyline |id| (caller: 1 <=
       |id| <= polylinenum); and that record's mark. */
    void msetmodify(unsigned char value);
    void msetmodify(int id, unsigned char value);
    unsigned char mismodify(int id);

    /* ---- release (each may be called at any time, also twice) ------------ */
    void mfreenode();       /* nodes and their links; row index untouched */
    void mfreelineinfo();   /* row records and their node indices */
    void mfreepolyline();   /* polylines with all their lists and samples;
                               clears select and find on every node */

    /* ---- drivers ------------------------------------------------------------ */
    /* Every driver runs the whole pipeline on the document and replaces
       every result of an earlier run; it may be called again without any
       release.  0, or the first negative result of a stage: KTVEC_NO_MEMORY,
       or KTVEC_REFUSED from tracing (a working raster the filter should not
       have made).  A failed driver leaves the partial results of the stages
       that ran, consistent, to be read, run again or destroyed.

       Outline polylines, no post-processing: one-side outline filter,
       segment pass with maxlength, plain approximation with tolerance and
       nodesearch.  `ignored` has no effect. */
    int mabstractoutlinefast(int maxlength, int ignored, double tolerance,
                             int nodesearch);
    /* Centre lines: thinning, the segment pass with maxlength when flags
       has KTVEC_CUT_SPURS, corner-cut approximation with tolerance e, then
       the clean-up passes the other KTVEC_CENTERLINE_FLAG bits switch on:
       KTVEC_MERGE_ENDS (end points within radius a, px), KTVEC_BRIDGE_GAPS
       (gaps up to radius b, px, aligned better than cosine c),
       KTVEC_MERGE_JUNCTIONS (junction pairs joined by a link of at most d,
       px), KTVEC_CONNECT (connections through junctions, cosine c); nearby
       nodes are always attached, polylines meeting end to end joined and
       specks shorter than a dropped. */
    int mabstractcenterline(int flags, int maxlength, double a, double b,
                            double c, double d, double e);
    /* Outlines: outline filter, segment pass with maxlength, corner-cut
       approximation with tolerance and nodesearch, then
       mpostprocessoutline(spurnodes). */
    int mabstractoutline(int maxlength, int spurnodes, double tolerance,
                         int nodesearch);
    /* The outline clean-up on the current graph: polylines of at most
       spurnodes nodes hanging off an outline by one end, or lying
       isolated, are removed; polylines meeting end to end at a node of two
       links are joined; every polyline's flag and modify are cleared.  A
       step that runs out of memory is passed over and recorded (see
       mispostprocessincomplete). */
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
    /* Each replaces what its previous run left.  After a failure the stage's
       layer is partly made and consistent; the next run of the stage
       replaces it. */
    int makethindata();          /* thinning of the document into thindata;
                                    0 or KTVEC_NO_MEMORY */
    int makeoutlinedata();       /* outlines into thindata; 0 or no memory */
    int make1sideoutlinedata();  /* one-side outlines; 0 or no memory */
    int minitbuffer();           /* point and row records of thindata; 0 or
                                    KTVEC_NO_MEMORY (points failed: none
                                    left; rows failed: points kept, no rows) */
    int mtrace();                /* segments; 0, KTVEC_REFUSED (a walk found
                                    no next pixel) or KTVEC_NO_MEMORY; the
                                    segments traced so far stay */
    void mpreprocess1();         /* detach one-pixel spurs at branch pixels */
    void mpreprocess2(int maxlength); /* per branch pixel, discard the
                                    shortest spur of at most maxlength
                                    points */
    /* Approximation rebuilds the node graph from the segments (nodes from
       index 0, links, row index); the polyline table, which indexes the old
       nodes, is released first.  makepolyline() builds the new one.
       search 1: segments meeting at a pixel share its node.  0 or
       KTVEC_NO_MEMORY (the nodes and links made so far stay; rows are then
       not sorted). */
    int mapplox(double tolerance, int search);   /* plain kernel (L1) */
    int mapplox2(double tolerance, int search);  /* corner cut (L2) */
    int mapplox3(double tolerance, int search);  /* corner vertices (L3) */
    /* The polyline table from the links' ids: one record per id, its nodes
       from the chain's start.  0 or KTVEC_NO_MEMORY (the records made so far
       stay; a record may stop short). */
    int makepolyline();

    /* ---- links --------------------------------------------------------- */
    /* A link pair: a record on a (id, length px, area sum / 2, to b) and its
       twin on b (-id, length, -sum / 2, to a).  0 or KTVEC_NO_MEMORY (then
       neither record is added). */
    int mlinknode(int id, double length, double sum, _KTNODE *a, _KTNODE *b);
    /* a's first record pointing to b with id or -id; null when there is
       none (or a, b or a's link array is null). */
    _KTNODELINK *mgetnodelink(_KTNODE *a, _KTNODE *b, int id);

    /* ---- polylines ------------------------------------------------------ */
    /* Adds polyline polylinenum+1: two new nodes (also where nodes already
       stand) joined by one link.  The positions are clamped into the
       raster (0..width-1, 0..height-1).  0 or KTVEC_NO_MEMORY (a node or
       link made before the failure stays; the polyline is not counted). */
    int makenewpolyline(int x1, int y1, int x2, int y2);
    /* Rebuilds polyline |id| by walking its links from its first live node
       and marks it modified; fewer than two nodes left deletes it (and its
       connections).  An id outside the table changes nothing.  0 or
       KTVEC_NO_MEMORY (the record then lists the nodes walked so far). */
    int mupdatepolyline(int id);
    /* Splits polyline |id| at `node`: the polyline keeps its nodes up to and
       including `node`, a new polyline (id polylinenum+1) takes `node` and
       the rest and inherits the old end's connections.  Splitting a closed
       polyline at its first node leaves the old record live with that one
       node, connected to the new polyline that holds the whole ring; the
       centre-line clean-up does this when an end point attaches to the start
       of a tiny ring.  A node not on the polyline changes nothing.  0 or
       KTVEC_NO_MEMORY (nothing changed; the table may have grown by one
       zeroed record). */
    int mseparatepolyline(int id, _KTNODE *node);

    /* ---- connections ---------------------------------------------------- */
    /* A connection records that end a of polyline A continues into end b of
       polyline B at the node where both end (see _KTPOLYLINE prev/next).
       Both halves are added or neither; no connection is added that would
       let a chain of connections return to its first polyline, and a
       polyline flagged KTVEC_POLYLINE_SINGLE takes no second connection at
       an end (that refusal answers 0).

       Connects the polyline leaving `joint` towards node a with the one
       leaving it towards node b.  0; KTVEC_REFUSED (a or b null or equal,
       joint without links, a or b not a neighbour of joint, a polyline
       missing); KTVEC_SAME_POLYLINE; KTVEC_NOT_AN_END (joint is not an end
       of one of them); KTVEC_LOOP; KTVEC_NO_MEMORY. */
    int mconnectpolyline(_KTNODE *joint, _KTNODE *a, _KTNODE *b);
    /* The same for a stroke drawn across a joint: its midpoint picks the
       nearest node where polylines meet (within half the stroke's length
       plus one pixel), each stroke end the branch it lies beside.  0 also
       when no such node is found; KTVEC_REFUSED when no live node lies near
       the midpoint; otherwise the results above.  Leaves the find marks of
       its search. */
    int mconnectpolyline(int x1, int y1, int x2, int y2);
    /* Removes the connection between polylines a and b (either sign) at
       `joint` from both lists.  A polyline closed at the joint loses it
       from whichever list holds it, its start's first. */
    void mdisconnectpolyline(int a, _KTNODE *joint, int b);

    /* ---- joints --------------------------------------------------------- */
    /* Number of the node's links whose polyline has an end at the node (a
       polyline closed there counts twice); 0 without links. */
    int mcountend(_KTNODE *node);
    /* Writes one entry of 4 ints per connection held at the node, each
       connection once: (A, A's node next to the joint, B, B's node next to
       the joint), polyline ids positive.  Returns the number of ints
       written (4 per entry).  The buffer must hold 4 ints for every entry
       of the connection list of each end that lies on the node: at most
       4 * (the sum, over the node's links, of the prevnum or nextnum of the
       link's polyline at the node) ints. */
    int mgetjointinfo(_KTNODE *node, int *info);
    /* Sets jointmark on the polylines through the node (or on the polyline
       ref names) and on everything connected to them, directly or through
       other joints.  Marks stay until munmarkjointpolyline, which clears
       jointmark on every record. */
    void markjointpolyline(_KTNODE *node);
    void markjointpolyline(int ref);
    void munmarkjointpolyline();

    /* ---- node clean-up -------------------------------------------------- */
    /* Every operation here keeps links, polylines, connections and the row
       index consistent.  A failure stops it and is returned; the steps done
       before it stay. */
    /* 1 when n has two links with opposite ids (inside one polyline). */
    int mismiddlenode(_KTNODE *n);
    /* Deletes n: a middle node is skipped (mskipnode); any other node is
       marked deleted, loses its connections, leaves its row and is unlinked
       from every neighbour.  0 or KTVEC_NO_MEMORY (the steps done before
       stay). */
    int mdeletenode(_KTNODE *n);
    /* Removes every link pair between a and b, then rebuilds each polyline
       that used one.  0 or KTVEC_NO_MEMORY (when room for more than eight
       ids cannot be had, before anything changes; or from a rebuild). */
    int munlinknode(_KTNODE *a, _KTNODE *b);
    /* Deletes the polyline of an end node or a middle node n, with its nodes
       of one or two links; junctions stay.  0 (also when n joins two
       polylines or its polyline is already deleted); KTVEC_REFUSED (n has no
       link or more than two); KTVEC_NO_POLYLINES; KTVEC_NO_MEMORY. */
    int mdeletepolyline(_KTNODE *n);
    /* Removes a node of two links and links its neighbours directly (the
       new link keeps both areas plus the triangle cut off), then rebuilds
       the polyline of the first neighbour's link.  Where n joins two
       polylines, the second neighbour's record keeps its own polyline's id
       (the centre-line clean-up may leave such a pair).  0, KTVEC_REFUSED
       (n does not have two links), KTVEC_NO_MEMORY from the rebuild. */
    int mskipnode(_KTNODE *n);
    /* Merges b into a: a moves to the integer midpoint (truncated toward
       zero) and takes over b's links; b is deleted and keeps its old link
       array.  0 or KTVEC_NO_MEMORY (nothing changed). */
    int mergenode(_KTNODE *a, _KTNODE *b);
    int massimilatenode(_KTNODE *a, _KTNODE *b);  /* = mergenode */

    /* ---- fitting and simplification -------------------------------------- */
    /* The fitting operations refuse a polyline whose modify is already 1 and
       set it on the polyline they fit; the all-polyline forms clear every
       mark first.

       Spline through the nodes of polyline id (either sign), sampled into
       its splinex/spliney: (knots - 1) * division samples, first and last
       on the end nodes; periodic when the polyline is closed.  0 (also when
       refused because modify is already 1), KTVEC_NO_POLYLINES,
       KTVEC_NO_MEMORY when memory fails or division < 0.  Fewer than two
       knots (one node, or all nodes on one pixel) or division 0: splinenum
       0 and no sample arrays; a failed fit also leaves splinenum 0 and no
       arrays.  msplineold: the same with the earlier knot rule. */
    int mspline(int id, int division);
    int msplineold(int id, int division);
    /* Arc on every link of polyline id whose area fits a circle with radius
       in minradius .. maxradius, px (the limits are kept for refitting).
       0, KTVEC_REFUSED when modify is already 1, KTVEC_NO_POLYLINES.
       Allocates nothing. */
    int marc(int id, double minradius, double maxradius);
    /* marc() on every live polyline with nodes; each one fitted gets
       KTVEC_POLYLINE_ARC. */
    void marcall(double minradius, double maxradius);
    /* Moves the closed polyline through the two-link `node` onto the circle
       through three of its nodes (regular spacing) and flags it
       KTVEC_POLYLINE_CIRCLE.  0 (done, or not a two-link node, or not
       closed), KTVEC_REFUSED (modify already 1, fewer than 4 entries, radius
       above maxradius, or the three nodes collinear or coinciding), or
       KTVEC_NO_MEMORY when a row cannot grow (the node being moved goes back
       where it was; nodes moved before it stay on the circle).  Node
       positions are rounded (+0.5, truncated) and clamped to 0 .. width-1
       and 0 .. height-1 on all four edges. */
    int mfitcircle(double maxradius, _KTNODE *node);
    /* mfitcircle() from the second node of every live polyline (open ones
       are left as they are). */
    void mfitcircleall(double maxradius);
    /* Removes the middle nodes of polyline id where the path turns by less
       than `angle` (radians) next to a link shorter than `dist` (px); of a
       run of such nodes every other one goes per call.  The joined links
       keep the deviation of both old links.  The polyline is rebuilt and
       marked modified.  0; KTVEC_REFUSED (no such polyline, or modify
       already 1); KTVEC_NO_POLYLINES; KTVEC_NO_MEMORY from the rebuild (the
       nodes removed so far stay removed). */
    int mnearpoint(int id, double dist, double angle);
    /* mnearpoint() on every live polyline; 0 or the last negative result. */
    int mnearpointall(double dist, double angle);
    /* On a polyline fitted with arcs (KTVEC_POLYLINE_ARC), removes the
       middle nodes between two links whose arcs agree: radius and centre
       within tolerance times the first radius.  0; KTVEC_REFUSED (no such
       polyline, modify already 1, or not flagged arc); KTVEC_NO_POLYLINES;
       KTVEC_LINK_MISSING (a link between consecutive nodes is missing: the
       nodes removed before stay, the polyline is not rebuilt);
       KTVEC_NO_MEMORY from the rebuild. */
    int msamecurvature(int id, double tolerance);
    /* msamecurvature() on every live polyline; 0 or the last negative
       result. */
    int msamecurvatureall(double tolerance);

    /* ---- selection and search ------------------------------------------- */
    /* Nodes carry two marks in `flag`: KTVEC_NODE_SELECT, the user's
       selection, which accumulates until cleared, and KTVEC_NODE_FIND, the
       result of the last search, which every search clears before it
       marks.  Deleted nodes are never marked, counted or returned.  None of
       these fails: a search that finds no memory for its bookkeeping works
       through the whole node array instead. */
    void mclearselect();                    /* select off on every node */
    void mclearfind();                      /* find off on every node */
    int mgetselectnodenum();                /* live nodes selected */
    int mgetfindnodenum();                  /* live nodes found */
    /* Selects the live nodes inside the rectangle (corners in any order,
       edges included); the number newly selected. */
    int mselectnode(int x1, int y1, int x2, int y2);
    /* The live node nearest to (x, y) within 1.414 * selectradius, selected;
       null (nothing selected) when there is none.  The two-point form runs
       both searches, then selects. */
    void mselectnode1(int x, int y, _KTNODE *&node);
    void mselectnode2(int x1, int y1, int x2, int y2, _KTNODE *&node1,
                      _KTNODE *&node2);
    /* Selects the run of the polyline a and b share, from whichever comes
       first along it to the other, both included.  0; KTVEC_REFUSED when
       they share no polyline or the walk breaks (nodes selected before
       stay selected). */
    int mselectnodes(_KTNODE *a, _KTNODE *b);
    /* The polyline id of an end node (as its link stores it: negative on
       the polyline's end) or of a middle node (positive); KTVEC_REFUSED for
       any other node. */
    int mselectpolyline(_KTNODE *node);
    /* 1 when a live node lies in the square of half-width r around (x, y),
       else 0 (also without row records).  Marks nothing. */
    int msearchnodefast(int x, int y, int r);
    /* The live node nearest to (x, y) within 1.414 * r (the lowest index
       among equals), or null.  The nodes within reach keep the find mark. */
    _KTNODE *msearchNN(int x, int y, double r);

    /* ---- editing ---------------------------------------------------------- */
    /* Inserts a new node into a link near (x, y): among the forward links of
       the live nodes, the last one (node and link order, not the nearest)
       whose foot parameter t lies strictly between margin and 1 - margin
       and whose perpendicular distance is below maxdistance.  The node goes
       to the foot, truncated and clamped into the raster (a negative margin
       lets the foot fall beyond the link); the link's areas are scaled by
       t^2 and (1-t)^2; the polyline is rebuilt and marked modified.
       1 inserted, 0 no link qualifies (nothing changes), KTVEC_NO_MEMORY (a
       failure before the node exists changes nothing; one in the rebuild
       leaves the node in place and the polyline record to be rebuilt
       again). */
    int minsertnode(double x, double y, double margin, double maxdistance);
    /* Moves a node to (x, y), clamped into the raster (0 .. width-1,
       0 .. height-1).  Within its row only x changes and the row is sorted
       again; to another row the node leaves the old row's index and enters
       the new one sorted.  The lengths of its links and of their twins
       follow; every polyline through the node is marked modified, also when
       it does not move.  0; KTVEC_REFUSED for a null, foreign or deleted
       node; KTVEC_NO_MEMORY when the new row cannot grow (the node stays
       where it was). */
    int movenode(_KTNODE *node, int x, int y);
    /* movenode(), then joins the node to the nearest suitable node within
       2 pixels (same rule as the clean-up's attach step; a join that finds
       no memory is left undone).  0 or the negative result of
       movenode(). */
    int movenodeattach(_KTNODE *node, int x, int y);
    /* Rebuilds (and marks modified) the polyline of a's first link; a must
       have a link, b is not used.  Always 0, also when the rebuild fails. */
    int msharpencorner(_KTNODE *a, _KTNODE *b);
    /* Reserved; changes nothing and returns 0. */
    int maddnode1(int a, int b);
    /* Cuts a V into the polyline at `node`, an inner node of one polyline
       (two links with opposite ids).  On each side the polyline is followed
       to where it leaves the circle of `radius` (px) around the node: the
       last node inside is moved onto the crossing, or a new node is put on
       the node's own link.  The node then moves `depth` (px) off the chord
       to the side where the document is black at the first candidate (the
       document is read with outside pixels white), clamped into the raster,
       and the polyline is rebuilt.  The rows the side nodes and the node
       end up in are left in x order.  0; KTVEC_REFUSED when the notch
       cannot be made (not an inner node, deleted or foreign node, radius
       negative or not finite, depth not finite, a side ends or comes back
       to the node inside the circle, five nodes of a side inside it, no
       crossing); KTVEC_NO_MEMORY when memory is short, with nothing
       changed (every block is obtained before the first change).  When the
       second side cannot be made, the first side's node is still moved or
       made and the polyline rebuilt. */
    int maddnotch(_KTNODE *node, double radius, double depth);

    /* ---- change tracking and undo --------------------------------------- */
    /* Refits every live polyline whose modify is 1: as arcs (with the last
       arc limits) when flagged KTVEC_POLYLINE_ARC, as a spline (with the
       last division) when flagged KTVEC_POLYLINE_SPLINE, and clears its
       mark; a polyline flagged neither keeps its mark.  A fit that fails
       for memory leaves that polyline without samples. */
    void mreflectmodify();
    /* Makes this vectorizer's vector layer (nodes with their links, the row
       index, polylines with every list and sample array) a deep copy of
       source's; source is not changed.  Keep a second vectorizer as the
       snapshot: copy into it before an edit, and back to undo.  0 and
       canundo 1 (also when source is this vectorizer); KTVEC_REFUSED for a
       null source; KTVEC_NO_MEMORY with canundo 0 and the layers copied
       completely kept (nodes, then rows, then polylines), the rest empty:
       consistent, releasable and copyable into again. */
    int mundo(CKTVector *source);
    /* Bytes a copy of the vector layer takes, counted with the record sizes
       of the 32-bit interface; saturates at INT_MAX. */
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
       first record to b.  The id of that record as stored, or
       KTVEC_NO_MEMORY (nothing changed). */
    int minsertnode(int a, int b, double t);
    /* 1 when the document is black at (x, y) or a 4-neighbour; on the first
       and last row the row itself stands for the missing one; pixels
       outside the document are white. */
    int mcheckfront(int x, int y);
};

#endif /* KTVEC_H */
