// What the driver and editing fuzz targets share: a bitmap of any size made
// from the input, one driver call with arguments from the input, a complete
// read of everything the host may read, and the graph checks.  A violated
// check prints the graph and aborts, which the fuzzer reports as a crash.
#ifndef KTVEC_FUZZ_DRIVE_H
#define KTVEC_FUZZ_DRIVE_H

#include <vector>

#include "fuzz_input.h"
#include "invariants.h"
#include "ktvec.h"
#include "ktvec_refine.h"

// A 1-bit bitmap of 0x0 up to 300x300 pixels with a stride of up to three
// spare bytes.  Padding bits (past the width in the last used byte, and the
// spare bytes) are set unless the input says otherwise: they are no pixels.
struct FuzzBitmap {
    int width = 0, height = 0, stride = 0;
    std::vector<unsigned char> bits;  // exactly height * stride bytes
    unsigned char *data() { return bits.empty() ? nullptr : bits.data(); }
};
FuzzBitmap make_bitmap(FuzzInput &in);

// Hands the bitmap to the vectorizer (either form of msetdocument, the
// packed one only when the stride has no spare bytes).
void set_document(CKTVector &v, FuzzBitmap &b, FuzzInput &in);

enum class Driver { OutlineFast, Centerline, Outline };
// Runs one driver, chosen and parameterised by the input; returns its
// result and tells which driver ran.
int run_driver(CKTVector &v, FuzzInput &in, Driver &which);

// The three steps above and the checks below in one: a document made from
// the input (kept in `bitmap`, which must outlive the run), one driver run,
// its checks.  Returns the driver's result.
int drive_checked(CKTVector &v, FuzzBitmap &bitmap, FuzzInput &in, Driver &which, CKTRefiner *refined = nullptr);

// The checks a driver's result must pass: the graph rules in the strength
// the driver promises, node positions inside the raster, every host-visible
// array readable to its count, and its refining (into `refined` when given,
// which then holds the lines when the driver's result is 0).
void check_after_driver(CKTVector &v, Driver which, int result, CKTRefiner *refined = nullptr);
void check_graph_or_abort(CKTVector &v, const CheckOptions &o, const char *when);

#endif
