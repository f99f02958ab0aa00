#include "host/clock.h"

#include <chrono>

namespace lczs::host {

double SteadyClock::now_seconds() const {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace lczs::host
