// Reading a result back: the program's JSON (schema 1) rebuilt into a
// vectorizer's vector layer, so that it can be edited and written again.
//
// The graph is rebuilt as the library holds it after a driver: node k of
// the file is node index k (deleted ones included, flagged), every live node
// is in its row's index in ascending x, polyline ids are the file's (the
// gaps become deleted records), each polyline link is a link pair carrying
// +id forwards with the file's area and fitted arc, and the connection
// lists, curve flags and spline samples are the file's.  Link lengths are
// the distances between the nodes.  The kept fitting arguments (arc radius
// limits, spline division) come from the parameters "arcs-min", "arcs-max"
// and "splines" when present.  The document is a blank page of the image's
// size: the library reads it only for notches, which then find no ink.
#ifndef KTVEC_IO_RESULT_LOADER_H
#define KTVEC_IO_RESULT_LOADER_H

#include "buffer.h"
#include "json_reader.h"
#include "ktvec.h"
#include "writers.h"

namespace ktvcli {

struct LoadedResult {
    ResultInfo info;  // header of the file, to write it back unchanged
    Buffer page;      // the blank document the vectorizer points at
};

// Checks `doc` against the schema and fills the empty vectorizer `v`.
// Throws CliError "line L: <problem>" for a file that does not follow the
// schema and "out of memory ..." when an array cannot be allocated; `v`
// stays consistent (and destructible) in every case.
void load_result(const JsonDocument &doc, CKTVector &v, LoadedResult &out);

}  // namespace ktvcli

#endif
