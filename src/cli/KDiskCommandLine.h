#pragma once
// `kdisk`: the command-line front end over the application's engine (settings,
// token exchange, manager, store and upload queue). Exit status 0 on success,
// 1 when an operation failed, 2 on bad usage.

namespace kdisk::cli {

int runCommandLine(int argc, char** argv);

} // namespace kdisk::cli
