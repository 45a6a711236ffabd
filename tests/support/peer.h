// Test access to the vectorizer's private members.  One forwarding function
// per private member that a test calls; add to it as tests need.
#ifndef KTVEC_TEST_PEER_H
#define KTVEC_TEST_PEER_H

#include "ktvec.h"

struct CKTVectorTestPeer {
    // The library's own bookkeeping (made when missing), in peer.cpp: the
    // benchmark includes this header against the installed one alone.
    static int &linerows(CKTVector &v);
    static int &polylineblock(CKTVector &v);
    static int mcountpixel(CKTVector &v) { return v.mcountpixel(); }
    static _KTPOINT *mgetpoint(CKTVector &v, int x, int y) { return v.mgetpoint(x, y); }
    static void mfreepoint(CKTVector &v) { v.mfreepoint(); }
    static void mfreesegment(CKTVector &v) { v.mfreesegment(); }
    static void mfreespline(CKTVector &v) { v.mfreespline(); }
    static _KTSEGMENT *add_segment(CKTVector &v) { return v.mgetsegment(); }
    static int registpoint(CKTVector &v, _KTSEGMENT *s, _KTPOINT *p) { return v.mregistpoint(s, p); }
    // node registry, links, polyline walks
    static _KTNODE *mregistnode(CKTVector &v, int search, _KTPOINT *p) { return v.mregistnode(search, p); }
    static int menhancenode(CKTVector &v, int count) { return v.menhancenode(count); }
    static void msetlinenode(CKTVector &v) { v.msetlinenode(); }
    static void msetlinenode1(CKTVector &v, KTLINEINFO *row) { v.msetlinenode1(row); }
    static void msortpnode(CKTVector &v, int count, int *ix) { v.msortpnode(count, ix); }
    static int mregistlinenode(CKTVector &v, _KTNODE *n) { return v.mregistlinenode(n); }
    static int mregistlinenodesort(CKTVector &v, _KTNODE *n) { return v.mregistlinenodesort(n); }
    static int mdeletelinenode(CKTVector &v, _KTNODE *n) { return v.mdeletelinenode(n); }
    static _KTNODE *msearchjust(CKTVector &v, int x, int y) { return v.msearchjust(x, y); }
    static int missameid(CKTVector &v, _KTNODE *a, _KTNODE *b) { return v.missameid(a, b); }
    static int maddnodetolink(CKTVector &v, int id, double len, double sum, _KTNODE *a, _KTNODE *b) {
        return v.maddnodetolink(id, len, sum, a, b);
    }
    static int mdeletenodefromlink(CKTVector &v, _KTNODE *a, _KTNODE *b) { return v.mdeletenodefromlink(a, b); }
    static _KTNODE *msearchstartpoint(CKTVector &v, _KTNODE *n, int id) { return v.msearchstartpoint(n, id); }
    static int mregistpolyline(CKTVector &v, _KTNODE *start, int id) { return v.mregistpolyline(start, id); }
    // splines, arcs, circles
    static void mspline2(CKTVector &v, double t, double *x, double *y) { v.mspline2(t, x, y); }
    static void mspline2C(CKTVector &v, double t, double *x, double *y) { v.mspline2C(t, x, y); }
    static void mgetcenter(CKTVector &v, int id, _KTNODE *a, _KTNODE *b) { v.mgetcenter(id, a, b); }
    static void mfitcircle3(CKTVector &v, _KTNODE *a, _KTNODE *b, _KTNODE *c, double &cx, double &cy, double &r) { v.mfitcircle(a, b, c, cx, cy, r); }
    // selection and search
    static int mfindnode(CKTVector &v, int x, int y, double r) { return v.mfindnode(x, y, r); }
    static int mfindnodefast(CKTVector &v, int x, int y, int r) { return v.mfindnodefast(x, y, r); }
    static int mnextfound(CKTVector &v, int after);
    static bool &findtracking(CKTVector &v);
    // connections and chains
    static int maddprev(CKTVector &v, int id, int ref) { return v.maddprevpolyline(v.mgetpolyline(id), ref); }
    static int maddnext(CKTVector &v, int id, int ref) { return v.maddnextpolyline(v.mgetpolyline(id), ref); }
    static void mdelprev(CKTVector &v, int id, int k) { v.mdelprevpolyline(v.mgetpolyline(id), k); }
    static void mdelnext(CKTVector &v, int id, int k) { v.mdelnextpolyline(v.mgetpolyline(id), k); }
    static int mcheckjointloop(CKTVector &v, int a, int b) { return v.mcheckjointloop(a, b); }
    static int mgetpathlen(CKTVector &v, int ref) { return v.mgetpathlen(ref); }
    static void mdisconnectall(CKTVector &v, int id) { v.mdisconnectpolyline(v.mgetpolyline(id)); }
    static void mdisconnectat(CKTVector &v, _KTNODE *n) { v.mdisconnectpolyline(n); }
    static void mchangeconnect(CKTVector &v, int id, int newref) {
        v.mchangeconnectpolyline(v.mgetpolyline(id), newref);
    }
    static void mdistance(CKTVector &v, double x0, double y0, double x1, double y1, double px, double py,
                          double &t, double &d) {
        v.mdistance(x0, y0, x1, y1, px, py, t, d);
    }
    static int mcheckend(CKTVector &v, _KTNODE *n, int ref) { return v.mcheckend(n, ref); }
    // post-processing
    static void mpostprocesscenterline(CKTVector &v, int flags, double a, double b, double c, double d) {
        v.mpostprocesscenterline(flags, a, b, c, d);
    }
    static void mpostprocessoutline(CKTVector &v, int spurnodes) { v.mpostprocessoutline(spurnodes); }
    static bool &findreference(CKTVector &v);
    // joining and node clean-up
    static bool mismiddle(CKTVector &v, int n) { return v.mismiddlenode(&v.node[n]); }
    static int mlinkpolyline(CKTVector &v, _KTNODE *a, _KTNODE *b) { return v.mlinkpolyline(a, b); }
    static int mintegratepolyline2(CKTVector &v, _KTNODE *a, _KTNODE *b) { return v.mintegratepolyline(a, b); }
    static int mintegratepolyline1(CKTVector &v, _KTNODE *n) { return v.mintegratepolyline(n); }
    static int mintegratenode(CKTVector &v, _KTNODE *a, _KTNODE *b) { return v.mintegratenode(a, b); }
    static int mcheckseparator(CKTVector &v, int x1, int y1, int x2, int y2) {
        return v.mcheckseparator(x1, y1, x2, y2);
    }
    static void mifnearthenattach(CKTVector &v, _KTNODE *n, int r) { v.mifnearthenattach(n, r); }
    static void mifnearthenattachold(CKTVector &v, _KTNODE *n, int r) { v.mifnearthenattachold(n, r); }
    static double mgetcos(CKTVector &v, _KTNODE *a, _KTNODE *b, _KTNODE *c, _KTNODE *d) {
        return v.mgetcos(a, b, c, d);
    }
    // node insertion and notches
    static int minsertnode(CKTVector &v, int a, int b, double t) { return v.minsertnode(a, b, t); }
    static int mcheckfront(CKTVector &v, int x, int y) { return v.mcheckfront(x, y); }
};
using Peer = CKTVectorTestPeer;

#endif
