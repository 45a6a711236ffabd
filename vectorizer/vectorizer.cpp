// The vectorizer object: construction, destruction, the document, the plain
// accessors and setters, and the release operations that empty one layer.
#include "ktvec.h"

#include <new>

#include "filter/qorfil2.h"
#include "vectorizer/expect.h"
#include "vectorizer/impl.h"
#include "vectorizer/memory.h"

CKTVectorImpl *CKTVectorImpl::make(CKTVector &v) {
    if (!v.impl) {
        void *block = ktv::mem_alloc(sizeof(CKTVectorImpl));
        if (block) v.impl = new (block) CKTVectorImpl();
    }
    return v.impl;
}

void CKTVectorImpl::release(CKTVector &v) {
    CKTVectorImpl *in = v.impl;
    if (!in) return;
    ktv::release(in->findlist);
    ktv::release(in->chainwork);
    ktv::release(in->rowhint);
    in->~CKTVectorImpl();
    ktv::mem_free(in);
    v.impl = nullptr;
}

CKTVector::CKTVector()
    : canundo(0), document(nullptr), width(0), height(0), bytesperline(0), lineinfo(nullptr),
      filter(nullptr), thindata(nullptr), pointnum(0), point(nullptr), segment(nullptr),
      segmentcapacity(0), segmentnum(0), tracex(0), tracey(0), selectradius(5.0),
      arcminradius(1.0), arcmaxradius(1000.0), polylineid(0), nodenum(0), nodecapacity(0),
      node(nullptr), polyline(nullptr), polylinenum(0), polylinecapacity(0), splinetablenum(0),
      splinedivision(0), splineknotx(nullptr), splineknoty(nullptr), splineperiodic(nullptr),
      splinezx(nullptr), splinezy(nullptr), splinediag(nullptr), splinestep(nullptr),
      splineparam(nullptr), impl(nullptr) {}

CKTVector::~CKTVector() {
    ktv::release(thindata);
    mfreepoint();
    mfreesegment();
    mfreenode();
    mfreepolyline();
    mfreelineinfo();
    mfreespline();
    CKTVectorImpl::release(*this);
    if (filter) {
        filter->~CPenoDoc();
        ktv::mem_free(filter);
        filter = nullptr;
    }
}

// ---- document -------------------------------------------------------------

void CKTVector::msetdocument(unsigned char *data, int w, int h) {
    document = data;
    width = w;
    height = h;
    bytesperline = w / 8 + (w % 8 != 0 ? 1 : 0);
}

void CKTVector::msetdocument(unsigned char *data, int w, int bpl, int h) {
    document = data;
    width = w;
    height = h;
    bytesperline = bpl;
}

// ---- accessors and setters -------------------------------------------------

int CKTVector::mgetcanundo() { return canundo; }
void CKTVector::msetcanundo(int value) { canundo = value; }
unsigned char *CKTVector::mgetthindata() { return thindata; }
_KTNODE *CKTVector::mgetnode() { return node; }

_KTNODE *CKTVector::mgetnode(int index) {
    if (!node || index < 0 || index >= nodenum) return nullptr;
    return &node[index];
}

int CKTVector::mgetnodenum() { return nodenum; }
_KTPOLYLINE *CKTVector::mgetpolyline() { return polyline; }

_KTPOLYLINE *CKTVector::mgetpolyline(int id) {
    KTV_EXPECT(polyline && id != 0 && id >= -polylinenum && id <= polylinenum,
               "a polyline id names a record: 1 <= |id| <= polylinenum");
    return &polyline[id >= 1 ? id - 1 : -id - 1];
}

int CKTVector::mgetpolylinenum() { return polylinenum; }

void CKTVector::msetarc(int id) {
    KTV_EXPECT(!polyline || (id >= 1 && id <= polylinenum), "a flag setter's id is 1 .. polylinenum");
    if (polyline) polyline[id - 1].flag |= KTVEC_POLYLINE_ARC;
}

void CKTVector::msetspline(int id) {
    KTV_EXPECT(!polyline || (id >= 1 && id <= polylinenum), "a flag setter's id is 1 .. polylinenum");
    if (polyline) polyline[id - 1].flag |= KTVEC_POLYLINE_SPLINE;
}

void CKTVector::msetline(int id) {
    KTV_EXPECT(!polyline || (id >= 1 && id <= polylinenum), "a flag setter's id is 1 .. polylinenum");
    if (polyline) polyline[id - 1].flag &= static_cast<unsigned char>(~(KTVEC_POLYLINE_ARC | KTVEC_POLYLINE_SPLINE));
}

void CKTVector::msetmodify(unsigned char value) {
    for (int i = 0; i < polylinenum; ++i) polyline[i].modify = value;
}

void CKTVector::msetmodify(int id, unsigned char value) { mgetpolyline(id)->modify = value; }

unsigned char CKTVector::mismodify(int id) { return mgetpolyline(id)->modify; }

// ---- release ------------------------------------------------------------------
// Records past the used count but within the capacity are zero-filled, so
// releasing by capacity frees exactly the arrays that exist.

void CKTVector::mfreepoint() {
    ktv::release(point);
    pointnum = 0;
}

void CKTVector::mfreesegment() {
    if (segment) {
        for (int i = 0; i < segmentcapacity; ++i) ktv::release(segment[i].pointlist);
        ktv::release(segment);
    }
    segmentnum = 0;
    segmentcapacity = 0;
    if (CKTVectorImpl *in = CKTVectorImpl::of(*this)) in->segmentblock = 0;
}

void CKTVector::mfreenode() {
    if (node) {
        for (int i = 0; i < nodecapacity; ++i) ktv::release(node[i].link);
        ktv::release(node);
    }
    nodenum = 0;
    nodecapacity = 0;
    if (CKTVectorImpl *in = CKTVectorImpl::of(*this)) in->nodeblock = 0;
}

void CKTVector::mfreelineinfo() {
    CKTVectorImpl *in = CKTVectorImpl::of(*this);
    if (lineinfo) {
        // The rows made are counted in linerows: a new document may have
        // changed `height` since the records were allocated.
        for (int i = 0; i < ktv::row_count(*this); ++i) ktv::release(lineinfo[i].nodeindex);
        ktv::release(lineinfo);
    }
    if (!in) return;
    in->linerows = 0;
    ktv::release(in->rowhint);
    in->rowhintrows = 0;
}

void CKTVector::mfreepolyline() {
    if (polyline) {
        // By capacity: a record beyond polylinenum may hold lists of a split
        // that failed before it counted the new polyline.
        for (int i = 0; i < polylinecapacity; ++i) {
            _KTPOLYLINE &p = polyline[i];
            ktv::release(p.nodeindex);
            ktv::release(p.splinex);
            ktv::release(p.spliney);
            ktv::release(p.prev);
            ktv::release(p.next);
        }
        ktv::release(polyline);
    }
    polylinenum = 0;
    polylinecapacity = 0;
    if (CKTVectorImpl *in = CKTVectorImpl::of(*this)) in->polylineblock = 0;
    for (int i = 0; i < nodenum; ++i) node[i].flag &= static_cast<unsigned char>(~(KTVEC_NODE_SELECT | KTVEC_NODE_FIND));
}

void CKTVector::mfreespline() {
    ktv::release(splineknotx);
    ktv::release(splineknoty);
    ktv::release(splineperiodic);
    ktv::release(splinezx);
    ktv::release(splinezy);
    ktv::release(splinediag);
    ktv::release(splinestep);
    ktv::release(splineparam);
}
