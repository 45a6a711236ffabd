// Multi-page inputs (TIFF): without --page the program vectorizes every
// page in turn, each into its own set of outputs, numbered after the page.
#ifndef KTVEC_TOOLS_PAGES_H
#define KTVEC_TOOLS_PAGES_H

#include <string>

#include "options.h"

namespace ktvcli {

// Pages of the input file; 1 for single-page formats, standard input and
// files that cannot be read (their reading fails later with its message).
int input_page_count(const std::string &input);

// "scan.svg" -> "scan-p2.svg", "out/scan" -> "out/scan-p2"; "-" stays "-".
std::string page_output_name(const std::string &path, int page);

// The settings of one page: that page only, every output renamed for it.
Settings page_settings(const Settings &s, int page);

}  // namespace ktvcli

#endif
