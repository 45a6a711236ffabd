#include "cli.h"
#include "heap.h"

int main(int argc, char **argv) {
    ktvcli::heap_on_huge_pages();
    ktvcli::process_ends_after_run();
    return ktvcli::run(argc, argv);
}
