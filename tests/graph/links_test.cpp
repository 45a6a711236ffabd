// Link pairs: creation, lookup and removal of one half.
#include <gtest/gtest.h>

#include "chains.h"
#include "invariants.h"
#include "peer.h"
#include "vectorizer/memory.h"

namespace {

class Links : public ::testing::Test {
protected:
    void SetUp() override {
        setup_rows(v, 16, 4);
        for (int i = 0; i < 4; ++i) {
            _KTPOINT p{};
            p.x = 3 * i;
            p.y = 1;
            Peer::mregistnode(v, 0, &p);
        }
    }
    void TearDown() override { ktv::mem_fail_at(0); }
    _KTNODE *n(int i) { return &v.node[i]; }
    CKTVector v;
};

TEST_F(Links, PairCarriesOppositeIdsAndAreas) {
    ASSERT_EQ(v.mlinknode(5, 10.0, 3.0, n(0), n(1)), 0);
    ASSERT_EQ(n(0)->linknum, 1);
    ASSERT_EQ(n(1)->linknum, 1);
    const _KTNODELINK &a = n(0)->link[0];
    const _KTNODELINK &b = n(1)->link[0];
    EXPECT_EQ(a.id, 5);
    EXPECT_EQ(a.node, 1);
    EXPECT_DOUBLE_EQ(a.length, 10.0);
    EXPECT_DOUBLE_EQ(a.area, 1.5);
    EXPECT_EQ(b.id, -5);
    EXPECT_EQ(b.node, 0);
    EXPECT_DOUBLE_EQ(b.length, 10.0);
    EXPECT_DOUBLE_EQ(b.area, -1.5);
    EXPECT_EQ(a.centerx + a.centery + a.radius, 0.0);
    EXPECT_EQ(a.mark | a.arc, 0);
    EXPECT_EQ(check_graph(v, CheckOptions{true, true, false}), "");
}

TEST_F(Links, LookupMatchesEitherSign) {
    v.mlinknode(5, 1.0, 0.0, n(0), n(1));
    v.mlinknode(7, 1.0, 0.0, n(0), n(1));  // a second pair between the same nodes
    EXPECT_EQ(v.mgetnodelink(n(0), n(1), 5), &n(0)->link[0]);
    EXPECT_EQ(v.mgetnodelink(n(1), n(0), 5), &n(1)->link[0]);  // its id is -5
    EXPECT_EQ(v.mgetnodelink(n(1), n(0), -7), &n(1)->link[1]);
    EXPECT_EQ(v.mgetnodelink(n(0), n(1), 6), nullptr);
    EXPECT_EQ(v.mgetnodelink(n(0), n(2), 5), nullptr);
    EXPECT_EQ(v.mgetnodelink(n(3), n(0), 5), nullptr);  // no links at all
    EXPECT_EQ(check_graph(v, CheckOptions{true, true, false}), "");
}

TEST_F(Links, RemovalTakesTheFirstRecordAndKeepsTheOrder) {
    v.mlinknode(1, 1.0, 0.0, n(0), n(1));
    v.mlinknode(2, 1.0, 0.0, n(0), n(2));
    v.mlinknode(3, 1.0, 0.0, n(0), n(1));
    v.mlinknode(4, 1.0, 0.0, n(0), n(3));
    EXPECT_EQ(Peer::mdeletenodefromlink(v, n(0), n(1)), 1);
    ASSERT_EQ(n(0)->linknum, 3);
    EXPECT_EQ(n(0)->link[0].id, 2);
    EXPECT_EQ(n(0)->link[1].id, 3);
    EXPECT_EQ(n(0)->link[2].id, 4);
    // Not linked: 0 and nothing changes.
    EXPECT_EQ(Peer::mdeletenodefromlink(v, n(2), n(3)), 0);
    EXPECT_EQ(n(2)->linknum, 1);
}

TEST_F(Links, FailedTwinTakesTheFirstHalfBack) {
    v.mlinknode(1, 1.0, 0.0, n(0), n(1));
    ktv::mem_fail_at(2);  // the half on n(0) grows, the twin on n(2) cannot
    EXPECT_EQ(v.mlinknode(2, 1.0, 0.0, n(0), n(2)), -1000);
    EXPECT_EQ(n(0)->linknum, 1);
    EXPECT_EQ(n(2)->linknum, 0);
    ktv::mem_fail_at(1);
    EXPECT_EQ(v.mlinknode(2, 1.0, 0.0, n(3), n(2)), -1000);
    EXPECT_EQ(n(3)->linknum, 0);
    EXPECT_EQ(check_graph(v, CheckOptions{true, true, false}), "");
}

}  // namespace
