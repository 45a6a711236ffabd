// ktvec_drawgen: writes a synthetic technical drawing as PBM (P4) or 1-bit PNG.
//
//   ktvec_drawgen [--size a4|a0|WxH] [--dpi D] [--seed N] [--clean] [--truth]
//                 [--vectors FILE.txt] -o FILE.pbm|FILE.png
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "drawing.h"
#include "groundtruth.h"
#include "imagefile.h"

namespace {
void usage(std::FILE *to) {
    std::fprintf(to,
                 "usage: ktvec_drawgen [options] -o FILE\n"
                 "  -o FILE          output; .png writes a 1-bit PNG, anything else PBM (P4)\n"
                 "  --size S         a4 (2480x3508, 300 dpi), a0 (13244x18724, 400 dpi) or WxH;\n"
                 "                   default a4\n"
                 "  --dpi D          scale of the drawing (stroke widths, part sizes); default\n"
                 "                   300 for a4 and WxH, 400 for a0\n"
                 "  --seed N         drawing layout and noise seed; default 1\n"
                 "  --clean          no scanner noise (smooth borders, no specks)\n"
                 "  --format pbm|png override the format chosen by the extension\n"
                 "  --truth          a ground-truth sheet of known vectors instead of a drawing:\n"
                 "                   lines at all angles, circles, arcs, junctions, crossings\n"
                 "  --vectors FILE   also write the drawn vectors, one per line, page coordinates\n"
                 "                   (pixel (x, y) covers [x, x+1) x [y, y+1)), angles in radians:\n"
                 "                     line X0 Y0 X1 Y1 WIDTH\n"
                 "                     arc CX CY R A0 A1 WIDTH\n"
                 "                     polygon N X1 Y1 ... XN YN\n");
}

std::string write_vectors(const std::string &path, const std::vector<ktvdraw::Primitive> &prims) {
    std::FILE *f = std::fopen(path.c_str(), "w");
    if (!f) return "cannot create " + path;
    for (const ktvdraw::Primitive &p : prims) {
        switch (p.kind) {
        case ktvdraw::Primitive::Line:
            std::fprintf(f, "line %.4f %.4f %.4f %.4f %g\n", p.x0, p.y0, p.x1, p.y1, p.width);
            break;
        case ktvdraw::Primitive::Arc:
            std::fprintf(f, "arc %.4f %.4f %.4f %.6f %.6f %g\n", p.cx, p.cy, p.r, p.a0, p.a1, p.width);
            break;
        case ktvdraw::Primitive::Polygon:
            std::fprintf(f, "polygon %zu", p.points.size());
            for (const ktvdraw::Point &q : p.points) std::fprintf(f, " %.4f %.4f", q.x, q.y);
            std::fprintf(f, "\n");
            break;
        }
    }
    return std::fclose(f) == 0 ? "" : "cannot write " + path;
}

bool ends_with(const std::string &s, const char *tail) {
    std::size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}
}  // namespace

int main(int argc, char **argv) {
    std::string out, format, size = "a4", vectors;
    bool truth = false;
    unsigned long long seed = 1;
    double dpi = 0;
    bool clean = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "ktvec_drawgen: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "-o") out = value();
        else if (a == "--size") size = value();
        else if (a == "--seed") seed = std::strtoull(value().c_str(), nullptr, 10);
        else if (a == "--dpi") dpi = std::atof(value().c_str());
        else if (a == "--format") format = value();
        else if (a == "--clean") clean = true;
        else if (a == "--truth") truth = true;
        else if (a == "--vectors") vectors = value();
        else if (a == "-h" || a == "--help") { usage(stdout); return 0; }
        else {
            std::fprintf(stderr, "ktvec_drawgen: unknown option %s\n", a.c_str());
            usage(stderr);
            return 2;
        }
    }
    if (out.empty()) {
        usage(stderr);
        return 2;
    }
    int w = 0, h = 0;
    double page_dpi = 300;
    if (size == "a4" || size == "A4") { w = ktvdraw::kPageA4.width; h = ktvdraw::kPageA4.height; page_dpi = ktvdraw::kPageA4.dpi; }
    else if (size == "a0" || size == "A0") { w = ktvdraw::kPageA0.width; h = ktvdraw::kPageA0.height; page_dpi = ktvdraw::kPageA0.dpi; }
    else if (std::sscanf(size.c_str(), "%dx%d", &w, &h) != 2 || w <= 0 || h <= 0 || w > 100000 || h > 100000) {
        std::fprintf(stderr, "ktvec_drawgen: bad --size %s\n", size.c_str());
        return 2;
    }
    if (format.empty()) format = ends_with(out, ".png") || ends_with(out, ".PNG") ? "png" : "pbm";
    if (format != "png" && format != "pbm") {
        std::fprintf(stderr, "ktvec_drawgen: bad --format %s\n", format.c_str());
        return 2;
    }
    ktvdraw::DrawingOptions opt;
    opt.dpi = dpi > 0 ? dpi : page_dpi;
    opt.noise = !clean;
    opt.record = !vectors.empty();
    ktvdraw::GroundTruthOptions gt;
    gt.noise = !clean;
    auto t0 = std::chrono::steady_clock::now();
    ktvdraw::Canvas c = truth ? ktvdraw::render_ground_truth(w, h, seed, gt)
                              : ktvdraw::render_drawing(w, h, seed, opt);
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::string err = format == "png" ? ktvdraw::write_png(out, w, h, c.stride(), c.data())
                                      : ktvdraw::write_pbm(out, w, h, c.stride(), c.data());
    if (err.empty() && !vectors.empty()) err = write_vectors(vectors, c.primitives());
    if (!err.empty()) {
        std::fprintf(stderr, "ktvec_drawgen: %s\n", err.c_str());
        return 1;
    }
    std::fprintf(stderr, "ktvec_drawgen: %s %dx%d, %ld black pixels, rendered in %.0f ms\n",
                 out.c_str(), w, h, c.count(), ms);
    return 0;
}
