// A small stroke font: each glyph is a few polylines on a 4 x 6 grid (y down,
// baseline at 6), drawn as thick lines.  Advance 6 units per character, so a
// text of height h takes h per character.
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "drawing.h"

namespace ktvdraw {

namespace {
constexpr double kGridHeight = 6.0;
constexpr double kAdvance = 6.0;

// Polylines separated by ';', points "x,y" separated by spaces.
const char *glyph(char c) {
    switch (c) {
    case '0': return "1,0 3,0 4,1 4,5 3,6 1,6 0,5 0,1 1,0; 0,5 4,1";
    case '1': return "1,1 2,0 2,6; 1,6 3,6";
    case '2': return "0,1 1,0 3,0 4,1 4,2 0,6 4,6";
    case '3': return "0,0 4,0 2,2 3,2 4,3 4,5 3,6 1,6 0,5";
    case '4': return "3,6 3,0 0,4 4,4";
    case '5': return "4,0 0,0 0,3 3,3 4,4 4,5 3,6 0,6";
    case '6': return "4,0 1,0 0,1 0,5 1,6 3,6 4,5 4,4 3,3 0,3";
    case '7': return "0,0 4,0 1,6";
    case '8': return "1,3 0,2 0,1 1,0 3,0 4,1 4,2 3,3 1,3 0,4 0,5 1,6 3,6 4,5 4,4 3,3";
    case '9': return "0,6 3,6 4,5 4,1 3,0 1,0 0,1 0,2 1,3 4,3";
    case 'A': return "0,6 2,0 4,6; 1,3 3,3";
    case 'B': return "0,3 3,3 4,4 4,5 3,6 0,6 0,0 3,0 4,1 4,2 3,3";
    case 'C': return "4,1 3,0 1,0 0,1 0,5 1,6 3,6 4,5";
    case 'D': return "0,0 0,6 2,6 4,4 4,2 2,0 0,0";
    case 'E': return "4,0 0,0 0,6 4,6; 0,3 3,3";
    case 'F': return "4,0 0,0 0,6; 0,3 3,3";
    case 'G': return "4,1 3,0 1,0 0,1 0,5 1,6 3,6 4,5 4,3 2,3";
    case 'H': return "0,0 0,6; 4,0 4,6; 0,3 4,3";
    case 'I': return "1,0 3,0; 2,0 2,6; 1,6 3,6";
    case 'J': return "4,0 4,5 3,6 1,6 0,5";
    case 'K': return "0,0 0,6; 4,0 0,4; 1,3 4,6";
    case 'L': return "0,0 0,6 4,6";
    case 'M': return "0,6 0,0 2,3 4,0 4,6";
    case 'N': return "0,6 0,0 4,6 4,0";
    case 'O': return "1,0 3,0 4,1 4,5 3,6 1,6 0,5 0,1 1,0";
    case 'P': return "0,6 0,0 3,0 4,1 4,2 3,3 0,3";
    case 'Q': return "1,0 3,0 4,1 4,5 3,6 1,6 0,5 0,1 1,0; 2,4 4,6";
    case 'R': return "0,6 0,0 3,0 4,1 4,2 3,3 0,3; 2,3 4,6";
    case 'S': return "4,1 3,0 1,0 0,1 0,2 1,3 3,3 4,4 4,5 3,6 1,6 0,5";
    case 'T': return "0,0 4,0; 2,0 2,6";
    case 'U': return "0,0 0,5 1,6 3,6 4,5 4,0";
    case 'V': return "0,0 2,6 4,0";
    case 'W': return "0,0 1,6 2,3 3,6 4,0";
    case 'X': return "0,0 4,6; 4,0 0,6";
    case 'Y': return "0,0 2,3 4,0; 2,3 2,6";
    case 'Z': return "0,0 4,0 0,6 4,6";
    case '-': return "1,3 3,3";
    case '+': return "0,3 4,3; 2,1 2,5";
    case '=': return "0,2 4,2; 0,4 4,4";
    case '/': return "0,6 4,0";
    case '.': return "2,6 2,6";
    case ',': return "2,5 1,7";
    case ':': return "2,2 2,2; 2,5 2,5";
    case '(': return "3,0 2,1 2,5 3,6";
    case ')': return "1,0 2,1 2,5 1,6";
    case '%': return "1,1 3,1 4,2 4,4 3,5 1,5 0,4 0,2 1,1; 0,6 4,0";  // diameter
    default: return "";
    }
}

// Calls emit(x0, y0, x1, y1) for every stroke of the glyph in grid units.
template <class Emit> void for_each_stroke(char c, Emit emit) {
    const char *s = glyph((char)std::toupper((unsigned char)c));
    bool have = false;
    double px = 0, py = 0;
    while (*s) {
        if (*s == ';') { have = false; ++s; continue; }
        if (*s == ' ') { ++s; continue; }
        char *end = nullptr;
        double x = std::strtod(s, &end);
        if (end == s || *end != ',') return;  // malformed table entry
        s = end + 1;
        double y = std::strtod(s, &end);
        if (end == s) return;
        s = end;
        if (have) emit(px, py, x, y);  // a dot is a point repeated: "2,6 2,6"
        have = true;
        px = x;
        py = y;
    }
}
}  // namespace

double Canvas::text_length(double height, const std::string &s) {
    return (double)s.size() * height * (kAdvance / kGridHeight);
}

double Canvas::text(double x, double y, double height, const std::string &s, double width,
                    double angle) {
    double scale = height / kGridHeight;
    double ux = std::cos(angle), uy = std::sin(angle);  // along the baseline
    double vx = -uy, vy = ux;                           // grid y (downwards)
    double cx = x, cy = y;
    for (char c : s) {
        // grid (gx, gy): baseline at gy = 6, so the glyph's top is at -height
        for_each_stroke(c, [&](double gx0, double gy0, double gx1, double gy1) {
            double ax = gx0 * scale, ay = (gy0 - kGridHeight) * scale;
            double bx = gx1 * scale, by = (gy1 - kGridHeight) * scale;
            thick_line(cx + ux * ax + vx * ay, cy + uy * ax + vy * ay,
                       cx + ux * bx + vx * by, cy + uy * bx + vy * by, width);
        });
        cx += ux * kAdvance * scale;
        cy += uy * kAdvance * scale;
    }
    return text_length(height, s);
}

}  // namespace ktvdraw
