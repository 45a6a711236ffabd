#include "cli.h"

int main(int argc, char **argv) { return ktvcli::run(argc, argv); }
