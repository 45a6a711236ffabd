// Reading a fuzzer's byte string as a sequence of choices.  Every read is
// defined on any input: once the bytes run out each read answers 0, so a
// short input is a valid (if dull) case rather than a rejected one.
#ifndef KTVEC_FUZZ_INPUT_H
#define KTVEC_FUZZ_INPUT_H

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

class FuzzInput {
public:
    FuzzInput(const std::uint8_t *data, std::size_t size) : data_(data), left_(size) {}

    bool empty() const { return left_ == 0; }
    std::size_t left() const { return left_; }

    std::uint8_t byte() {
        if (!left_) return 0;
        --left_;
        return *data_++;
    }
    unsigned u16() { return byte() | static_cast<unsigned>(byte()) << 8; }
    std::int32_t i32() {
        std::uint32_t v = u16();
        v |= static_cast<std::uint32_t>(u16()) << 16;
        return static_cast<std::int32_t>(v);
    }
    // 0 .. n-1 (0 when n <= 0).
    int below(int n) { return n <= 0 ? 0 : static_cast<int>(u16() % static_cast<unsigned>(n)); }

    // An integer argument: mostly small and ordinary, sometimes an edge of
    // the int range, zero or negative.
    int int_arg() {
        static const int edges[] = {0, -1, 1, 2, -2, 1000000, -1000000,
                                    std::numeric_limits<int>::max(), std::numeric_limits<int>::min()};
        const std::uint8_t k = byte();
        if (k < 200) return k % 12;
        if (k < 240) return edges[k % (sizeof edges / sizeof *edges)];
        return i32();
    }

    // A floating argument: ordinary values in small steps, or an extreme one
    // (negative, zero, huge, tiny, infinite, NaN), or any bit pattern.
    double double_arg() {
        static const double edges[] = {0.0, -0.0, -1.0, -1e9, 1e9, 1e300, -1e300, 1e-300,
                                       std::numeric_limits<double>::infinity(),
                                       -std::numeric_limits<double>::infinity(),
                                       std::numeric_limits<double>::quiet_NaN(),
                                       std::numeric_limits<double>::denorm_min(), 0.999999, 1.000001};
        const std::uint8_t k = byte();
        if (k < 200) return (k % 50) * 0.25 - (k >= 150 ? 10.0 : 0.0);
        if (k < 240) return edges[k % (sizeof edges / sizeof *edges)];
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits = bits << 8 | byte();
        double d;
        static_assert(sizeof d == sizeof bits, "64-bit double");
        __builtin_memcpy(&d, &bits, sizeof d);
        return d;
    }

    // A cosine-like argument: in -1 .. 1 mostly, extreme sometimes.
    double cosine_arg() {
        const std::uint8_t k = byte();
        if (k < 220) return (k % 41) / 20.0 - 1.0;
        return double_arg();
    }

private:
    const std::uint8_t *data_;
    std::size_t left_;
};

#endif
