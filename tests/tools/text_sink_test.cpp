// Numbers in the output text: the hand-written form of whole and half
// numbers is exactly the shortest text that reads back to the same double,
// and so is every other number.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include "text_sink.h"

namespace {

std::string shortest(double v) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string written(double v) {
    ktvcli::TextSink s;
    s.number(v);
    return s.text();
}

TEST(TextSink, HalfNumbersAsTheShortestText) {
    // Every whole and half number in the range of the hand-written form and
    // a little beyond it, both signs.
    for (long t = -200010; t <= 200010; ++t) {
        const double v = t / 2.0;
        if (v == 0) continue;
        ASSERT_EQ(written(v), shortest(v)) << v;
    }
    EXPECT_EQ(written(0.0), "0");
    EXPECT_EQ(written(-0.0), "0");
    EXPECT_EQ(written(-0.5), "-0.5");
    EXPECT_EQ(written(100000.0), "1e+05");
    EXPECT_EQ(written(99999.5), "99999.5");
}

TEST(TextSink, OtherNumbersAsTheShortestText) {
    std::uint64_t s = 12345;
    for (int i = 0; i < 200000; ++i) {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        const double scale = std::ldexp(1.0, static_cast<int>(s >> 58) - 20);
        const double v = (static_cast<double>(s >> 11) / 9007199254740992.0 - 0.5) * scale;
        if (v == 0) continue;
        ASSERT_EQ(written(v), shortest(v)) << v;
        const double q = std::round(v * 4) / 4;  // quarters: not on the hand-written path
        if (q != 0) {
            ASSERT_EQ(written(q), shortest(q)) << q;
        }
    }
    EXPECT_EQ(written(std::nan("")), "0");
    EXPECT_EQ(written(INFINITY), "0");
}

}  // namespace
