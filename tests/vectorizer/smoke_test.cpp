#include <gtest/gtest.h>
#include "ktvec.h"
TEST(Smoke, Constructs) { CKTVector v; EXPECT_EQ(v.mgetnodenum(), 0); }
