// Test access to the vectorizer's private members.  One forwarding function
// per private member that a test calls; add to it as tests need.
#ifndef KTVEC_TEST_PEER_H
#define KTVEC_TEST_PEER_H

#include "ktvec.h"

struct CKTVectorTestPeer {
    static int &linerows(CKTVector &v) { return v.linerows; }
    static int mcountpixel(CKTVector &v) { return v.mcountpixel(); }
    static _KTPOINT *mgetpoint(CKTVector &v, int x, int y) { return v.mgetpoint(x, y); }
    static void mfreepoint(CKTVector &v) { v.mfreepoint(); }
    static void mfreesegment(CKTVector &v) { v.mfreesegment(); }
    static void mfreespline(CKTVector &v) { v.mfreespline(); }
    static _KTSEGMENT *add_segment(CKTVector &v) { return v.mgetsegment(); }
    static int registpoint(CKTVector &v, _KTSEGMENT *s, _KTPOINT *p) { return v.mregistpoint(s, p); }
};
using Peer = CKTVectorTestPeer;

#endif
