#include "kit/foundation/Clock.h"

#include <atomic>
#include <chrono>

namespace kit {
namespace {
std::atomic<bool> gVirtual{false};
std::atomic<double> gVirtualNow{0};

double realNow() noexcept {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count() -
         Clock::kReferenceDateOffset1970;
}
}  // namespace

double Clock::now() noexcept { return gVirtual.load() ? gVirtualNow.load() : realNow(); }

bool Clock::isVirtual() noexcept { return gVirtual.load(); }

void Clock::setVirtual(double start) noexcept {
  gVirtualNow.store(start);
  gVirtual.store(true);
}

void Clock::setVirtual() noexcept { setVirtual(realNow()); }

void Clock::setReal() noexcept { gVirtual.store(false); }

void Clock::advance(double seconds) noexcept {
  if (!gVirtual.load() || seconds <= 0) return;
  double cur = gVirtualNow.load();
  while (!gVirtualNow.compare_exchange_weak(cur, cur + seconds)) {
  }
}

double Clock::monotonic() noexcept {
  if (gVirtual.load()) return gVirtualNow.load();
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace kit
