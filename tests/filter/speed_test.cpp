// Filter throughput on synthetic technical drawings, against a plain
// bit-parallel Zhang-Suen thinning to convergence.  Skipped unless the
// environment variable KTVEC_FILTER_BENCH is set ("a4", "a0" or "a4,a0").
#include <gtest/gtest.h>

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "qorfil2.h"
#include "shapes.h"

#if __has_include("drawing.h")
#include "drawing.h"
#define KTVEC_FILTER_HAVE_DRAWING 1
#endif

namespace {

// Plain Zhang-Suen: both sub-iterations over every word until nothing
// changes, removal masks computed from the unchanged raster, no tracking.
class PlainZhangSuen {
public:
    PlainZhangSuen(const unsigned char *bits, int width, int height, int stride)
        : h_(height), n_((width + 63) / 64 + 2), w_((size_t)n_ * (height + 2), 0), d_(w_.size(), 0) {
        const int used = (width + 7) / 8;
        for (int y = 0; y < height; ++y)
            for (int b = 0; b < used; ++b) {
                std::uint64_t v = bits[(size_t)y * stride + b];
                if (8 * b + 8 > width) v &= 0xFFu << (8 * b + 8 - width);
                at(y)[1 + b / 8] |= v << (56 - 8 * (b % 8));
            }
    }
    int run() {
        int it = 0;
        for (bool changed = true; changed; ++it) changed = pass(0) | pass(1);
        return it;
    }
    long count() const {
        long c = 0;
        for (std::uint64_t v : w_) c += __builtin_popcountll(v);
        return c;
    }

private:
    std::uint64_t *at(int y) { return w_.data() + (size_t)(y + 1) * n_; }
    bool pass(int second) {
        for (int y = 0; y < h_; ++y) {
            const std::uint64_t *u = at(y - 1), *m = at(y), *d = at(y + 1);
            std::uint64_t *del = d_.data() + (size_t)(y + 1) * n_;
            for (int k = 1; k < n_ - 1; ++k) {
                const std::uint64_t c = m[k];
                if (!c) {
                    del[k] = 0;
                    continue;
                }
                auto R = [](std::uint64_t a, std::uint64_t b) { return (a << 1) | (b >> 63); };
                auto L = [](std::uint64_t a, std::uint64_t b) { return (b >> 1) | (a << 63); };
                const std::uint64_t p[8] = {u[k], R(u[k], u[k + 1]), R(m[k], m[k + 1]), R(d[k], d[k + 1]),
                                            d[k], L(d[k - 1], d[k]), L(m[k - 1], m[k]), L(u[k - 1], u[k])};
                std::uint64_t ge[8] = {0};  // ge[i]: at least i+1 neighbours
                for (std::uint64_t v : p)
                    for (int i = 7; i >= 0; --i) ge[i] |= (i ? ge[i - 1] : ~0ull) & v;
                std::uint64_t one = 0, many = 0;
                for (int i = 0; i < 8; ++i) {
                    const std::uint64_t t = ~p[i] & p[(i + 1) % 8];
                    many |= one & t;
                    one |= t;
                }
                // p[0] N, p[2] E, p[4] S, p[6] W
                const std::uint64_t side = second ? ~(p[0] & p[2] & p[6]) & ~(p[0] & p[4] & p[6])
                                                  : ~(p[0] & p[2] & p[4]) & ~(p[2] & p[4] & p[6]);
                del[k] = c & ge[1] & ~ge[6] & one & ~many & side;
            }
        }
        bool changed = false;
        for (size_t i = 0; i < w_.size(); ++i)
            if (d_[i] & w_[i]) {
                w_[i] &= ~d_[i];
                changed = true;
            }
        return changed;
    }
    int h_, n_;
    std::vector<std::uint64_t> w_, d_;
};

// Best of `runs`, in processor time of this thread (user and system), which
// a loaded machine disturbs much less than the wall clock.
double thread_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}
template <class F> double best_seconds(int runs, F f) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const double t0 = thread_seconds();
        f();
        best = std::min(best, thread_seconds() - t0);
    }
    return best;
}

TEST(Speed, SyntheticDrawings) {
    const char *env = std::getenv("KTVEC_FILTER_BENCH");
    if (!env) GTEST_SKIP() << "set KTVEC_FILTER_BENCH=a4,a0 to measure";
#ifndef KTVEC_FILTER_HAVE_DRAWING
    GTEST_SKIP() << "the drawing generator is not built";
#else
    for (const ktvdraw::PageSize &page : {ktvdraw::kPageA4, ktvdraw::kPageA0}) {
        std::string name = page.name;
        for (char &c : name) c = (char)std::tolower((unsigned char)c);
        if (std::string(env).find(name) == std::string::npos) continue;
        ktvdraw::DrawingOptions opt;
        opt.dpi = page.dpi;
        const ktvdraw::Canvas canvas = ktvdraw::render_drawing(page.width, page.height, 1, opt);
        const double mpx = (double)page.width * page.height / 1e6;
        std::vector<unsigned char> out(canvas.bits().size()), work(out.size());
        CPenoDoc doc;
        doc.m_image = const_cast<unsigned char *>(canvas.data());
        doc.m_width = page.width;
        doc.m_bytesperline = canvas.stride();
        doc.m_height = page.height;
        const int runs = page.width > 5000 ? 3 : 10;
        const double thin = best_seconds(runs, [&] { doc.mdeutschfilter(out.data(), work.data()); });
        const double outline = best_seconds(runs, [&] { doc.moutlinefilter(work.data(), out.data()); });
        const double oneside = best_seconds(runs, [&] { doc.m1sideoutlinefilter(work.data(), out.data()); });
        int iterations = 0;
        long zspixels = 0;
        const double zs = best_seconds(runs, [&] {
            PlainZhangSuen z(canvas.data(), page.width, page.height, canvas.stride());
            iterations = z.run();
            zspixels = z.count();
        });
        std::printf("%s %dx%d (%.1f Mpx, %.1f%% black), best thread time\n", page.name, page.width, page.height, mpx,
                    100.0 * canvas.count() / (mpx * 1e6));
        std::printf("  thinning          %8.1f ms %8.0f Mpx/s\n", thin * 1e3, mpx / thin);
        std::printf("  outline           %8.1f ms %8.0f Mpx/s\n", outline * 1e3, mpx / outline);
        std::printf("  one-side outline  %8.1f ms %8.0f Mpx/s\n", oneside * 1e3, mpx / oneside);
        std::printf("  plain Zhang-Suen  %8.1f ms %8.0f Mpx/s (%d iterations, %ld px, incl. loading)\n",
                    zs * 1e3, mpx / zs, iterations, zspixels);
    }
#endif
}

}  // namespace
