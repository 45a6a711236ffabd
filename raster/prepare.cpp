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

// The filter object is made on first use and kept; the working raster is
// replaced.  0 or KTVEC_NO_MEMORY.
int prepare(CKTVector &v, int method) {
    if (!v.filter) {
        void *block = ktv::mem_alloc(sizeof(CPenoDoc));
        if (!block) return KTVEC_NO_MEMORY;
        v.filter = new (block) CPenoDoc();
    }
    v.filter->m_image = v.document;
    v.filter->m_width = v.width;
    v.filter->m_bytesperline = v.bytesperline;
    v.filter->m_height = v.height;
    v.filter->m_option = 0;

    const std::size_t bytes = ktv::raster_bytes(v.height, v.bytesperline);
    ktv::release(v.thindata);
    v.thindata = ktv::alloc_array<unsigned char>(bytes);
    if (!v.thindata) return KTVEC_NO_MEMORY;
    unsigned char *scratch = ktv::alloc_array<unsigned char>(bytes);
    if (!scratch) return KTVEC_NO_MEMORY;

    switch (method) {
    case kThinning: v.filter->mdeutschfilter(v.thindata, scratch); break;
    case kOutline: v.filter->moutlinefilter(scratch, v.thindata); break;
    default: v.filter->m1sideoutlinefilter(scratch, v.thindata); break;
    }
    ktv::mem_free(scratch);
    return 0;
}

}  // namespace

int CKTVector::makethindata() { return prepare(*this, kThinning); }
int CKTVector::makeoutlinedata() { return prepare(*this, kOutline); }
int CKTVector::make1sideoutlinedata() { return prepare(*this, kOneSideOutline); }
