// The `edit` command: a JSON result read back, edited, written again.
#ifndef KTVEC_TOOLS_EDIT_COMMAND_H
#define KTVEC_TOOLS_EDIT_COMMAND_H

#include <string>

namespace ktvcli {

// Arguments after "edit"; throws CliError like the other commands.
int run_edit(int argc, char **argv);
std::string edit_help();

}  // namespace ktvcli

#endif
