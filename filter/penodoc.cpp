// Placeholder filters: copy the document (to be replaced by the real filters).
#include "qorfil2.h"

#include <cstring>

CPenoDoc::CPenoDoc() : m_image(nullptr), m_width(0), m_bytesperline(0), m_height(0), m_option(0) {}
CPenoDoc::~CPenoDoc() {}

static void copy_doc(const CPenoDoc &d, unsigned char *out) {
    if (d.m_height > 0 && d.m_bytesperline > 0)
        std::memcpy(out, d.m_image, (size_t)d.m_height * (size_t)d.m_bytesperline);
}
int CPenoDoc::mdeutschfilter(unsigned char *out, unsigned char *) { copy_doc(*this, out); return 0; }
int CPenoDoc::moutlinefilter(unsigned char *, unsigned char *out) { copy_doc(*this, out); return 0; }
int CPenoDoc::m1sideoutlinefilter(unsigned char *, unsigned char *out) { copy_doc(*this, out); return 0; }
