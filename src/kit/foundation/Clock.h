#pragma once
// The time source of kit. In real mode it reads the system clock; in virtual
// mode (tests) time stands still until advanced, so timed behaviour is
// deterministic. Times are seconds since 2001-01-01 00:00:00 UTC.

namespace kit {

class Clock {
 public:
  // Seconds between 1970-01-01 and 2001-01-01.
  static constexpr double kReferenceDateOffset1970 = 978307200.0;

  static double now() noexcept;
  static bool isVirtual() noexcept;
  // Switches to virtual time starting at the given instant (default: the real now).
  static void setVirtual(double start) noexcept;
  static void setVirtual() noexcept;
  static void setReal() noexcept;
  // Moves virtual time forward; no effect in real mode.
  static void advance(double seconds) noexcept;
  // Monotonic seconds for measuring intervals; virtual time in virtual mode.
  static double monotonic() noexcept;
};

}  // namespace kit
