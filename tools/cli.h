// The program: command-line dispatch, the shared input -> vectorizer ->
// outputs flow, and the mapping of every failure to one line on stderr.
#ifndef KTVEC_TOOLS_CLI_H
#define KTVEC_TOOLS_CLI_H

namespace ktvcli {

// Exit status: 0 success, 1 failure while reading, vectorizing or writing,
// 2 bad command line.
int run(int argc, char **argv);

}  // namespace ktvcli

#endif
