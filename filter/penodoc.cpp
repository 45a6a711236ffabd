// CPenoDoc: chooses the working memory and runs the filter stages
// (boundary extraction for the outline filters, then thinning).
#include "qorfil2.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include "bands.h"
#include "bitplane.h"
#include "blocks.h"
#include "boundary.h"
#include "memory.h"
#include "tees.h"
#include "thinning.h"

CPenoDoc::CPenoDoc()
    : m_image(nullptr), m_width(0), m_bytesperline(0), m_height(0), m_option(0), m_threads(0) {}
CPenoDoc::~CPenoDoc() {}

int CPenoDoc::mdeutschfilter(unsigned char *out, unsigned char *work) {
    return mfilter(kSkeleton, out, work);
}
int CPenoDoc::moutlinefilter(unsigned char *work, unsigned char *out) {
    return mfilter(kOutline, out, work);
}
int CPenoDoc::m1sideoutlinefilter(unsigned char *work, unsigned char *out) {
    return mfilter(kOneSideOutline, out, work);
}

namespace {

// The stages on one kind of plane: both paths run exactly this code.  The
// outline filters first keep the boundary, with the inside reached in
// `reached` (null for the skeleton); the thinning keeps its removal masks
// in `ring`.
template <class Plane, class Reached>
void run_stages(Plane &img, Plane &ring, Reached *reached, qorfil::Activity act, qorfil::Word *rows,
                long iterations, bool keep_ends, const qorfil::Bands &bands, const unsigned char *document,
                int bytesperline) {
    if (reached) qorfil::keep_boundary(img, *reached, act.rowuntil, bands, rows);  // rowuntil borrowed before thinning
    qorfil::Thinner<Plane> thinner(img, ring, act, keep_ends, bands);
    // The skeleton keeps the stroke ends of the drawing itself; the outline
    // filters thin boundaries, whose ends are not stroke ends.
    if (!reached) thinner.keep_document_tips(document, bytesperline);
    thinner.mark_all();
    thinner.run(iterations);
    if (qorfil::break_blocks(img, thinner)) thinner.run(iterations);
    if (!reached) qorfil::keep_tees_on_line(img, document, bytesperline);
}

}  // namespace

int CPenoDoc::mfilter(Mode mode, unsigned char *out, unsigned char *work) {
    if (!out) return 0;
    const int width = m_width, height = m_height, bpl = m_bytesperline;
    if (height < 1 || bpl < 1) return 0;
    if (!m_image || width < 1 || bpl < qorfil::used_bytes(width) || !work) {
        std::memset(out, 0, (std::size_t)height * (std::size_t)bpl);
        return 0;
    }
    const bool outline = mode != kSkeleton;
    const long iterations = mode == kOneSideOutline ? 4 : LONG_MAX;
    const bool keep_ends = (m_option & kKeepAllEnds) != 0;

    // Fast path, one block: the aligned raster, a second plane (a few rows
    // per band for the thinning's ring of removal masks, or, for the
    // outline's inside, a full one where the caller's two buffers cannot
    // hold it) and the wake-up masks.  Every band needs its own ring rows,
    // which a full-size plane only has room for when the raster is not too
    // low.
    void *block = nullptr;
    const std::size_t nw = (std::size_t)qorfil::words_for(width);
    int nbands = qorfil::automatic_bands((int)nw, height, m_threads);
    if (nbands > qorfil::bands_for_ring(height)) nbands = qorfil::bands_for_ring(height);
    const qorfil::Bands bands(height, nbands);
    const std::size_t docbytes = (std::size_t)height * (std::size_t)bpl;
    const bool inside_in_buffers = outline && qorfil::FlatPlane::fits(docbytes, docbytes, width, height);
    const bool inside_in_tmp = outline && !inside_in_buffers;
    const int tmprows = inside_in_tmp ? height : qorfil::ring_rows(height, bands.count());
    const std::size_t planewords = qorfil::WordPlane::required_words(width, height);
    const std::size_t tmpwords = qorfil::WordPlane::required_words(width, tmprows);
    const std::size_t wakewords = qorfil::Activity::words_needed(height, (int)nw);
    const std::size_t rowwords = outline ? (std::size_t)qorfil::kMaxBands * 3 * nw : 0;  // the boundary's rows
    if (!(m_option & kNoCopy) && planewords <= SIZE_MAX / 32 && wakewords <= SIZE_MAX / 32)
        block = ktv::mem_alloc((planewords + tmpwords + wakewords + rowwords) * 8 + (std::size_t)height * sizeof(int));
    if (block) {
        std::uint64_t *words = static_cast<std::uint64_t *>(block);
        qorfil::WordPlane img, tmp;
        img.attach(words, width, height);
        tmp.attach(words + planewords, width, tmprows);
        // Each band clears and fills its own rows of both planes (a ring is
        // small and cleared here).
        img.clear_guard_rows();
        if (inside_in_tmp) tmp.clear_guard_rows();
        else tmp.clear_guard();
        bands.run([&](int band) {
            const int y0 = bands.begin(band), y1 = bands.end(band);
            img.clear_guard_sides(y0, y1);
            if (inside_in_tmp) tmp.clear_guard_sides(y0, y1);
            img.load_rows(m_image, bpl, y0, y1);
        });
        qorfil::Activity act;
        const std::size_t rowbits = (nw + 63) / 64;
        act.wake = words + planewords + tmpwords;
        act.scratch = act.wake + qorfil::kWakeSlots * (std::size_t)height * rowbits;
        qorfil::Word *rows = act.wake + wakewords;
        act.rowuntil = reinterpret_cast<int *>(rows + rowwords);
        if (inside_in_buffers) {
            // The result buffer is written only at the end, and the scratch
            // buffer not at all: the inside is kept there.
            qorfil::FlatPlane inside(out, docbytes, work, width, height);
            run_stages(img, tmp, &inside, act, rows, iterations, keep_ends, bands, m_image, bpl);
        } else {
            run_stages(img, tmp, inside_in_tmp ? &tmp : nullptr, act, rows, iterations, keep_ends, bands, m_image,
                       bpl);
        }
        bands.run([&](int band) { img.store_rows(out, bpl, bands.begin(band), bands.end(band)); });
        ktv::mem_free(block);
        return 0;
    }

    // No memory: the same stages in the caller's buffers, untracked.
    qorfil::ByteRowPlane img(out, width, height, bpl), tmp(work, width, height, bpl);
    img.load_document(m_image);
    run_stages(img, tmp, outline ? &tmp : nullptr, qorfil::Activity(), nullptr, iterations, keep_ends,
               qorfil::Bands(height, 1), m_image, bpl);
    return 0;
}
