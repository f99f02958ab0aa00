// The `lczs` command: a small host for the add-in. It opens the workbook,
// connects the add-in, clicks the menu button the command names and exits
// with the outcome of the run.
#pragma once

#include <iosfwd>

namespace lczs::cli {

// Exit statuses.
inline constexpr int kExitDone = 0;      // the job reached its end message
inline constexpr int kExitStopped = 1;   // stopped after its message
inline constexpr int kExitUsage = 2;     // usage error
inline constexpr int kExitFile = 3;      // a file could not be read or written, or was refused

int run(int argc, char** argv);

}  // namespace lczs::cli
