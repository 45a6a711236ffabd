// The program: command-line dispatch, the shared input -> vectorizer ->
// outputs flow, and the mapping of every failure to one line on stderr.
#ifndef KTVEC_TOOLS_CLI_H
#define KTVEC_TOOLS_CLI_H

#include "commands.h"
#include "options.h"

namespace ktvcli {

// Exit status: 0 success, 1 failure while reading, vectorizing or writing,
// 2 bad command line.
int run(int argc, char **argv);

// Called by main before run: the process ends when run returns.  A single
// image's vectorizer is then left to the system at exit instead of being
// freed block by block (a few hundred thousand blocks on a large sheet).
// In-process callers (the tests) do not call it and free everything.
void process_ends_after_run();

// What one image gave: the counts of its summary line.
struct PageCounts {
    int nodes = 0, polylines = 0;
};

// One image (one page of it) through a vectorizing command's path: read,
// vectorize, post-process, write every output.  Throws CliError naming the
// file on failure; `ktvec batch` runs each of its files through it.  Fills
// `counts` when given.
int run_one(const Command &c, const Settings &s, PageCounts *counts = nullptr);

}  // namespace ktvcli

#endif
