// The command's one answer to being told to stop (Ctrl-C, kill, a closed
// terminal: SIGINT, SIGTERM, SIGHUP): remove the temporary files being
// written (io::TemporaryFileRecord), print the lines set for the run on
// standard error, and end as the signal ends a program (a shell reports
// 128 + the signal's number).
//
// The handler uses only what a signal handler may (unlink, write, raise).
#pragma once

#include <cstddef>
#include <string_view>

namespace lczs::cli::signals {

// Installs the handler for the three signals, and ignores SIGPIPE: a
// closed standard output changes nothing of the outcome. Once per process.
void install();

// The lines the handler prints; replaces the earlier ones. Longer text is cut.
void set_message(std::string_view text);

inline constexpr std::size_t kMessageLimit = 4096;

}  // namespace lczs::cli::signals
