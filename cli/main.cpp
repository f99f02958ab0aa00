#include "cli/lczs.h"

int main(int argc, char** argv) { return lczs::cli::run(argc, argv); }
