// The run-time timer the class-division search reads to stop itself.
//
// A monotonic clock, so a search that crosses midnight still stops at its
// limit and reports a positive duration.
#pragma once

namespace lczs::host {

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since an arbitrary fixed origin; never decreases.
  virtual double now_seconds() const = 0;
};

// std::chrono::steady_clock.
class SteadyClock : public Clock {
 public:
  double now_seconds() const override;
};

// For tests: advances by `step` seconds at every reading.
class FakeClock : public Clock {
 public:
  explicit FakeClock(double step = 0, double start = 0) : step_(step), now_(start) {}
  double now_seconds() const override {
    double t = now_;
    now_ += step_;
    return t;
  }
  void set(double t) { now_ = t; }
  void set_step(double step) { step_ = step; }

 private:
  double step_;
  mutable double now_;
};

}  // namespace lczs::host
