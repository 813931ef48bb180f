#include "kit/foundation/Thread.h"

#include <pthread.h>

#include <thread>

#include "kit/foundation/Exception.h"

namespace kit {

// The calling thread's Thread object; when the thread ends it is marked finished.
struct Thread::CurrentSlot {
  Ref<Thread> thread;
  // The name a Thread made on first use gets (set when the thread was renewed).
  std::string nameForNext;
  ~CurrentSlot() {
    if (thread) {
      thread->executing_.store(false);
      thread->finished_.store(true);
    }
  }
};

Thread::CurrentSlot& Thread::currentSlot() {
  thread_local CurrentSlot slot;
  return slot;
}

Thread::Thread(std::function<void()> body, std::string name)
    : name_(std::move(name)), body_(std::move(body)), loop_(RunLoop::createUnowned()) {}

Thread::Thread(Adopt, std::shared_ptr<RunLoop> loop, bool main, std::string name)
    : name_(std::move(name)), loop_(std::move(loop)), main_(main) {
  started_.store(true);
  executing_.store(true);
}

Thread::~Thread() = default;

Ref<Thread> Thread::detachNewThread(std::function<void()> body, std::string name) {
  Ref<Thread> t = make<Thread>(std::move(body), std::move(name));
  t->start();
  return t;
}

Ref<Thread> Thread::mainThread() {
  // Never destroyed, like the main run loop.
  static Thread* main = [] {
    auto* t = new Thread(Adopt{}, RunLoop::mainShared(), true, "main");
    t->retain();
    return t;
  }();
  return Ref<Thread>(main);
}

Ref<Thread> Thread::current() {
  if (isMainThread()) return mainThread();
  // The loop first, so that at thread exit the Thread is marked finished before its loop shuts down.
  std::shared_ptr<RunLoop> loop = RunLoop::currentShared();
  CurrentSlot& slot = currentSlot();
  if (!slot.thread) slot.thread = Ref<Thread>(new Thread(Adopt{}, std::move(loop), false, slot.nameForNext));
  return slot.thread;
}

void Thread::renewCurrent(std::string name) {
  if (isMainThread()) return;
  CurrentSlot& slot = currentSlot();
  const std::string previous = slot.thread ? slot.thread->name() : slot.nameForNext;
  // As at the thread's end: the Thread is marked finished first, then its loop shuts down.
  if (Ref<Thread> old = std::move(slot.thread)) {
    old->executing_.store(false);
    old->finished_.store(true);
  }
  RunLoop::retireCurrent();
  // The fresh identity is made on first use: a task that never asks costs nothing.
  slot.nameForNext = std::move(name);
  if (slot.nameForNext != previous && !slot.nameForNext.empty()) {
    std::string n = slot.nameForNext.substr(0, 15);
    pthread_setname_np(pthread_self(), n.c_str());
  }
}

bool Thread::isMainThread() { return RunLoop::isMainThread(); }

void Thread::start() {
  if (main_ || started_.exchange(true))
    throw InvalidArgumentException("Thread::start: the thread was already started");
  Ref<Thread> self(this);
  std::thread([self] { self->entry(); }).detach();
}

void Thread::entry() {
  RunLoop::adopt(loop_);
  currentSlot().thread = Ref<Thread>(this);
  executing_.store(true);
  applySystemName();
  std::function<void()> body;
  {
    std::lock_guard<std::mutex> g(mutex_);
    body.swap(body_);  // released with the thread's end, not the object's
  }
  if (body) body();
  executing_.store(false);
  finished_.store(true);
}

std::string Thread::name() const {
  std::lock_guard<std::mutex> g(mutex_);
  return name_;
}

void Thread::setName(std::string name) {
  {
    std::lock_guard<std::mutex> g(mutex_);
    name_ = std::move(name);
  }
  if (currentSlot().thread.get() == this || (main_ && isMainThread())) applySystemName();
}

void Thread::applySystemName() const {
  std::string n = name();
  if (n.empty()) return;
  if (n.size() > 15) n.resize(15);
  pthread_setname_np(pthread_self(), n.c_str());
}

bool Thread::perform(std::function<void()> fn, bool waitUntilDone,
                     const std::vector<std::string>& modes) {
  return loop_->perform(std::move(fn), waitUntilDone, modes);
}

std::string Thread::description() const {
  return "<Thread " + name() + (main_ ? " (main)>" : ">");
}

}  // namespace kit
