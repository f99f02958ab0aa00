// Named places in the file layer where a test build can hold a run, so that
// a test puts a signal, another run or another program's write between two
// steps of a lock or a save on purpose rather than by luck.
//
// A build configured with LCZS_TEST_POINTS reads two environment variables:
// LCZS_TEST_PAUSE, a comma-separated list of point names, and
// LCZS_TEST_PAUSE_FILE, a path. Reaching a listed point, the run creates
// that file holding the point's name and waits until the test removes it
// (at most kPauseLimitSeconds). Any other build compiles the points to
// nothing and reads neither variable.
#pragma once

namespace lczs::io::test_points {

// The points, in the order a run reaches them.
inline constexpr const char* kLockOpened = "lock-opened";    // lock file open, not yet locked
inline constexpr const char* kLockRefused = "lock-refused";  // another run holds it
inline constexpr const char* kLockHeld = "lock-held";        // held and recorded
inline constexpr const char* kBookRead = "book-read";        // the workbook has been read
inline constexpr const char* kSaveWritten = "save-written";  // temporary file complete, nothing replaced

inline constexpr int kPauseLimitSeconds = 60;

#ifdef LCZS_TEST_POINTS
void reach(const char* point);
#else
inline void reach(const char*) {}
#endif

}  // namespace lczs::io::test_points
