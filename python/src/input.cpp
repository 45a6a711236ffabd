#include "input.h"

#include <climits>
#include <cstring>

#include "error.h"
#include "pages.h"
#include "postprocess.h"

namespace ktvpy {

namespace {

// The keyword spelling of every option name in a parser message, so a
// Python caller reads "bridge_radius: ..." rather than "--bridge-radius".
std::string in_keywords(std::string message, const std::vector<ktvcli::OptionTable> &tables) {
    for (const ktvcli::OptionTable &t : tables)
        for (const ktvcli::OptionDef *o = t.begin; o != t.end; ++o)
            for (std::size_t at; (at = message.find(o->name)) != std::string::npos;)
                message.replace(at, std::strlen(o->name), keyword(*o));
    return message;
}

// One option value as the command line would spell it.
std::string text_of(const py::handle &value, const std::string &name) {
    if (py::isinstance<py::bool_>(value))
        throw py::type_error(name + ": expected a number, got a bool");
    if (py::isinstance<py::float_>(value)) return py::repr(value).cast<std::string>();  // reads back exactly
    if (py::hasattr(value, "__index__")) return py::str(py::int_(py::reinterpret_borrow<py::object>(value)));
    if (py::isinstance<py::str>(value)) return value.cast<std::string>();
    if (py::hasattr(value, "__float__")) return py::repr(py::float_(py::reinterpret_borrow<py::object>(value)));
    throw py::type_error(name + ": expected a number, got " + std::string(py::str(value.get_type().attr("__name__"))));
}

// A pair such as arcs=(1, 1000) as "1,1000"; a string is taken as written.
std::string pair_text(const py::handle &value, const std::string &name) {
    if (py::isinstance<py::str>(value)) return value.cast<std::string>();
    if (!py::isinstance<py::sequence>(value) || py::len(value) != 2)
        throw py::type_error(name + ": expected two numbers, e.g. (1, 1000)");
    const py::sequence pair = py::reinterpret_borrow<py::sequence>(value);
    return text_of(pair[0], name) + "," + text_of(pair[1], name);
}

}  // namespace

std::vector<ktvcli::OptionTable> python_tables(const ktvcli::Command &c) {
    return {c.options, ktvcli::postprocess_options(), ktvcli::input_options()};
}

std::string keyword(const ktvcli::OptionDef &o) {
    std::string k = o.name + 2;
    for (char &ch : k)
        if (ch == '-') ch = '_';
    return k;
}

ktvcli::Settings settings_from(const ktvcli::Command &c, const py::dict &options) {
    const std::vector<ktvcli::OptionTable> tables = python_tables(c);
    std::vector<std::string> args;
    for (const auto &item : options) {
        const std::string name = py::str(item.first);
        const ktvcli::OptionDef *def = nullptr;
        for (const ktvcli::OptionTable &t : tables)
            for (const ktvcli::OptionDef *o = t.begin; o != t.end; ++o)
                if (keyword(*o) == name) def = o;
        if (!def) throw py::type_error(std::string(c.name) + "() got an unexpected keyword argument '" + name + "'");
        const py::handle value = item.second;
        if (value.is_none()) continue;
        const std::string flag = def->name;
        if (std::holds_alternative<bool ktvcli::Settings::*>(def->target)) {
            if (!py::isinstance<py::bool_>(value)) throw py::type_error(name + ": expected True or False");
            if (value.cast<bool>()) args.push_back(flag);
            else if (def->negatable) args.push_back("--no-" + flag.substr(2));
        } else if (std::holds_alternative<std::string ktvcli::Settings::*>(def->target)) {
            args.push_back(flag + "=" + pair_text(value, name));
        } else {
            args.push_back(flag + "=" + text_of(value, name));
        }
    }
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    ktvcli::Settings s = ktvcli::command_defaults(c);
    try {
        ktvcli::parse_options(static_cast<int>(argv.size()), argv.data(), tables, s);
        ktvcli::postprocessing(s);  // checks the pairs and their order
    } catch (const ktvcli::CliError &e) {
        throw ktvcli::CliError(in_keywords(e.what(), tables), e.usage);
    }
    return s;
}

namespace {

ktvcli::LoadedImage from_array(const py::array &a, const ktvcli::Settings &s) {
    const bool mask = a.dtype().is(py::dtype::of<bool>());
    if (!mask && !a.dtype().is(py::dtype::of<std::uint8_t>()))
        throw py::type_error("expected a bool array (True = ink) or a uint8 grey image, got " +
                             std::string(py::str(a.dtype())) + " (convert with img > 0 or img.astype(np.uint8))");
    if (a.ndim() != 2)
        throw std::invalid_argument("expected a 2-D array (rows, columns), got " + std::to_string(a.ndim()) +
                                    " dimensions");
    if (s.page > 1) throw std::invalid_argument("page=" + std::to_string(s.page) + " asked for, an array is one page");
    const py::ssize_t h = a.shape(0), w = a.shape(1);
    if (w == 0 || h == 0)
        throw std::invalid_argument("empty image (" + std::to_string(h) + " rows, " + std::to_string(w) + " columns)");
    if (w > INT_MAX || h > INT_MAX)
        throw std::invalid_argument("image of " + std::to_string(w) + "x" + std::to_string(h) +
                                    " pixels is beyond the supported size");
    if (static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h) > s.max_pixels)
        throw std::invalid_argument("image of " + std::to_string(w) + "x" + std::to_string(h) +
                                    " pixels exceeds the limit of " + std::to_string(s.max_pixels) +
                                    " pixels (see max_pixels)");
    // Read where it lies, whatever its strides: the packing is the one copy.
    const ktvcli::GreyView view(static_cast<const unsigned char *>(a.data()), static_cast<int>(w),
                                static_cast<int>(h), a.strides(0), a.strides(1));
    const ktvcli::ReadOptions options = s.read_options();
    ktvcli::LoadedImage image;
    py::gil_scoped_release nogil;
    if (mask) image.bitmap = ktvcli::pack_mask(view);
    else ktvcli::binarise_into(view, options, image);
    ktvcli::apply_read_options(image, options);
    return image;
}

// A multi-page file read without a page would silently give its first page.
void check_pages(int pages, const ktvcli::Settings &s, const std::string &name) {
    if (s.page == 0 && pages > 1)
        throw std::invalid_argument(name + " has " + std::to_string(pages) + " pages: give page=1 to page=" +
                                    std::to_string(pages) + " (ktvec.page_count tells how many)");
}

}  // namespace

ktvcli::LoadedImage load_image(const py::object &image, const ktvcli::Settings &s, std::string &source) {
    const ktvcli::ReadOptions options = s.read_options();
    if (py::isinstance<py::bytes>(image)) {
        source = "<bytes>";
        const std::string_view data = image.cast<std::string_view>();
        const auto *bytes = reinterpret_cast<const unsigned char *>(data.data());
        py::gil_scoped_release nogil;
        if (ktvcli::tiff_signature(bytes, data.size()))
            check_pages(ktvcli::tiff_page_count(bytes, data.size()), s, source);
        try {
            return ktvcli::decode_image(bytes, data.size(), options);
        } catch (const ktvcli::CliError &e) {
            ktvcli::rethrow_about(source, e);
        }
    }
    if (py::isinstance<py::str>(image) || py::hasattr(image, "__fspath__")) {
        source = py::str(py::module_::import("os").attr("fspath")(image));
        // A missing or unreadable file is an OSError, as open() would raise.
        py::module_::import("builtins").attr("open")(source, "rb").attr("close")();
        py::gil_scoped_release nogil;
        check_pages(ktvcli::input_page_count(source), s, source);
        try {
            return ktvcli::read_image(source, options);
        } catch (const ktvcli::CliError &e) {
            ktvcli::rethrow_about(source, e);
        }
    }
    if (py::isinstance<py::array>(image)) {
        source = "<array>";
        return from_array(py::reinterpret_borrow<py::array>(image), s);
    }
    throw py::type_error("expected a file path, the bytes of an image file or a 2-D numpy array, got " +
                         std::string(py::str(image.get_type().attr("__name__"))));
}

}  // namespace ktvpy
