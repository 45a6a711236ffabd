// qorfil2 - the filter library: turns a 1-bit document into the working
// raster of the vectorizer (a skeleton or outlines), class CPenoDoc.
//
// Bitmaps: 1 bit per pixel, 1 = black, most significant bit = leftmost pixel,
// rows of m_bytesperline bytes.  Only the first `m_width` pixels of a row are
// image; bits beyond them (padding) are read as white and written as 0.
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
    int m_option;            // filter options; 0 = the defaults (the
                             // vectorizer always passes 0)

    // Each method takes two buffers of m_height * m_bytesperline bytes with
    // the document's row layout and returns 0 (or -1000 when it could not
    // obtain memory; see the implementation notes).
    int mdeutschfilter(unsigned char *out, unsigned char *work);      // thinning
    int moutlinefilter(unsigned char *work, unsigned char *out);      // outlines
    int m1sideoutlinefilter(unsigned char *work, unsigned char *out); // one-side outlines

private:
    CPenoDoc(const CPenoDoc &) = delete;
    CPenoDoc &operator=(const CPenoDoc &) = delete;
};

#endif
