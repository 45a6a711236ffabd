// Word views of a packed 1-bit raster.
//
// The filters work on 64-pixel words (words.h): bit 63 is the leftmost pixel
// of a word, bit 0 the rightmost, so the pixel to the right of bit i is bit
// i-1.  Word k of row y covers pixels 64k .. 64k+63.  Both views answer 0 for
// every word outside the raster, so a filter never needs an edge case:
// the page is surrounded by white.
//
//  - WordPlane: an owned, word-aligned copy with a white guard border of
//    kGuardRows rows above and below and kGuardWords words left and right.
//    Reads anywhere inside the guard are plain loads.
//  - ByteRowPlane: a view of caller memory in the document's own byte layout
//    (arbitrary stride).  Every access checks its bounds and assembles the
//    word from big-endian bytes.  It needs no memory of its own and is the
//    path taken when the aligned copy cannot be allocated.
//
// Invariant kept by every writer: bits beyond the image width are 0.
#ifndef QORFIL2_BITPLANE_H
#define QORFIL2_BITPLANE_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "words.h"

namespace qorfil {

constexpr int kGuardRows = 4;   // the widest row window of a filter is y-4 .. y+4
constexpr int kGuardWords = 2;  // and of words k-2 .. k+2

using ktv::last_word_mask;
using ktv::load_be;
using ktv::store_be;
using ktv::used_bytes;
using ktv::words_for;

class WordPlane {
public:
    WordPlane() = default;
    // `storage` must hold required_words(width, height) words.
    void attach(std::uint64_t *storage, int width, int height) {
        width_ = width;
        height_ = height;
        nw_ = words_for(width);
        stride_ = (std::size_t)nw_ + 2 * kGuardWords;
        data_ = storage;
    }
    static std::size_t required_words(int width, int height) {
        return ((std::size_t)words_for(width) + 2 * kGuardWords) *
               ((std::size_t)height + 2 * kGuardRows);
    }
    void clear() { std::memset(data_, 0, required_words(width_, height_) * 8); }
    // Zeroes the guard border only (the rows above and below, the words left
    // and right); the words of the image itself are left as they are.
    void clear_guard() {
        clear_guard_rows();
        clear_guard_sides(0, height_);
    }
    // The guard rows above and below the image.
    void clear_guard_rows() {
        const std::size_t rows = (std::size_t)height_ + 2 * kGuardRows;
        std::memset(data_, 0, kGuardRows * stride_ * 8);
        std::memset(data_ + (rows - kGuardRows) * stride_, 0, kGuardRows * stride_ * 8);
    }
    // The guard words left and right of rows y0 .. y1-1.  On a fresh block
    // this is the first touch of every page of those rows, which is what
    // costs: threads clearing their own rows share it.
    void clear_guard_sides(int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            std::uint64_t *p = data_ + (std::size_t)(y + kGuardRows) * stride_;
            for (int k = 0; k < kGuardWords; ++k) p[k] = p[stride_ - 1 - k] = 0;
        }
    }

    int width() const { return width_; }
    int height() const { return height_; }
    int words() const { return nw_; }

    // Rows -kGuardRows .. height+kGuardRows-1, words -kGuardWords .. nw+kGuardWords-1.
    class Row {
    public:
        explicit Row(std::uint64_t *p) : p_(p) {}
        std::uint64_t at(int k) const { return p_[k]; }
        void put(int k, std::uint64_t v) const { p_[k] = v; }

    private:
        std::uint64_t *p_;
    };
    Row row(int y) const {
        return Row(data_ + (std::size_t)(y + kGuardRows) * stride_ + kGuardWords);
    }

    // Copies rows y0 .. y1-1 of a document in; padding bits beyond `width`
    // are dropped.  The guard is not touched (clear_guard).
    void load_rows(const unsigned char *doc, int bytesperline, int y0, int y1) {
        const int used = used_bytes(width_);
        const std::uint64_t tailmask = last_word_mask(width_);
        for (int y = y0; y < y1; ++y) {
            const unsigned char *src = doc + (std::size_t)y * (std::size_t)bytesperline;
            Row r = row(y);
            for (int k = 0; k < nw_; ++k) {
                int n = used - 8 * k;
                std::uint64_t w = load_be(src + 8 * (std::size_t)k, n);
                if (k == nw_ - 1) w &= tailmask;
                r.put(k, w);
            }
        }
    }
    // Writes rows y0 .. y1-1 of the raster out in document layout; every
    // byte of those rows is written, bytes beyond the image as 0.
    void store_rows(unsigned char *out, int bytesperline, int y0, int y1) const {
        const int used = used_bytes(width_);
        for (int y = y0; y < y1; ++y) {
            unsigned char *dst = out + (std::size_t)y * (std::size_t)bytesperline;
            Row r = row(y);
            for (int k = 0; k < nw_; ++k) store_be(dst + 8 * (std::size_t)k, used - 8 * k, r.at(k));
            if (bytesperline > used) std::memset(dst + used, 0, (std::size_t)(bytesperline - used));
        }
    }

private:
    std::uint64_t *data_ = nullptr;
    std::size_t stride_ = 0;
    int width_ = 0, height_ = 0, nw_ = 0;
};

// A plane of whole words, native order, packed row after row without
// guard into caller memory that is not otherwise in use: the rows that fit
// into the first buffer, the rest into the second.  Every access checks its
// bounds (outside reads as white), and the words need not be aligned.
// It lets a filter keep a second full-size plane in the result and scratch
// buffers it is handed instead of touching fresh memory for it.
class FlatPlane {
public:
    FlatPlane(unsigned char *first, std::size_t firstbytes, unsigned char *second, int width, int height)
        : first_(first), second_(second), height_(height), nw_(words_for(width)),
          rowbytes_((std::size_t)nw_ * 8), split_(rows_in(firstbytes, width, height)) {}
    // Whether two buffers of these sizes hold the plane.
    static bool fits(std::size_t firstbytes, std::size_t secondbytes, int width, int height) {
        const std::size_t rowbytes = (std::size_t)words_for(width) * 8;
        return ((std::size_t)height - (std::size_t)rows_in(firstbytes, width, height)) * rowbytes <= secondbytes;
    }

    int height() const { return height_; }
    int words() const { return nw_; }

    class Row {
    public:
        Row(unsigned char *p, int nw) : p_(p), nw_(nw) {}
        std::uint64_t at(int k) const {
            std::uint64_t v = 0;
            if (p_ && k >= 0 && k < nw_) std::memcpy(&v, p_ + 8 * (std::size_t)k, 8);
            return v;
        }
        void put(int k, std::uint64_t v) const {
            if (p_ && k >= 0 && k < nw_) std::memcpy(p_ + 8 * (std::size_t)k, &v, 8);
        }

    private:
        unsigned char *p_;
        int nw_;
    };
    Row row(int y) const {
        if (y < 0 || y >= height_) return Row(nullptr, 0);
        if (y < split_) return Row(first_ + (std::size_t)y * rowbytes_, nw_);
        return Row(second_ + (std::size_t)(y - split_) * rowbytes_, nw_);
    }

private:
    static int rows_in(std::size_t bytes, int width, int height) {
        const std::size_t rowbytes = (std::size_t)words_for(width) * 8;
        const std::size_t rows = rowbytes ? bytes / rowbytes : 0;
        return rows < (std::size_t)height ? (int)rows : height;
    }
    unsigned char *first_, *second_;
    int height_, nw_;
    std::size_t rowbytes_;
    int split_;
};

class ByteRowPlane {
public:
    ByteRowPlane(unsigned char *base, int width, int height, int bytesperline)
        : base_(base), width_(width), height_(height), bpl_(bytesperline),
          nw_(words_for(width)), used_(used_bytes(width)) {}

    int width() const { return width_; }
    int height() const { return height_; }
    int words() const { return nw_; }

    class Row {
    public:
        Row(unsigned char *p, int nw, int used) : p_(p), nw_(nw), used_(used) {}
        std::uint64_t at(int k) const {
            if (!p_ || k < 0 || k >= nw_) return 0;
            return load_be(p_ + 8 * (std::size_t)k, used_ - 8 * k);
        }
        void put(int k, std::uint64_t v) const {
            if (!p_ || k < 0 || k >= nw_) return;
            store_be(p_ + 8 * (std::size_t)k, used_ - 8 * k, v);
        }

    private:
        unsigned char *p_;
        int nw_, used_;
    };
    Row row(int y) const {
        if (y < 0 || y >= height_) return Row(nullptr, 0, 0);
        return Row(base_ + (std::size_t)y * (std::size_t)bpl_, nw_, used_);
    }

    // Copies a document into this memory (which may be the same buffer) in
    // the same layout, clearing padding bits and bytes.
    void load_document(const unsigned char *doc) {
        const int tailbits = width_ & 7;
        for (int y = 0; y < height_; ++y) {
            unsigned char *dst = base_ + (std::size_t)y * (std::size_t)bpl_;
            const unsigned char *src = doc + (std::size_t)y * (std::size_t)bpl_;
            if (dst != src) std::memmove(dst, src, (std::size_t)used_);
            if (tailbits && used_ > 0) dst[used_ - 1] &= (unsigned char)(0xFF00u >> tailbits);
            if (bpl_ > used_) std::memset(dst + used_, 0, (std::size_t)(bpl_ - used_));
        }
    }

private:
    unsigned char *base_;
    int width_, height_, bpl_, nw_, used_;
};

}  // namespace qorfil

#endif
