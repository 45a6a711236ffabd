// What the Python functions take: named options checked by the program's
// own option tables, and an image given as a file path, the bytes of an
// image file or a 2-D numpy array.
#ifndef KTVEC_PYTHON_INPUT_H
#define KTVEC_PYTHON_INPUT_H

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

#include "commands.h"
#include "image.h"
#include "options.h"

namespace ktvpy {

namespace py = pybind11;

// The tables whose options a vectorizing function takes by name: the
// command's own (driver and pre-cleaning), post-processing, and input.
std::vector<ktvcli::OptionTable> python_tables(const ktvcli::Command &c);

// The keyword of an option: "--bridge-radius" -> "bridge_radius".
std::string keyword(const ktvcli::OptionDef &o);

// The command's settings with the keyword options applied.  Values are
// handed to the program's parser as text, so ranges and defaults are the
// program's; None leaves an option at its default.  Throws TypeError for
// an unknown keyword or a value of the wrong kind, CliError for a value
// the parser refuses (its message names the keyword).
ktvcli::Settings settings_from(const ktvcli::Command &c, const py::dict &options);

// The image, packed and binarised as the program reads files (threshold,
// invert, page, dpi and the pixel limit of `s`).  `source` is set to the
// name the result files give the input.  Releases the GIL while decoding.
ktvcli::LoadedImage load_image(const py::object &image, const ktvcli::Settings &s, std::string &source);

}  // namespace ktvpy

#endif
