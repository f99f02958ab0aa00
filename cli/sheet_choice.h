// Which sheet a job reads, said before its first question (a book saved
// with another sheet active otherwise fails with a message about a sheet
// the user never meant), and which sheet to choose when the active one is
// not laid out for the job but another is.
#pragma once

#include <string>

#include "cli/commands.h"
#include "host/host.h"

namespace lczs::cli {

// One line naming the active sheet and how many sheets the book has.
std::string sheet_in_use(host::Workbook& book);

// When `command`'s job would not find its layout on the active sheet but a
// visible other sheet has it, one line naming that sheet and the --sheet
// option; "" otherwise.
std::string sheet_to_choose(const Command& command, host::Workbook& book);

}  // namespace lczs::cli
