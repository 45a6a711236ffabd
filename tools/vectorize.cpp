#include "vectorize.h"

namespace ktvcli {

int vectorize_document(const Command &c, const Settings &s, const PostProcessing &post, CKTVector &v) {
    const int result = c.vectorize(v, s);
    if (result >= 0) run_postprocessing(v, post);
    return result;
}

ResultInfo result_info(const Command &c, const Settings &s, const PostProcessing &post, const LoadedImage &image,
                       const std::string &source) {
    ResultInfo info{c.name, source, nullptr, image.format, image.threshold, {}};
    for (const OptionDef *o = c.options.begin; o != c.options.end; ++o)
        info.parameters.emplace_back(o->name + 2, option_value(*o, s));
    info.dpi_x = image.dpi_x, info.dpi_y = image.dpi_y, info.units = s.units;
    record_postprocessing(post, info.parameters);
    return info;
}

}  // namespace ktvcli
