// The subcommand table.
#include "commands.h"

#include <cstring>

namespace ktvcli {

namespace {

const OptionDef kOutlineOptions[] = {
    {"--maxlength", nullptr, "N", &Settings::maxlength, 0, 1e6,
     "spurs of at most N traced points are cut: at each branch pixel the shortest side "
     "branch ending free is dropped. A few points removes the one- and two-pixel burrs of "
     "scanned edges without eating real corners; 0 keeps everything",
     nullptr, nullptr},
    {"--tolerance", nullptr, "T", &Settings::tolerance, 0, 1000,
     "approximation tolerance in pixels: a traced run becomes one straight link while the "
     "area between the pixels and the link, divided by its length, stays within T. Around "
     "1.5 follows a stair-stepped pixel edge with few nodes yet keeps corners; lower is more "
     "faithful and more nodes, higher is smoother and cuts corners",
     nullptr, nullptr},
    {"--nodesearch", nullptr, "0|1", &Settings::nodesearch, 0, 1,
     "1: outline pieces that meet at a pixel share one node, so closed outlines come out as "
     "closed polylines; 0: every piece gets its own nodes",
     nullptr, nullptr},
};

int run_outline_fast(CKTVector &v, const Settings &s) {
    return v.mabstractoutlinefast(s.maxlength, 0, s.tolerance, s.nodesearch);
}

}  // namespace

const std::vector<Command> &commands() {
    static const std::vector<Command> table = {
        {"outline-fast", "outlines of the black areas, no clean-up (quickest)",
         "Traces the outlines of the black areas of INPUT and writes them as polylines,\n"
         "without post-processing.\n",
         {"Vectorizing", std::begin(kOutlineOptions), std::end(kOutlineOptions)}, run_outline_fast},
    };
    return table;
}

const Command *find_command(const char *name) {
    for (const Command &c : commands())
        if (std::strcmp(c.name, name) == 0) return &c;
    return nullptr;
}

}  // namespace ktvcli
