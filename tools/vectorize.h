// One image through a vectorizing command: pre-cleaning, the driver and
// the post-processing, and the header its result files carry.  The single
// command, `ktvec batch` and the Python module all go through here, so the
// files they write for one image are the same.
#ifndef KTVEC_TOOLS_VECTORIZE_H
#define KTVEC_TOOLS_VECTORIZE_H

#include <string>

#include "commands.h"
#include "image.h"
#include "postprocess.h"
#include "writers.h"

namespace ktvcli {

// Runs the command on `v`, whose document is set, then the post-processing
// when the driver succeeded.  The library's result: 0, or the driver's
// negative code (the graph is then whatever the driver left).
int vectorize_document(const Command &c, const Settings &s, const PostProcessing &post, CKTVector &v);

// The header of the result files: the command, `source` as the files name
// the input, the image's format, threshold and resolution, the driver's
// arguments by option name and the post-processing steps that ran.
ResultInfo result_info(const Command &c, const Settings &s, const PostProcessing &post, const LoadedImage &image,
                       const std::string &source);

}  // namespace ktvcli

#endif
