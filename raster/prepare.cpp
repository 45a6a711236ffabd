// Raster preparation: one call into the filter library turns the host's
// document into the working raster `thindata` (a skeleton for centre lines,
// contours for outlines).
#include <new>

#include "ktvec.h"
#include "filter/qorfil2.h"
#include "raster/raster.h"
#include "vectorizer/memory.h"

namespace {
enum Method { kThinning, kOutline, kOneSideOutline };
}

int CKTVector::mprepare(int method) {
    if (!filter) {
        void *block = ktv::mem_alloc(sizeof(CPenoDoc));
        if (!block) return -1000;
        filter = new (block) CPenoDoc();
    }
    filter->m_image = document;
    filter->m_width = width;
    filter->m_bytesperline = bytesperline;
    filter->m_height = height;
    filter->m_option = 0;

    const std::size_t bytes = ktv::raster_bytes(height, bytesperline);
    ktv::release(thindata);
    thindata = ktv::alloc_array<unsigned char>(bytes);
    if (!thindata) return -1000;
    unsigned char *scratch = ktv::alloc_array<unsigned char>(bytes);
    if (!scratch) return -1000;

    switch (method) {
    case kThinning: filter->mdeutschfilter(thindata, scratch); break;
    case kOutline: filter->moutlinefilter(scratch, thindata); break;
    default: filter->m1sideoutlinefilter(scratch, thindata); break;
    }
    ktv::mem_free(scratch);
    return 0;
}

int CKTVector::makethindata() { return mprepare(kThinning); }
int CKTVector::makeoutlinedata() { return mprepare(kOutline); }
int CKTVector::make1sideoutlinedata() { return mprepare(kOneSideOutline); }
