// Test bitmaps: packed 1-bit rasters built from ASCII pictures or by hand,
// and a way to put one straight into a vectorizer's working raster (so that
// tracing can be tested without the filter).
#ifndef KTVEC_TEST_BITMAP_H
#define KTVEC_TEST_BITMAP_H

#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "ktvec.h"

struct Bitmap {
    int width = 0, height = 0, bytesperline = 0;
    std::vector<unsigned char> bits;

    Bitmap() = default;
    Bitmap(int w, int h, int stride = -1);
    // Rows of '#' (black) and anything else (white), all of one length.
    static Bitmap from_ascii(std::initializer_list<const char *> rows, int stride = -1);
    static Bitmap from_ascii(const std::vector<const char *> &rows, int stride = -1);

    bool get(int x, int y) const;
    void set(int x, int y, bool black = true);
    unsigned char *data() { return bits.data(); }
    int count() const;
    std::string to_ascii() const;
};

// Drawing (pixels outside the bitmap are left out): a disc of radius r about
// (cx, cy), pixel (x, y) inside when its distance is at most r; a stroke of
// half-width r with round ends, discs along the segment.
void disc(Bitmap &b, double cx, double cy, double r);
void stroke(Bitmap &b, double x0, double y0, double x1, double y1, double r);

// A page of random size (60 .. 199 px a side) with 3 .. 12 strokes of
// random width and direction and eight one-pixel specks: junctions,
// crossings, loops and ends for the drivers and every clean-up pass.
Bitmap random_strokes(std::mt19937 &rng);

// Copies `b` into v's working raster (thindata) and sets the document
// dimensions, bypassing the filter library.
void load_working_raster(CKTVector &v, const Bitmap &b);

#endif
