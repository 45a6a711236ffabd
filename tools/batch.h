// `ktvec batch`: many images, one vectorizer per image, on worker threads.
// Every image runs the single command's own path (read, vectorize,
// post-process, write to temporary files, rename), so a batch result is
// byte for byte the result of the single command on that file.
#ifndef KTVEC_TOOLS_BATCH_H
#define KTVEC_TOOLS_BATCH_H

#include <string>
#include <vector>

namespace ktvcli {

// Arguments after the word "batch".  Exit status 0 when every file was
// vectorized, 1 when any failed, 2 for a bad command line.
int run_batch(int argc, char **argv);

// The inputs the patterns name, in the order given (each pattern's matches
// sorted by glob), every file once.  A pattern with wildcards that matches
// nothing stays as an entry with its problem set; a plain name is taken as
// it is, and reading it reports what is wrong with it.
struct Input {
    std::string path;
    std::string problem;  // empty: to be vectorized
};
std::vector<Input> expand_patterns(const std::vector<std::string> &patterns);

// The output name stem of each input: its file name without the extension,
// and when that is already taken by an earlier input "-2", "-3", ... added,
// so that the names depend only on the order of the inputs.
std::vector<std::string> output_stems(const std::vector<std::string> &inputs);

}  // namespace ktvcli

#endif
