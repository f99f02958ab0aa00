#include "cli/signals.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "io/io.h"

namespace lczs::cli::signals {

namespace {

char g_message[kMessageLimit] = {};
// 0 while the message is being replaced, so the handler never prints half
// of one.
std::atomic<std::size_t> g_message_size{0};

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void on_signal(int sig) {
  io::remove_recorded_files();
  std::size_t size = g_message_size.load();
  for (std::size_t done = 0; done < size;) {
    ssize_t n = ::write(STDERR_FILENO, g_message + done, size - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  // Installed to run once: raised again, the signal now ends the process
  // as it would have without us.
  ::raise(sig);
}

}  // namespace

void install() {
  // A reader that went away (`lczs ... | head -1`) must not end the run
  // between its save and its clean-up: writes to it fail instead, and the
  // dialogs' lines there are simply not read.
  ::signal(SIGPIPE, SIG_IGN);
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  for (int sig : kSignals) sigaddset(&sa.sa_mask, sig);
  sa.sa_flags = SA_RESETHAND;
  for (int sig : kSignals) {
    // A signal ignored by whoever started us stays ignored (nohup).
    struct sigaction old {};
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    sigaction(sig, &sa, nullptr);
  }
}

void set_message(std::string_view text) {
  g_message_size.store(0);
  std::size_t size = std::min(text.size(), kMessageLimit);
  std::memcpy(g_message, text.data(), size);
  g_message_size.store(size);
}

}  // namespace lczs::cli::signals
