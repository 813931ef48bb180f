#include "kit/foundation/RunLoopSource.h"

#include "kit/foundation/RunLoop.h"

namespace kit {

RunLoopSource::RunLoopSource(std::function<void()> handler) {
  if (handler) handler_ = std::make_shared<std::function<void()>>(std::move(handler));
}

RunLoopSource::~RunLoopSource() = default;

void RunLoopSource::signal() {
  std::shared_ptr<RunLoop> loop;
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (!valid_ || !handler_) return;
    signalled_ = true;
    loop = loop_.lock();
  }
  if (loop) loop->wakeUp();
}

void RunLoopSource::invalidate() {
  std::shared_ptr<RunLoop> loop;
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (!valid_) return;
    valid_ = false;
    signalled_ = false;
    loop = loop_.lock();
  }
  // The loop drops invalid sources on its next pass; waking it makes that prompt.
  if (loop) loop->wakeUp();
}

bool RunLoopSource::isValid() const {
  std::lock_guard<std::mutex> g(mutex_);
  return valid_;
}

bool RunLoopSource::isSignalled() const {
  std::lock_guard<std::mutex> g(mutex_);
  return signalled_;
}

std::shared_ptr<std::function<void()>> RunLoopSource::takeSignal() {
  std::lock_guard<std::mutex> g(mutex_);
  if (!valid_ || !signalled_) return nullptr;
  signalled_ = false;
  return handler_;
}

}  // namespace kit
