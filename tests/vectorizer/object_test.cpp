// The vectorizer object: initial state, documents, accessors and the
// release operations.
#include <gtest/gtest.h>

#include "bitmap.h"
#include "peer.h"
#include "vectorizer/memory.h"

TEST(Object, FreshState) {
    CKTVector v;
    EXPECT_EQ(v.canundo, 0);
    EXPECT_EQ(v.document, nullptr);
    EXPECT_EQ(v.lineinfo, nullptr);
    EXPECT_EQ(v.filter, nullptr);
    EXPECT_EQ(v.thindata, nullptr);
    EXPECT_EQ(v.point, nullptr);
    EXPECT_EQ(v.segment, nullptr);
    EXPECT_EQ(v.node, nullptr);
    EXPECT_EQ(v.polyline, nullptr);
    EXPECT_EQ(v.splineknotx, nullptr);
    EXPECT_EQ(v.splineparam, nullptr);
    EXPECT_EQ(v.nodenum + v.nodecapacity + v.polylinenum + v.polylinecapacity + v.segmentnum +
                  v.segmentcapacity + v.pointnum + v.width + v.height + v.bytesperline +
                  v.polylineid + v.splinetablenum + v.splinedivision + v.tracex + v.tracey,
              0);
    EXPECT_EQ(v.selectradius, 5.0);
    EXPECT_EQ(v.arcminradius, 1.0);
    EXPECT_EQ(v.arcmaxradius, 1000.0);
    EXPECT_EQ(v.mgetthindata(), nullptr);
    EXPECT_EQ(v.mgetnode(), nullptr);
    EXPECT_EQ(v.mgetpolyline(), nullptr);
}

TEST(Object, DocumentStrideRules) {
    unsigned char data[64] = {};
    struct { int width, bpl; } cases[] = {{17, 3}, {16, 2}, {0, 0}, {1, 1}, {8, 1}, {9, 2}};
    for (auto c : cases) {
        CKTVector v;
        v.msetdocument(data, c.width, 7);
        EXPECT_EQ(v.bytesperline, c.bpl) << c.width;
        EXPECT_EQ(v.width, c.width);
        EXPECT_EQ(v.height, 7);
        EXPECT_EQ(v.document, data);
    }
    CKTVector v;
    v.msetdocument(data, 10, 4, 6);  // stride before height
    EXPECT_EQ(v.bytesperline, 4);
    EXPECT_EQ(v.height, 6);
}

TEST(Object, NodeAccessorChecksItsIndex) {
    CKTVector v;
    EXPECT_EQ(v.mgetnode(0), nullptr);
    v.node = ktv::alloc_zeroed<_KTNODE>(4);
    v.nodecapacity = 4;
    v.nodenum = 2;
    v.node[1].deleted = 1;
    EXPECT_EQ(v.mgetnode(-1), nullptr);
    EXPECT_EQ(v.mgetnode(2), nullptr);
    EXPECT_EQ(v.mgetnode(1), &v.node[1]);  // deleted nodes are returned too
    EXPECT_EQ(v.mgetnodenum(), 2);
}

TEST(Object, PolylineIdsAndFlags) {
    CKTVector v;
    v.msetarc(1);  // no polyline array: nothing happens
    v.msetspline(1);
    v.msetline(1);
    v.polyline = ktv::alloc_zeroed<_KTPOLYLINE>(3);
    v.polylinenum = v.polylinecapacity = 3;
    EXPECT_EQ(v.mgetpolyline(3), v.mgetpolyline(-3));
    EXPECT_EQ(v.mgetpolyline(-1), &v.polyline[0]);
    v.msetarc(2);
    v.msetspline(2);
    EXPECT_EQ(v.polyline[1].flag, 3);
    v.polyline[1].flag |= 4 | 8;
    v.msetline(2);
    EXPECT_EQ(v.polyline[1].flag, 12);  // circle and single untouched
    v.msetmodify(1);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(v.polyline[i].modify, 1);
    v.msetmodify(-2, 0);
    EXPECT_EQ(v.mismodify(2), 0);
    EXPECT_EQ(v.mismodify(3), 1);
    EXPECT_EQ(v.mgetcanundo(), 0);
    v.msetcanundo(1);
    EXPECT_EQ(v.mgetcanundo(), 1);
}

TEST(Object, ReleasingPolylinesClearsNodeMarksEvenWithoutPolylines) {
    CKTVector v;
    v.node = ktv::alloc_zeroed<_KTNODE>(4);
    v.nodecapacity = 4;
    v.nodenum = 3;
    for (int i = 0; i < 3; ++i) v.node[i].flag = 3;
    v.mfreepolyline();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(v.node[i].flag, 0);
}

TEST(Object, ReleaseOperationsCanRunTwice) {
    Bitmap b = Bitmap::from_ascii({"#####", "#...#", "#####"});
    CKTVector v;
    load_working_raster(v, b);
    ASSERT_EQ(v.minitbuffer(), 0);
    ASSERT_EQ(v.mtrace(), 0);
    for (int round = 0; round < 2; ++round) {
        Peer::mfreepoint(v);
        Peer::mfreesegment(v);
        Peer::mfreespline(v);
        v.mfreenode();
        v.mfreelineinfo();
        v.mfreepolyline();
        EXPECT_EQ(v.point, nullptr);
        EXPECT_EQ(v.pointnum, 0);
        EXPECT_EQ(v.segment, nullptr);
        EXPECT_EQ(v.segmentnum + v.segmentcapacity, 0);
        EXPECT_EQ(v.lineinfo, nullptr);
        EXPECT_EQ(v.node, nullptr);
        EXPECT_EQ(v.polyline, nullptr);
    }
}

TEST(Object, RowRecordsAreReleasedWithTheCountTheyWereMadeFor) {
    Bitmap b(8, 6);
    CKTVector v;
    load_working_raster(v, b);
    ASSERT_EQ(v.minitbuffer(), 0);
    for (int y = 0; y < 6; ++y) v.lineinfo[y].nodeindex = ktv::alloc_zeroed<int>(4);
    v.msetdocument(b.data(), 8, 2);  // a smaller document: the old 6 rows still go
    EXPECT_EQ(Peer::linerows(v), 6);
    v.mfreelineinfo();  // the sanitizer build reports a leak if a row is missed
    EXPECT_EQ(Peer::linerows(v), 0);
}

TEST(Object, DestroyingWithoutDocumentIsFine) {
    CKTVector *v = new CKTVector();
    delete v;
}
