// qorfil2 - the filter library: turns a 1-bit document into the working
// raster of the vectorizer (a skeleton or outlines), class CPenoDoc.
//
// Bitmaps: 1 bit per pixel, 1 = black, most significant bit = leftmost pixel,
// rows of m_bytesperline bytes.  Only the first `m_width` pixels of a row are
// image; bits beyond them (padding) are read as white and written as 0, and
// so is every byte of a row beyond ceil(m_width / 8).
//
// The three filters:
//  - mdeutschfilter: the skeleton.  Lines one pixel wide and 8-thin (every
//    pixel either ends a line or cannot be removed without changing the
//    topology), centred in their strokes, with the same 8-connected black
//    components and 4-connected white components as the document.  Stroke
//    ends recede by about half the stroke width; bumps of up to four pixels
//    on jagged edges leave no spur, while the drawing's own one-pixel lines
//    keep their ends, however close to a junction (the overshoot of two
//    lines past a corner, the arms of a cross).  One exception to 8-thin:
//    a T whose junction pixel has another junction within two pixels (the
//    ties between two thin lines a few pixels apart) keeps the line's pixel
//    above its stem, so that its junction lies on the line (filter/tees.h).
//    Thinning a skeleton returns it unchanged.
//  - moutlinefilter: the outlines.  The boundary pixels of every black area,
//    outer boundaries and holes alike (black pixels not inside a wide area,
//    see filter/boundary.h), thinned to convergence with the same rules as
//    the skeleton: each boundary of a wide area becomes an 8-thin closed
//    curve whose pixels all have two non-touching neighbours; strokes up to
//    about four pixels wide, where outer and inner boundary touch, become
//    one line like their skeleton.
//  - m1sideoutlinefilter: the quick outlines for the driver without
//    post-processing.  The same boundary pixels with at most four thinning
//    iterations instead of thinning to convergence.  That removes the
//    corners and staircase pixels of curves one or two pixels thick, so wide
//    areas give the same closed curves as moutlinefilter and strokes up to
//    about four pixels wide the same line; wider bands of boundary (rare:
//    ragged parts just too narrow to have an inside) may keep a few
//    removable pixels.  Its cost is bounded: the boundary pass plus sixteen
//    thinning sub-cycles, most of them over the few words still changing.
//
// Memory: the filters work on a word-aligned copy of the raster (about 1.1
// times the raster, one allocation); the outline filters keep a second
// full plane in the two caller buffers, or, where those are too small for
// it (rows of fewer bytes than whole 64-pixel words take), in the same
// allocation.  When that cannot be obtained they run in the two caller
// buffers instead, a few times more slowly, with an identical result.
//
// Threads: on the word-aligned copy, large images are cut into row bands
// that run on separate threads (m_threads); the result is the same pixel
// for pixel whatever the number of bands.
#ifndef QORFIL2_H
#define QORFIL2_H

class CPenoDoc {
public:
    CPenoDoc();
    ~CPenoDoc();

    // Image descriptor, stored by the caller before each filter call.
    unsigned char *m_image;  // source bitmap, not owned, not modified
    int m_width;             // pixels per row
    int m_bytesperline;      // bytes from one row to the next
    int m_height;            // rows
    int m_option;            // bit flags, 0 = the defaults (the vectorizer
                             // always passes 0):
                             //  kKeepAllEnds: keep every end pixel as soon
                             //   as it appears (no spur control; stroke ends
                             //   recede less, bumps on edges become spurs)
                             //  kNoCopy: work in the caller's buffers without
                             //   allocating (the low-memory path)
    enum { kKeepAllEnds = 1, kNoCopy = 2 };
    int m_threads;           // row bands run at once: 0 = one per processor
                             // core for large images (the default), 1 = all
                             // on the calling thread, n = n bands

    // Each method takes two buffers of m_height * m_bytesperline bytes with
    // the document's row layout and returns 0.  The result buffer (first for
    // mdeutschfilter, second for the outline filters) receives the filtered
    // raster; the other one is scratch.  A document with no pixels (null
    // image, width or height < 1) gives an all-white result.
    int mdeutschfilter(unsigned char *out, unsigned char *work);      // thinning
    int moutlinefilter(unsigned char *work, unsigned char *out);      // outlines
    int m1sideoutlinefilter(unsigned char *work, unsigned char *out); // one-side outlines

private:
    CPenoDoc(const CPenoDoc &) = delete;
    CPenoDoc &operator=(const CPenoDoc &) = delete;

    enum Mode { kSkeleton, kOutline, kOneSideOutline };
    int mfilter(Mode mode, unsigned char *out, unsigned char *work);
};

#endif
