#include "cli.h"

int main(int argc, char **argv) {
    ktvcli::process_ends_after_run();
    return ktvcli::run(argc, argv);
}
