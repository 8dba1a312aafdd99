#include "cli/KDiskCommandLine.h"

int main(int argc, char** argv) { return kdisk::cli::runCommandLine(argc, argv); }
