#include "kit/foundation/Operation.h"

#include <algorithm>

#include "kit/foundation/Exception.h"

namespace kit {

Operation::Operation() = default;
Operation::~Operation() = default;

bool Operation::isExecuting() const { return executing_.load(); }
bool Operation::isFinished() const { return finished_.load(); }
bool Operation::isCancelled() const { return cancelled_.load(); }

bool Operation::isReady() const {
  if (isCancelled()) return true;
  for (auto& d : dependencies())
    if (!d->isFinished()) return false;
  return true;
}

void Operation::start() {
  if (isFinished()) return;
  if (isExecuting()) throw InvalidArgumentException("Operation::start: the operation is already executing");
  if (isCancelled()) {
    setFinished(true);
    return;
  }
  if (!isReady()) throw InvalidArgumentException("Operation::start: the operation is not ready");
  setExecuting(true);
  try {
    main();
  } catch (...) {
    // Whoever catches this still sees a finished operation, and its queue gets its slot back.
    setExecuting(false);
    setFinished(true);
    throw;
  }
  setExecuting(false);
  setFinished(true);
}

void Operation::cancel() {
  if (cancelled_.exchange(true)) return;
  didChangeState("isCancelled");
  didChangeState("isReady");
}

void Operation::addDependency(Operation* operation) {
  if (!operation) throw InvalidArgumentException("Operation::addDependency: null operation");
  if (operation == this) throw InvalidArgumentException("Operation::addDependency: an operation cannot depend on itself");
  {
    std::lock_guard<std::mutex> g(mutex_);
    for (auto& d : dependencies_)
      if (d.get() == operation) return;
    dependencies_.push_back(Ref<Operation>(operation));
  }
  {
    std::lock_guard<std::mutex> g(operation->mutex_);
    operation->dependents_.push_back(WeakRef<Operation>(this));
  }
  didChangeState("isReady");
}

void Operation::removeDependency(Operation* operation) {
  if (!operation) return;
  Ref<Operation> removed;
  {
    std::lock_guard<std::mutex> g(mutex_);
    auto it = std::find_if(dependencies_.begin(), dependencies_.end(),
                           [&](const Ref<Operation>& d) { return d.get() == operation; });
    if (it == dependencies_.end()) return;
    removed = std::move(*it);
    dependencies_.erase(it);
  }
  {
    std::lock_guard<std::mutex> g(operation->mutex_);
    auto& v = operation->dependents_;
    v.erase(std::remove_if(v.begin(), v.end(),
                           [&](const WeakRef<Operation>& w) {
                             Ref<Operation> o = w.lock();
                             return !o || o.get() == this;
                           }),
            v.end());
  }
  didChangeState("isReady");
}

std::vector<Ref<Operation>> Operation::dependencies() const {
  std::lock_guard<std::mutex> g(mutex_);
  return dependencies_;
}

std::string Operation::name() const {
  std::lock_guard<std::mutex> g(mutex_);
  return name_;
}

void Operation::setName(std::string name) {
  std::lock_guard<std::mutex> g(mutex_);
  name_ = std::move(name);
}

void Operation::setCompletionBlock(std::function<void()> block) {
  std::shared_ptr<std::function<void()>> old;
  std::lock_guard<std::mutex> g(mutex_);
  old = std::move(completion_);
  if (block) completion_ = std::make_shared<std::function<void()>>(std::move(block));
}

std::function<void()> Operation::completionBlock() const {
  std::lock_guard<std::mutex> g(mutex_);
  return completion_ ? *completion_ : std::function<void()>();
}

void Operation::waitUntilFinished() {
  std::unique_lock<std::mutex> l(waitMutex_);
  for (;;) {
    const uint64_t seen = finishGeneration_;
    l.unlock();
    if (isFinished()) return;
    l.lock();
    waitCv_.wait(l, [&] { return finishGeneration_ != seen; });
  }
}

Operation::ObserverId Operation::addStateObserver(StateObserver observer) {
  if (!observer) throw InvalidArgumentException("Operation::addStateObserver: no observer");
  std::lock_guard<std::mutex> g(mutex_);
  ObserverId id = nextObserver_++;
  observers_.emplace_back(id, std::make_shared<StateObserver>(std::move(observer)));
  return id;
}

void Operation::removeStateObserver(ObserverId id) {
  std::shared_ptr<StateObserver> dropped;
  std::lock_guard<std::mutex> g(mutex_);
  auto it = std::find_if(observers_.begin(), observers_.end(),
                         [&](const auto& p) { return p.first == id; });
  if (it == observers_.end()) return;
  dropped = std::move(it->second);
  observers_.erase(it);
}

void Operation::setExecuting(bool executing) {
  if (executing_.exchange(executing) == executing) return;
  didChangeState("isExecuting");
}

void Operation::setFinished(bool finished) {
  if (finished_.exchange(finished) == finished) return;
  didChangeState("isFinished");
}

void Operation::didChangeState(const std::string& key) {
  KeepAlive keep(this);  // an observer may drop the last other reference
  std::vector<std::shared_ptr<StateObserver>> observers;
  {
    std::lock_guard<std::mutex> g(mutex_);
    for (auto& p : observers_) observers.push_back(p.second);
  }
  for (auto& o : observers) (*o)(*this, key);

  if (key != "isFinished" || !isFinished()) return;
  {
    std::lock_guard<std::mutex> g(waitMutex_);
    ++finishGeneration_;
  }
  waitCv_.notify_all();

  std::vector<WeakRef<Operation>> dependents;
  std::shared_ptr<std::function<void()>> completion;
  {
    std::lock_guard<std::mutex> g(mutex_);
    dependents = dependents_;
    if (!completionRan_) {
      completionRan_ = true;
      completion = std::move(completion_);  // runs once; released afterwards, breaking cycles
    }
  }
  for (auto& w : dependents)
    if (Ref<Operation> d = w.lock()) d->didChangeState("isReady");
  if (completion && *completion) (*completion)();
}

bool Operation::claimForQueue() {
  std::lock_guard<std::mutex> g(mutex_);
  if (inQueue_) return false;
  inQueue_ = true;
  return true;
}

void Operation::releaseFromQueue() {
  std::lock_guard<std::mutex> g(mutex_);
  inQueue_ = false;
}

}  // namespace kit
