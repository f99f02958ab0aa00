// The steps of a class-division run (module fb_main). ClassDivision::fb_run
// calls them in order; tests call them one by one.
#pragma once

#include <string>
#include <vector>

#include "classdiv/fb_state.h"
#include "jobs/job.h"

namespace lczs::classdiv {

inline constexpr std::string_view kFbExitMessage = "现在退出分班程序，要分班请重新运行程序！";

// Confirmation box, data-format form and the settings form until a class
// count of 2 or more is stored or the user declines.
void fb_confirm(jobs::JobEnv& env, FbState& st);
// Input checks, the sort, the deal, the class tables and the statistics
// block. Clears fb_go_on when the data is refused (after its message).
void fb_prepare_classes(jobs::JobEnv& env, FbState& st);
// The balancing search, then fb_write_back.
void fb_balance_classes(jobs::JobEnv& env, FbState& st);
// Page breaks before every class from the second, font size 10.
void fb_format_result(jobs::JobEnv& env, FbState& st, host::Worksheet& sheet);
// Settings and counters back to their defaults after a successful run.
void fb_reset(FbState& st);

// The statistics block below the students (header row N + 9).
void fb_build_stats(jobs::JobEnv& env, FbState& st);
// Rewrites the highest-class, lowest-class and spread rows of the block.
void fb_refresh_extremes(jobs::JobEnv& env, FbState& st);
// Final class numbers into column B, rows back in class order, scratch sheet
// and record-number column removed.
void fb_write_back(jobs::JobEnv& env, FbState& st);

// The serpentine deal: the class of each sorted row, boys (B of them) first.
std::vector<int> fb_deal(int boys, int girls, int classes);

// "程序共执行了…，分班结束!" for a search that took `elapsed` seconds.
std::string fb_end_message(double elapsed);

// Exchanges two whole rows through the scratch row, as the search does.
void fb_exchange_rows(host::Application& app, host::Worksheet& ws, int i, int k, int scratch_row);

}  // namespace lczs::classdiv
