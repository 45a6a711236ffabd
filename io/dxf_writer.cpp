// DXF output (ASCII, AutoCAD 2000 / AC1015), for CAD programs.
//
// Geometry: a node at pixel (x, y) lies at the pixel's centre, and the y
// axis is flipped so that the drawing stands upright in CAD's y-up world:
// X = (x + 0.5) * sx, Y = (H - y - 0.5) * sy, with (sx, sy) the size of one
// pixel in drawing units: 25.4 / dpi in millimetres, 1 / dpi in inches, 1
// for pixels.  The drawing's lower left corner is the image's lower left
// corner, (0, 0).
//
// Entities, one layer per kind:
//   CENTERLINES / OUTLINES  straight runs of a polyline (by command): LINE for
//                           a single link, LWPOLYLINE otherwise (closed flag
//                           for a closed polyline)
//   ARCS                    ARC for every link with a fitted arc
//   CIRCLES                 CIRCLE for a polyline snapped onto a circle
//   SPLINES                 LWPOLYLINE through the fitted spline's samples
// Pixels that are not square (fax resolutions such as 204 x 98 dpi) turn
// circles into ellipses; arcs and circles are then written as LWPOLYLINEs
// through points on the true curve instead, on the same layers.
//
// The file is written in two passes over the result: the first counts the
// entities, because the header announces the next free handle ($HANDSEED)
// before any entity is written.
#include <cmath>
#include <cstdio>
#include <vector>

#include "drawing.h"
#include "error.h"
#include "vectorizer/geometry.h"
#include "writers.h"

namespace ktvcli {

namespace {

using ktv::kPi;

enum Layer { Centerlines, Outlines, Arcs, Circles, Splines, LayerCount };
const char *const kLayerNames[LayerCount] = {"CENTERLINES", "OUTLINES", "ARCS", "CIRCLES", "SPLINES"};
// AutoCAD colour index: white/black, blue, red, green, magenta.
const int kLayerColours[LayerCount] = {7, 5, 1, 3, 6};

struct Point {
    double x, y;
};

// Pixel coordinates to drawing coordinates.
struct Frame {
    double sx = 1, sy = 1, height = 0;
    int insunits = 0;      // 0 unitless, 1 inches, 4 millimetres
    bool square() const { return sx == sy; }
    Point at(double x, double y) const { return {(x + 0.5) * sx, (height - y - 0.5) * sy}; }
};

Frame frame_for(const ResultInfo &info, int image_height) {
    std::string units = info.units;
    const bool known = info.dpi_x > 0 && info.dpi_y > 0;
    if (units.empty()) units = known ? "mm" : "px";
    Frame f;
    f.height = image_height;
    if (units == "px") return f;
    if (units != "mm" && units != "inch")
        throw CliError("--units: '" + units + "' is not mm, inch or px", true);
    if (!known)
        throw CliError("--units " + units + " needs the resolution: the input has none, give --dpi", true);
    const double per_inch = units == "mm" ? 25.4 : 1.0;
    f.sx = per_inch / info.dpi_x;
    f.sy = per_inch / info.dpi_y;
    f.insunits = units == "mm" ? 4 : 1;
    return f;
}

// ---- walking the result -------------------------------------------------------------
// The walk hands each entity to `out`, which either counts or writes it.

// Angle of p about c in degrees, 0 .. 360.
double degrees(Point c, Point p) {
    double a = std::atan2(p.y - c.y, p.x - c.x) * 180.0 / kPi;
    if (a < 0) a += 360.0;
    return a;
}

// Points along the arc piece from a to b (pixel space), end points
// included: an arc seen through unequal x and y scales.
void sample_arc(const Frame &f, const ArcPiece &arc, DrawPoint a, DrawPoint b, std::vector<Point> &pts) {
    // The angle from a to b, turned the arc's way round: the short way, or
    // for an exact half circle (either way is half a turn) its side's.
    const double from = std::atan2(a.y - arc.cy, a.x - arc.cx);
    double sweep = std::atan2(b.y - arc.cy, b.x - arc.cx) - from;
    if (arc.sweep && sweep < 0) sweep += 2 * kPi;
    if (!arc.sweep && sweep > 0) sweep -= 2 * kPi;
    const int steps = 4 + static_cast<int>(std::fabs(sweep) * 8);
    pts.clear();
    pts.push_back(f.at(a.x, a.y));
    for (int k = 1; k < steps; ++k) {
        const double t = from + sweep * k / steps;
        pts.push_back(f.at(arc.cx + arc.r * std::cos(t), arc.cy + arc.r * std::sin(t)));
    }
    pts.push_back(f.at(b.x, b.y));
}

template <class Out>
void put_arc(Out &out, const Frame &f, const ArcPiece &arc, DrawPoint a, DrawPoint b, std::vector<Point> &scratch) {
    if (!f.square()) {
        sample_arc(f, arc, a, b, scratch);
        out.polyline(Arcs, scratch, false);
        return;
    }
    const Point c = f.at(arc.cx, arc.cy), pa = f.at(a.x, a.y), pb = f.at(b.x, b.y);
    // DXF arcs run counter-clockwise from the start angle, with y up: an
    // arc of increasing angle on the page (y down) runs clockwise there, so
    // from b back to a.
    const double start = degrees(c, arc.sweep ? pb : pa), end = degrees(c, arc.sweep ? pa : pb);
    out.arc(c, arc.r * f.sx, start, end);
}

template <class Out>
void put_circle(Out &out, const Frame &f, const Circle &c, std::vector<Point> &scratch) {
    if (f.square()) {
        out.circle(f.at(c.cx, c.cy), c.r * f.sx);
        return;
    }
    scratch.clear();
    for (int k = 0; k < 72; ++k)
        scratch.push_back(f.at(c.cx + c.r * std::cos(k * kPi / 36), c.cy + c.r * std::sin(k * kPi / 36)));
    out.polyline(Circles, scratch, true);
}

template <class Out>
void put_samples(Out &out, const Frame &f, const Stroke &s, std::vector<Point> &scratch) {
    scratch.clear();
    for (const DrawPoint &p : s.points) scratch.push_back(f.at(p.x, p.y));
    if (s.closed && scratch.size() > 2 && scratch.front().x == scratch.back().x &&
        scratch.front().y == scratch.back().y)
        scratch.pop_back();
    out.polyline(Splines, scratch, s.closed);
}

// Straight runs between the arcs of one path.
template <class Out>
void put_path(Out &out, const Frame &f, const Stroke &s, Layer layer, std::vector<Point> &run,
              std::vector<Point> &scratch) {
    run.clear();
    run.push_back(f.at(s.points[0].x, s.points[0].y));
    for (std::size_t i = 1; i < s.points.size(); ++i) {
        if (i - 1 < s.pieces.size() && s.pieces[i - 1].r > 0) {
            if (run.size() >= 2) out.polyline(layer, run, false);
            put_arc(out, f, s.pieces[i - 1], s.points[i - 1], s.points[i], scratch);
            run.clear();
        }
        run.push_back(f.at(s.points[i].x, s.points[i].y));
    }
    const bool closed = s.pieces.empty() && s.closed && run.size() > 3;
    if (closed) run.pop_back();  // the closed flag draws the last link
    if (run.size() >= 2) out.polyline(layer, run, closed);
}

template <class Out>
void walk(DrawnStrokes &strokes, const ResultInfo &info, const Frame &f, Out &out) {
    const Layer base = info.command == "centerline" ? Centerlines : Outlines;
    std::vector<Point> run, scratch;
    strokes.for_each([&](const Stroke &s) {
        if (s.kind == Stroke::Kind::Circle) put_circle(out, f, s.circle, scratch);
        else if (s.points.size() < 2) return;
        else if (s.kind == Stroke::Kind::Samples) put_samples(out, f, s, scratch);
        else put_path(out, f, s, base, run, scratch);
    });
}

struct Counter {
    long entities = 0;
    void polyline(Layer, const std::vector<Point> &, bool) { ++entities; }
    void arc(Point, double, double, double) { ++entities; }
    void circle(Point, double) { ++entities; }
};

// ---- writing ------------------------------------------------------------------------

class Dxf {
public:
    explicit Dxf(TextSink &out) : out_(out) {}

    Dxf &code(int c) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%3d\n", c);
        out_.put(buf);
        return *this;
    }
    Dxf &text(int c, const char *v) {
        code(c).out_.put(v).put('\n');
        return *this;
    }
    Dxf &integer(int c, long v) {
        code(c).out_.integer(v).put('\n');
        return *this;
    }
    Dxf &real(int c, double v) {
        code(c);
        // Whole numbers keep a decimal point, as CAD programs expect of reals.
        if (v == std::floor(v) && std::fabs(v) < 1e15) out_.integer(static_cast<long long>(v)).put(".0");
        else out_.number(v);
        out_.put('\n');
        return *this;
    }
    Dxf &point(int c, Point p) { return real(c, p.x).real(c + 10, p.y).real(c + 20, 0.0); }
    Dxf &handle(int c, long h) {
        char buf[24];
        std::snprintf(buf, sizeof buf, "%lX", static_cast<unsigned long>(h));
        return text(c, buf);
    }

private:
    TextSink &out_;
};

// Fixed handles of the tables and blocks; entities follow from kFirstEntity.
enum Handle : long {
    hVportTable = 1, hLtypeTable, hLayerTable, hStyleTable, hViewTable, hUcsTable, hAppidTable,
    hDimstyleTable, hBlockRecordTable, hVport, hLtypeByBlock, hLtypeByLayer, hLtypeContinuous,
    hStyle, hAppid, hDimstyle, hModelRecord, hPaperRecord, hModelBlock, hModelEnd, hPaperBlock,
    hPaperEnd, hRootDict, hGroupDict, hFirstLayer,
    kFirstEntity = 0x100
};

struct Writer {
    Dxf &dxf;
    long next = kFirstEntity;
    void head(const char *type, Layer layer, const char *subclass) {
        dxf.text(0, type).handle(5, next++).handle(330, hModelRecord).text(100, "AcDbEntity");
        dxf.text(8, kLayerNames[layer]).text(100, subclass);
    }
    void polyline(Layer layer, const std::vector<Point> &pts, bool closed) {
        if (pts.size() == 2 && !closed) {
            head("LINE", layer, "AcDbLine");
            dxf.point(10, pts[0]).point(11, pts[1]);
            return;
        }
        head("LWPOLYLINE", layer, "AcDbPolyline");
        dxf.integer(90, static_cast<long>(pts.size())).integer(70, closed ? 1 : 0).real(43, 0.0);
        for (const Point &p : pts) dxf.real(10, p.x).real(20, p.y);
    }
    void arc(Point c, double r, double start, double end) {
        head("ARC", Arcs, "AcDbCircle");
        dxf.point(10, c).real(40, r).text(100, "AcDbArc").real(50, start).real(51, end);
    }
    void circle(Point c, double r) {
        head("CIRCLE", Circles, "AcDbCircle");
        dxf.point(10, c).real(40, r);
    }
};

void header(Dxf &dxf, const Frame &f, int width, int height, long handseed) {
    const Point lo{0, 0}, hi{width * f.sx, height * f.sy};
    dxf.text(0, "SECTION").text(2, "HEADER");
    dxf.text(9, "$ACADVER").text(1, "AC1015");
    dxf.text(9, "$DWGCODEPAGE").text(3, "ANSI_1252");
    dxf.text(9, "$INSBASE").point(10, lo);
    dxf.text(9, "$EXTMIN").point(10, lo);
    dxf.text(9, "$EXTMAX").point(10, hi);
    dxf.text(9, "$LIMMIN").real(10, lo.x).real(20, lo.y);
    dxf.text(9, "$LIMMAX").real(10, hi.x).real(20, hi.y);
    dxf.text(9, "$LUNITS").integer(70, 2);
    dxf.text(9, "$INSUNITS").integer(70, f.insunits);
    dxf.text(9, "$MEASUREMENT").integer(70, f.insunits == 1 ? 0 : 1);
    dxf.text(9, "$HANDSEED").handle(5, handseed);
    dxf.text(0, "ENDSEC");
    dxf.text(0, "SECTION").text(2, "CLASSES").text(0, "ENDSEC");
}

void table_head(Dxf &dxf, const char *name, long h, int entries) {
    dxf.text(0, "TABLE").text(2, name).handle(5, h).handle(330, 0).text(100, "AcDbSymbolTable");
    dxf.integer(70, entries);
}

void record_head(Dxf &dxf, const char *type, long h, long table, const char *subclass, const char *name,
                 int handle_code = 5) {
    dxf.text(0, type).handle(handle_code, h).handle(330, table).text(100, "AcDbSymbolTableRecord");
    dxf.text(100, subclass).text(2, name).integer(70, 0);
}

void tables(Dxf &dxf, const Frame &f, int width, int height) {
    dxf.text(0, "SECTION").text(2, "TABLES");

    // The active viewport shows the whole sheet.
    table_head(dxf, "VPORT", hVportTable, 1);
    record_head(dxf, "VPORT", hVport, hVportTable, "AcDbViewportTableRecord", "*ACTIVE");
    const double w = width * f.sx, h = height * f.sy;
    dxf.real(10, 0.0).real(20, 0.0).real(11, 1.0).real(21, 1.0);
    dxf.real(12, w / 2).real(22, h / 2).real(40, h * 1.05).real(41, h > 0 ? w / h : 1.0);
    dxf.text(0, "ENDTAB");

    table_head(dxf, "LTYPE", hLtypeTable, 3);
    const struct { long h; const char *name, *description; } ltypes[] = {
        {hLtypeByBlock, "ByBlock", ""}, {hLtypeByLayer, "ByLayer", ""}, {hLtypeContinuous, "Continuous", "Solid line"}};
    for (const auto &lt : ltypes) {
        record_head(dxf, "LTYPE", lt.h, hLtypeTable, "AcDbLinetypeTableRecord", lt.name);
        dxf.text(3, lt.description).integer(72, 65).integer(73, 0).real(40, 0.0);
    }
    dxf.text(0, "ENDTAB");

    table_head(dxf, "LAYER", hLayerTable, LayerCount + 1);
    for (int i = -1; i < LayerCount; ++i) {
        record_head(dxf, "LAYER", hFirstLayer + 1 + i, hLayerTable, "AcDbLayerTableRecord",
                    i < 0 ? "0" : kLayerNames[i]);
        dxf.integer(62, i < 0 ? 7 : kLayerColours[i]).text(6, "Continuous");
    }
    dxf.text(0, "ENDTAB");

    table_head(dxf, "STYLE", hStyleTable, 1);
    record_head(dxf, "STYLE", hStyle, hStyleTable, "AcDbTextStyleTableRecord", "Standard");
    dxf.real(40, 0.0).real(41, 1.0).real(50, 0.0).integer(71, 0).real(42, 2.5).text(3, "txt").text(4, "");
    dxf.text(0, "ENDTAB");

    table_head(dxf, "VIEW", hViewTable, 0);
    dxf.text(0, "ENDTAB");
    table_head(dxf, "UCS", hUcsTable, 0);
    dxf.text(0, "ENDTAB");

    table_head(dxf, "APPID", hAppidTable, 1);
    record_head(dxf, "APPID", hAppid, hAppidTable, "AcDbRegAppTableRecord", "ACAD");
    dxf.text(0, "ENDTAB");

    table_head(dxf, "DIMSTYLE", hDimstyleTable, 1);
    dxf.text(100, "AcDbDimStyleTable");
    record_head(dxf, "DIMSTYLE", hDimstyle, hDimstyleTable, "AcDbDimStyleTableRecord", "Standard", 105);
    dxf.text(0, "ENDTAB");

    table_head(dxf, "BLOCK_RECORD", hBlockRecordTable, 2);
    record_head(dxf, "BLOCK_RECORD", hModelRecord, hBlockRecordTable, "AcDbBlockTableRecord", "*Model_Space");
    record_head(dxf, "BLOCK_RECORD", hPaperRecord, hBlockRecordTable, "AcDbBlockTableRecord", "*Paper_Space");
    dxf.text(0, "ENDTAB");

    dxf.text(0, "ENDSEC");
}

void blocks(Dxf &dxf) {
    dxf.text(0, "SECTION").text(2, "BLOCKS");
    const struct { long block, end, record; const char *name; } spaces[] = {
        {hModelBlock, hModelEnd, hModelRecord, "*Model_Space"}, {hPaperBlock, hPaperEnd, hPaperRecord, "*Paper_Space"}};
    for (const auto &s : spaces) {
        dxf.text(0, "BLOCK").handle(5, s.block).handle(330, s.record).text(100, "AcDbEntity").text(8, "0");
        dxf.text(100, "AcDbBlockBegin").text(2, s.name).integer(70, 0).point(10, {0, 0});
        dxf.text(3, s.name).text(1, "");
        dxf.text(0, "ENDBLK").handle(5, s.end).handle(330, s.record).text(100, "AcDbEntity").text(8, "0");
        dxf.text(100, "AcDbBlockEnd");
    }
    dxf.text(0, "ENDSEC");
}

void objects(Dxf &dxf) {
    dxf.text(0, "SECTION").text(2, "OBJECTS");
    dxf.text(0, "DICTIONARY").handle(5, hRootDict).handle(330, 0).text(100, "AcDbDictionary");
    dxf.integer(281, 1).text(3, "ACAD_GROUP").handle(350, hGroupDict);
    dxf.text(0, "DICTIONARY").handle(5, hGroupDict).handle(330, hRootDict).text(100, "AcDbDictionary");
    dxf.integer(281, 1);
    dxf.text(0, "ENDSEC");
}

}  // namespace

void write_dxf(VectorView &view, const ResultInfo &info, TextSink &out) {
    const Frame f = frame_for(info, view.height());
    DrawnStrokes strokes(view, info.join_strokes);
    Counter counter;
    walk(strokes, info, f, counter);

    Dxf dxf(out);
    header(dxf, f, view.width(), view.height(), kFirstEntity + counter.entities);
    tables(dxf, f, view.width(), view.height());
    blocks(dxf);
    dxf.text(0, "SECTION").text(2, "ENTITIES");
    Writer writer{dxf};
    walk(strokes, info, f, writer);
    dxf.text(0, "ENDSEC");
    objects(dxf);
    dxf.text(0, "EOF");
}

}  // namespace ktvcli
