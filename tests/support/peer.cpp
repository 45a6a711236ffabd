#include "peer.h"

#include <cstdlib>

#include "edit/find.h"
#include "vectorizer/impl.h"

namespace {

CKTVectorImpl &impl(CKTVector &v) {
    CKTVectorImpl *in = CKTVectorImpl::make(v);
    if (!in) std::abort();  // a broken test environment, not a result
    return *in;
}

}  // namespace

int &CKTVectorTestPeer::linerows(CKTVector &v) { return impl(v).linerows; }
int &CKTVectorTestPeer::polylineblock(CKTVector &v) { return impl(v).polylineblock; }
int CKTVectorTestPeer::mnextfound(CKTVector &v, int after) { return ktv::next_found(v, after); }
bool &CKTVectorTestPeer::findtracking(CKTVector &v) { return impl(v).findtracking; }
bool &CKTVectorTestPeer::findreference(CKTVector &v) { return impl(v).findreference; }
