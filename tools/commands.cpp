// The subcommand table.
#include "commands.h"

#include <cstring>
#include <new>

#include "filter/qorfil2.h"
#include "preclean.h"
#include "vectorizer/memory.h"

namespace ktvcli {

namespace {

// ---- pre-cleaning, every command -------------------------------------------
// Thinning and tracing keep the topology of exactly the bitmap they get, so
// specks, pinholes and one-pixel burrs are cheapest removed from the pixels.

const OptionDef kDespeckle = {
    "--despeckle", nullptr, "N", &Settings::despeckle, 0, 1e9,
    "before vectorizing, remove black specks: pieces of at most N pixels touching no other "
    "ink (diagonal contact counts), which would become stray pieces, tiny closed outlines or "
    "dots. Off by default: the drivers already drop dust of up to 5 pixels (the refined "
    "centre lines give pieces of 9 or more back as dots, the refined outlines as rings), while a faint thin line that "
    "binarising broke into pieces of a few pixels would vanish. For dusty scans at 300 dpi, "
    "8; 16 also keeps specks of 3 x 3 to 4 x 4 pixels from coming back as dots or rings, and starts "
    "to take the dots of text",
    nullptr, nullptr, nullptr};

const OptionDef kFillHoles = {
    "--fill-holes", nullptr, "N", &Settings::fill_holes, 0, 1e9,
    "before vectorizing, fill white pinholes: white areas of at most N pixels enclosed by ink. "
    "Each one becomes a loop with two false junctions in the centre lines (it splits a thick "
    "jagged stroke into several polylines) and a small closed outline. Enclosed areas of "
    "small holes and letters are larger than 4 pixels at 300 dpi; at 150 dpi use 2, or the "
    "quadrants of a 2 mm hole crossed by thick centre lines are filled (between thin lines "
    "they are cells: --keep-cells). 0 keeps everything; "
    "the outline commands start from 0, since an outline draws a pinhole as the small ring it is",
    nullptr, nullptr, nullptr};

const OptionDef kKeepCells = {
    "--keep-cells", nullptr, nullptr, &Settings::keep_cells, 0, 0,
    "with --fill-holes, keep the holes that are cells between thin lines rather than "
    "pinholes: at least two pixels across both ways, with paper at most two pixels behind "
    "three quarters of the ink around them (the quadrants of a small circle crossed by its "
    "centre lines, the gaps of a hatched band). A pinhole in a stroke wide enough to hold it "
    "has long walls along the stroke and is still filled. --no-keep-cells fills them all",
    nullptr, nullptr, nullptr, true};

const OptionDef kSmooth = {
    "--smooth", nullptr, nullptr, &Settings::smooth, 0, 0,
    "before vectorizing, clear one-pixel bumps on strokes at least three pixels wide and fill "
    "one-pixel notches; one-pixel strokes, small specks and the topology are untouched. 7-17 "
    "% fewer outline nodes on jagged borders of strokes 4 px and wider for under a point of "
    "coverage, no gain for centre lines: worth adding for outlines of rough scans",
    nullptr, nullptr, nullptr, true};

const OptionDef kPartPairs = {
    "--part-pairs", nullptr, nullptr, &Settings::part_pairs, 0, 0,
    "before vectorizing, part two thin lines that run a pixel or less apart at a slant (a "
    "window frame, a door leaf, any level pair on a skewed scan): their ink merges but for "
    "slivers of paper a pixel wide, each a row or column over from the last, and thinned as "
    "it is the pair becomes one zigzag with two junctions at every sliver. The slivers of a "
    "pair are joined along the middle of its ink, so that each line is thinned on its own",
    nullptr, nullptr, nullptr, true};

int preclean_raster(const BitRaster &raster, const Settings &s) {
    PrecleanOptions p;
    p.despeckle = s.despeckle;
    p.fill_holes = s.fill_holes;
    p.keep_cells = s.keep_cells;
    p.smooth = s.smooth;
    p.part_pairs = s.part_pairs;
    return preclean(raster, p) ? 0 : KTVEC_NO_MEMORY;
}

// The document is the program's own decoded copy of the input, so it is
// cleaned in place before the driver reads it (an SVG background then shows
// what was vectorized).  0, or -1000 when memory runs out.
int preclean_document(CKTVector &v, const Settings &s) {
    return preclean_raster({v.document, v.width, v.height, static_cast<std::size_t>(v.bytesperline)}, s);
}

// ---- sub-pixel geometry, every command -------------------------------------

const OptionDef kRefine = {
    "--refine", nullptr, nullptr, &Settings::refine, 0, 0,
    "measure the result against the ink and write it in sub-pixel coordinates: centre "
    "lines through the middle of their strokes, junctions where the branches meet, free "
    "ends at the tip of the ink, filled shapes round their edge; outlines as closed rings on "
    "the edge of the ink. "
    "--no-refine writes the driver's own nodes, on pixel centres",
    nullptr, nullptr, nullptr, true};

const OptionDef kPenWidths = {
    "--pen-widths", nullptr, nullptr, &Settings::pen_widths, 0, 0,
    "with --refine, measure the widths of the drawing's pens from its slanted strokes and "
    "draw each level or nearly level stroke that one pen alone explains that pen's width "
    "about the middle of its ink: each edge of such a stroke lies up to half a pixel from "
    "its pixels' edges, its middle and width are known better. Whole widths, brush strokes "
    "and widths two pens could give keep the pixels' edges. Holes of at most a quarter of "
    "the main pen's square and 8 square pixels, alone (not a dotted line of them, which is "
    "a gap between two strokes), are left out: specks of paper between overlapping strokes "
    "or in a scanned wide stroke. --no-pen-widths keeps every side on the pixels' edges "
    "and every hole",
    nullptr, nullptr, nullptr, true};

int refine_centerline(CKTRefiner &r, CKTVector &v) { return r.mrefinecenterline(&v); }
int refine_outline(CKTRefiner &r, CKTVector &v) { return r.mrefineoutline(&v); }

// ---- outline drivers -------------------------------------------------------

const OptionDef kMaxlength = {
    "--maxlength", nullptr, "N", &Settings::maxlength, 0, 1e6,
    "spurs of at most N traced points are cut: at each branch pixel the shortest side "
    "branch ending free is dropped. A few points removes the one- and two-pixel burrs of "
    "scanned edges without eating real corners; 0 keeps everything",
    nullptr, nullptr, "argument maxlength"};

const OptionDef kTolerance = {
    "--tolerance", nullptr, "T", &Settings::tolerance, 0, 1000,
    "approximation tolerance in pixels: a traced run becomes one straight link while twice "
    "the area between the pixels and the link, divided by the link's length, stays within "
    "T. For a corner that is how far the link passes from it; for an even bulge, twice its "
    "mean distance. Around 1.5 follows a stair-stepped pixel edge with few nodes yet keeps "
    "corners; lower is more faithful and more nodes, higher is smoother and cuts corners",
    nullptr, nullptr, "argument tolerance"};

const OptionDef kNodesearch = {
    "--nodesearch", nullptr, "0|1", &Settings::nodesearch, 0, 1,
    "1: outline pieces that meet at a pixel share one node, so closed outlines come out as "
    "closed polylines; 0: every piece gets its own nodes",
    nullptr, nullptr, "argument nodesearch"};

const OptionDef kSpurNodes = {
    "--spur-nodes", nullptr, "N", &Settings::spur_nodes, 0, 1e6,
    "after tracing, polylines of at most N nodes that hang off an outline with one free "
    "end are removed, and so are isolated pieces of at most N nodes: the whiskers and "
    "specks of a noisy border. 1 or less keeps everything, hence the default: a stroke "
    "too thin for two borders is traced as one open line, and a straight one has only "
    "two nodes, so already 2 drops whole strokes",
    nullptr, nullptr, "argument spurnodes"};

const OptionDef kOutlineFastOptions[] = {kMaxlength, kTolerance, kNodesearch, kDespeckle, kFillHoles,
                                         kKeepCells, kSmooth, kRefine, kPenWidths};
const OptionDef kOutlineOptions[] = {kMaxlength, kSpurNodes, kTolerance, kNodesearch, kDespeckle,
                                     kFillHoles, kKeepCells, kSmooth, kRefine, kPenWidths};

int run_outline_fast(CKTVector &v, const Settings &s) {
    if (const int rc = preclean_document(v, s)) return rc;
    return v.mabstractoutlinefast(s.maxlength, 0, s.tolerance, s.nodesearch);
}

int run_outline(CKTVector &v, const Settings &s) {
    if (const int rc = preclean_document(v, s)) return rc;
    return v.mabstractoutline(s.maxlength, s.spur_nodes, s.tolerance, s.nodesearch);
}

// ---- centre-line driver ----------------------------------------------------
// In the order the driver uses them: spur cut and approximation, then the
// clean-up passes.  Each pass switch sits next to its thresholds.

const OptionDef kCenterlineOptions[] = {
    {"--cut-spurs", nullptr, nullptr, &Settings::cut_spurs, 0, 0,
     "cut, at each branch pixel of the thinned strokes, the shortest side branch that "
     "ends free within --maxlength points: thinning grows such burrs where a stroke has a "
     "bump or a blunt corner",
     nullptr, nullptr, "flag 8", true},
    {"--maxlength", nullptr, "N", &Settings::centerline_maxlength, 0, 1e6,
     "longest side branch, in skeleton points, that --cut-spurs removes. Measured on "
     "drawings with known centre lines: 4 leaves a half to a third of the spurs that 8 "
     "leaves on jagged strokes, and clean sheets come out the same with 4, 8 or 16",
     nullptr, nullptr, "argument maxlength"},
    {"--tolerance", nullptr, "T", &Settings::tolerance, 0, 1000,
     "approximation tolerance in pixels: a run of the skeleton becomes one straight link "
     "while twice the area between its pixels and the link, divided by the link's length, "
     "stays within T: for a corner, how far the link passes from it. 1 follows the skeleton "
     "with about the vertices of a one-pixel Douglas-Peucker; with --refine the links are "
     "then measured against the ink, and bends the links cut are followed anyway",
     nullptr, nullptr, "argument e"},
    {"--bridge-gaps", nullptr, nullptr, &Settings::bridge_gaps, 0, 0,
     "link two stroke ends that face each other across a gap of at most --bridge-radius, "
     "when both strokes and the gap line up (see --straightness): closes the breaks of a "
     "faint scanned line",
     nullptr, nullptr, "flag 2", true},
    {"--bridge-radius", nullptr, "R", &Settings::bridge_radius, 0, 1000,
     "largest gap, in pixels, that --bridge-gaps closes", nullptr, nullptr, "argument b"},
    {"--straightness", nullptr, "C", &Settings::straightness, 0, 1,
     "cosine of the largest bend still counted as straight, 0 to 1 (0.9 is about 26 "
     "degrees). --bridge-gaps needs both stroke ends and the gap aligned better than this; "
     "a node next to a junction is dropped when that makes its branch line up with another "
     "one better than this; --connect pairs branches that meet this straight. 1 accepts "
     "nothing but exact alignment",
     nullptr, nullptr, "argument c"},
    {"--merge-ends", nullptr, nullptr, &Settings::merge_ends, 0, 0,
     "fuse a stroke end with the nearest other stroke end within --merge-radius that lies "
     "ahead of it (within 18 degrees) or is not cut off from it by black pixels; the two "
     "polylines become one",
     nullptr, nullptr, "flag 1", true},
    {"--merge-radius", nullptr, "R", &Settings::merge_radius, 0, 1000,
     "reach of --merge-ends in pixels. Always also the length below which an isolated "
     "straight segment (two free ends, no node between) is dropped as a speck",
     nullptr, nullptr, "argument a"},
    {"--merge-junctions", nullptr, nullptr, &Settings::merge_junctions, 0, 0,
     "thinning splits a crossing of two strokes into two junctions joined by a short link; "
     "merge such a pair into one junction half-way when every other branch leaves each of "
     "them within 60 degrees of the line from the other one",
     nullptr, nullptr, "flag 16", true},
    {"--junction-link", nullptr, "L", &Settings::junction_link, 0, 1000,
     "longest link, in pixels, between two junctions that --merge-junctions merges; also "
     "the longest link next to a junction whose far node may be dropped to straighten the "
     "approach",
     nullptr, nullptr, "argument d"},
    {"--connect", nullptr, nullptr, &Settings::connect, 0, 0,
     "at each junction, record which two branches run straight through it (at least as "
     "straight as --straightness) as a connection between their polylines, and keep at "
     "each polyline end the one that leads along the longest chain: the JSON's prev/next "
     "then lead a reader along a stroke across its junctions",
     nullptr, nullptr, "flag 4", true},
    kPartPairs, kDespeckle, kFillHoles, kKeepCells, kSmooth, kRefine,
};

// Flag bits of mabstractcenterline.
struct FlagBit {
    bool Settings::*on;
    int bit;
};
const FlagBit kCenterlineFlags[] = {
    {&Settings::merge_ends, KTVEC_MERGE_ENDS},   {&Settings::bridge_gaps, KTVEC_BRIDGE_GAPS},
    {&Settings::connect, KTVEC_CONNECT},         {&Settings::cut_spurs, KTVEC_CUT_SPURS},
    {&Settings::merge_junctions, KTVEC_MERGE_JUNCTIONS},
};

int run_centerline(CKTVector &v, const Settings &s) {
    if (const int rc = preclean_document(v, s)) return rc;
    const CenterlineArguments a = centerline_arguments(s);
    return v.mabstractcenterline(a.flags, a.maxlength, a.a, a.b, a.c, a.d, a.e);
}

}  // namespace

int preclean_bitmap(PackedBitmap &bitmap, const Settings &s) {
    return preclean_raster({bitmap.bits.data(), bitmap.width, bitmap.height, bitmap.stride}, s);
}

Settings recorded_settings(const Command &c, const ResultInfo &info) {
    Settings s = command_defaults(c);
    // A result that does not record keep-cells was made when every hole
    // small enough was filled, one without pen-widths on the pixels' edges,
    // one without part-pairs with its slanted pairs as they were.
    s.keep_cells = false;
    s.pen_widths = false;
    s.part_pairs = false;
    for (const auto &parameter : info.parameters)
        for (const OptionDef *o = c.options.begin; o != c.options.end; ++o)
            if (parameter.first == o->name + 2) set_option_value(*o, s, parameter.second);
    return s;
}

bool refines_outlines(const Command &c) { return c.refine == refine_outline; }

int refine_against(const Command &c, const Settings &s, CKTRefiner &r, CKTVector &v, const PackedBitmap &ink) {
    r.msetpenwidths(s.pen_widths);
    unsigned char *const page = v.document;
    const int width = v.width, bytesperline = v.bytesperline, height = v.height;
    // The refiner only reads the document.
    v.msetdocument(const_cast<unsigned char *>(ink.bits.data()), ink.width, static_cast<int>(ink.stride), ink.height);
    const int result = c.refine(r, v);
    v.msetdocument(page, width, bytesperline, height);
    return result;
}

CenterlineArguments centerline_arguments(const Settings &s) {
    int flags = 0;
    for (const FlagBit &f : kCenterlineFlags)
        if (s.*f.on) flags |= f.bit;
    return {flags,           s.centerline_maxlength, s.merge_radius, s.bridge_radius,
            s.straightness,  s.junction_link,        s.tolerance};
}

ResultInfo result_info(const Command &c, const Settings &s, const LoadedImage &image,
                       const PostProcessing &post, const std::string &source) {
    ResultInfo info{c.name, source, nullptr, image.format, image.threshold, {}};
    for (const OptionDef *o = c.options.begin; o != c.options.end; ++o)
        info.parameters.emplace_back(o->name + 2, option_value(*o, s));
    info.dpi_x = image.dpi_x, info.dpi_y = image.dpi_y, info.units = s.units;
    info.join_strokes = s.join_strokes;
    record_postprocessing(post, info.parameters);
    return info;
}

namespace {

// The vectorizer makes its filter object on first use unless the host made
// it before; made here, it runs its row bands on `threads` threads (the
// buffer set-up follows it) instead of one per core.  False when memory
// runs out.
bool share_filter(CKTVector &v, int threads) {
    if (!v.filter) {
        void *block = ktv::mem_alloc(sizeof(CPenoDoc));
        if (!block) return false;
        v.filter = new (block) CPenoDoc();
    }
    v.filter->m_threads = threads;
    return true;
}

}  // namespace

int vectorize_document(const Command &c, const Settings &s, const PostProcessing &post, CKTVector &v,
                       CKTRefiner &refiner) {
    if (s.page_threads > 0 && !share_filter(v, s.page_threads)) return KTVEC_NO_MEMORY;
    const int result = c.vectorize(v, s);
    // A clean-up that ran short of memory leaves a graph only partly
    // cleaned: nothing is fitted onto it or measured (the caller reports it).
    if (result < 0 || v.mispostprocessincomplete()) return result;
    run_postprocessing(v, post);
    if (!s.refine) return KTVEC_OK;
    refiner.msetthreadnum(s.page_threads);
    refiner.msetpenwidths(s.pen_widths);
    return c.refine(refiner, v);
}

Settings command_defaults(const Command &c) {
    Settings s;
    // Centre lines: the tolerance that keeps thin strokes on their pixels.
    // Outlines: a pinhole in the ink is a true hole of the drawing, and
    // outline-fast is the quickest command, hence no sub-pixel stage.
    // Parting pairs changes the ink, which an outline draws as it is.
    if (!std::strcmp(c.name, "centerline")) s.tolerance = 1.0;
    else s.fill_holes = 0, s.part_pairs = false;
    if (!std::strcmp(c.name, "outline-fast")) s.refine = false;
    return s;
}

const std::vector<Command> &commands() {
    static const std::vector<Command> table = {
        {"centerline", "centre lines of the strokes, cleaned up",
         "Thins the strokes of INPUT to one-pixel centre lines and writes them as polylines,\n"
         "after the clean-up passes that undo the defects of thinning: spurs cut, gaps\n"
         "bridged, nearby ends fused, split crossings merged, polylines joined end to end,\n"
         "straight connections through junctions recorded, specks dropped.  The options\n"
         "are the arguments of mabstractcenterline(flags, maxlength, a, b, c, d, e).\n",
         {"Vectorizing", std::begin(kCenterlineOptions), std::end(kCenterlineOptions)}, run_centerline,
         refine_centerline},
        {"outline", "outlines of the black areas, pieces joined, spurs removed on request",
         "Traces the outlines of the black areas of INPUT and writes them as polylines,\n"
         "after joining pieces that meet end to end and, with --spur-nodes, removing\n"
         "short spurs and specks.\n"
         "The options are the arguments of mabstractoutline(maxlength, spurnodes,\n"
         "tolerance, nodesearch).\n",
         {"Vectorizing", std::begin(kOutlineOptions), std::end(kOutlineOptions)}, run_outline,
         refine_outline},
        {"outline-fast", "outlines of the black areas, no clean-up (quickest)",
         "Traces the outlines of the black areas of INPUT and writes them as polylines,\n"
         "without post-processing.\n",
         {"Vectorizing", std::begin(kOutlineFastOptions), std::end(kOutlineFastOptions)},
         run_outline_fast, refine_outline},
    };
    return table;
}

const Command *find_command(const char *name) {
    for (const Command &c : commands())
        if (std::strcmp(c.name, name) == 0) return &c;
    return nullptr;
}

}  // namespace ktvcli
