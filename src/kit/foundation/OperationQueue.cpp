#include "kit/foundation/OperationQueue.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "kit/foundation/BlockOperation.h"
#include "kit/foundation/Exception.h"
#include "kit/foundation/Thread.h"

namespace kit {

namespace {

// How long a worker with nothing to do waits for the next operation before its thread ends:
// operations added one after the other then find a thread ready instead of starting one.
constexpr auto kIdleWorkerLifetime = std::chrono::seconds(2);

}  // namespace

struct OperationQueue::Core : std::enable_shared_from_this<OperationQueue::Core> {
  struct Entry {
    Ref<Operation> operation;
    Operation::ObserverId observer;
    uint64_t order;
    bool started;
  };

  mutable std::mutex mutex;
  std::condition_variable emptied;
  std::vector<Entry> entries;
  uint64_t nextOrder = 0;
  int width = kDefaultMaxConcurrentOperationCount;
  bool suspended = false;
  int running = 0;  // started and not yet finished: the slots in use
  std::deque<Ref<Operation>> jobs;  // started by the scheduler, waiting for a worker to call start()
  int workers = 0;
  int busy = 0;
  std::condition_variable jobAdded;  // wakes an idle worker
  std::string name;
  // Set when the queue object went away with work left: the core lives until it is done.
  std::shared_ptr<Core> self;

  int effectiveWidth() const {
    if (width >= 0) return width;
    return static_cast<int>(std::max(2u, std::thread::hardware_concurrency()));
  }

  // Starts as many ready operations as free slots allow.
  void schedule() {
    struct Candidate {
      Ref<Operation> operation;
      uint64_t order;
    };
    for (;;) {
      std::vector<Candidate> candidates;
      {
        std::lock_guard<std::mutex> g(mutex);
        if (suspended || running >= effectiveWidth()) return;
        for (auto& e : entries)
          if (!e.started) candidates.push_back({e.operation, e.order});
      }
      // isReady() and queuePriority() may be overridden and take locks of their
      // own, so they are asked without holding the queue's lock.
      const Candidate* best = nullptr;
      int bestPriority = 0;
      for (auto& c : candidates) {
        if (!c.operation->isReady()) continue;
        int p = c.operation->queuePriority();
        if (!best || p > bestPriority || (p == bestPriority && c.order < best->order)) {
          best = &c;
          bestPriority = p;
        }
      }
      if (!best) return;
      bool spawn = false;
      bool wakeIdle = false;
      const bool startHere = best->operation->isConcurrent();
      std::string threadName;
      {
        std::lock_guard<std::mutex> g(mutex);
        if (suspended || running >= effectiveWidth()) return;
        auto it = std::find_if(entries.begin(), entries.end(), [&](const Entry& e) {
          return e.operation == best->operation && !e.started;
        });
        if (it == entries.end()) continue;  // taken or gone meanwhile: look again
        it->started = true;
        ++running;
      }
      if (startHere) {
        Ref<Operation> op = best->operation;
        op->start();
        continue;
      }
      {
        std::lock_guard<std::mutex> g(mutex);
        jobs.push_back(best->operation);
        if (workers - busy < static_cast<int>(jobs.size())) {
          ++workers;
          spawn = true;
          threadName = threadNameLocked();
        } else {
          wakeIdle = true;
        }
      }
      if (wakeIdle) jobAdded.notify_one();
      if (spawn) {
        std::shared_ptr<Core> core = shared_from_this();
        try {
          Thread::detachNewThread([core] { core->work(); }, threadName);
        } catch (...) {
          std::lock_guard<std::mutex> g(mutex);
          --workers;
          throw;
        }
      }
    }
  }

  std::string threadNameLocked() const { return name.empty() ? "OperationQueue" : name; }

  // A worker thread: starts queued jobs, waiting a while for more when none is left, then ends.
  // Each operation sees a thread of its own as before: after one ran, the thread takes a new
  // identity (the old one is finished and its run loop shut down, so work posted to it is
  // refused at once rather than run during a later operation).
  void work() {
    for (;;) {
      Ref<Operation> op;
      std::string threadName;
      {
        std::unique_lock<std::mutex> l(mutex);
        if (!jobAdded.wait_for(l, kIdleWorkerLifetime, [&] { return !jobs.empty(); })) {
          --workers;
          return;
        }
        op = std::move(jobs.front());
        jobs.pop_front();
        ++busy;
        threadName = threadNameLocked();
      }
      if (op->isReady()) {
        // An operation that throws is finished all the same (start() sees to that); what it
        // threw has no one to go to on this thread and must not end the process.
        try {
          op->start();
        } catch (...) {
        }
        Thread::renewCurrent(std::move(threadName));
      } else {
        // A dependency was added after it was picked: put it back.
        std::lock_guard<std::mutex> g(mutex);
        for (auto& e : entries)
          if (e.operation == op && e.started) {
            e.started = false;
            --running;
          }
      }
      {
        std::lock_guard<std::mutex> g(mutex);
        --busy;
      }
      op = nullptr;
      schedule();
    }
  }

  void operationChanged(Operation& op, const std::string& key) {
    if (key == "isFinished") {
      if (!op.isFinished()) return;
      Entry removed{nullptr, 0, 0, false};
      std::shared_ptr<Core> keep;
      {
        std::lock_guard<std::mutex> g(mutex);
        auto it = std::find_if(entries.begin(), entries.end(),
                               [&](const Entry& e) { return e.operation.get() == &op; });
        if (it == entries.end()) return;
        if (it->started) --running;
        removed = std::move(*it);
        entries.erase(it);
        if (entries.empty()) {
          emptied.notify_all();
          keep = std::move(self);  // released after this call: the caller holds a reference too
        }
      }
      op.removeStateObserver(removed.observer);
      op.releaseFromQueue();
    }
    if (key == "isFinished" || key == "isReady" || key == "isCancelled") schedule();
  }
};

OperationQueue::OperationQueue() : core_(std::make_shared<Core>()) {}

OperationQueue::~OperationQueue() {
  std::vector<Core::Entry> dropped;
  {
    std::lock_guard<std::mutex> g(core_->mutex);
    auto& v = core_->entries;
    if (core_->suspended || core_->width == 0) {
      for (auto it = v.begin(); it != v.end();) {
        if (!it->started) {
          dropped.push_back(std::move(*it));
          it = v.erase(it);
        } else {
          ++it;
        }
      }
    }
    if (!v.empty()) core_->self = core_;
  }
  for (auto& e : dropped) {
    e.operation->removeStateObserver(e.observer);
    e.operation->releaseFromQueue();
  }
}

void OperationQueue::addOperation(Operation* operation) {
  if (!operation) throw InvalidArgumentException("OperationQueue::addOperation: null operation");
  if (operation->isExecuting() || operation->isFinished())
    throw InvalidArgumentException(
        "OperationQueue::addOperation: the operation is executing or finished and cannot be enqueued");
  if (!operation->claimForQueue())
    throw InvalidArgumentException("OperationQueue::addOperation: the operation is already in a queue");
  std::weak_ptr<Core> weak = core_;
  Operation::ObserverId observer =
      operation->addStateObserver([weak](Operation& op, const std::string& key) {
        if (auto core = weak.lock()) core->operationChanged(op, key);
      });
  {
    std::lock_guard<std::mutex> g(core_->mutex);
    core_->entries.push_back({Ref<Operation>(operation), observer, core_->nextOrder++, false});
  }
  core_->schedule();
}

void OperationQueue::addOperations(const std::vector<Ref<Operation>>& operations,
                                   bool waitUntilFinished) {
  for (auto& op : operations) addOperation(op);
  if (waitUntilFinished)
    for (auto& op : operations) op->waitUntilFinished();
}

Ref<Operation> OperationQueue::addOperationWithBlock(std::function<void()> block) {
  if (!block) throw InvalidArgumentException("OperationQueue::addOperationWithBlock: no block");
  Ref<Operation> op = BlockOperation::blockOperation(std::move(block));
  addOperation(op);
  return op;
}

std::vector<Ref<Operation>> OperationQueue::operations() const {
  std::lock_guard<std::mutex> g(core_->mutex);
  std::vector<Ref<Operation>> out;
  out.reserve(core_->entries.size());
  for (auto& e : core_->entries) out.push_back(e.operation);
  return out;
}

size_t OperationQueue::operationCount() const {
  std::lock_guard<std::mutex> g(core_->mutex);
  return core_->entries.size();
}

int OperationQueue::maxConcurrentOperationCount() const {
  std::lock_guard<std::mutex> g(core_->mutex);
  return core_->width;
}

void OperationQueue::setMaxConcurrentOperationCount(int count) {
  if (count < kDefaultMaxConcurrentOperationCount)
    throw InvalidArgumentException("OperationQueue::setMaxConcurrentOperationCount: negative width");
  {
    std::lock_guard<std::mutex> g(core_->mutex);
    core_->width = count;
  }
  core_->schedule();
}

void OperationQueue::setSuspended(bool suspended) {
  {
    std::lock_guard<std::mutex> g(core_->mutex);
    core_->suspended = suspended;
  }
  if (!suspended) core_->schedule();
}

bool OperationQueue::isSuspended() const {
  std::lock_guard<std::mutex> g(core_->mutex);
  return core_->suspended;
}

void OperationQueue::cancelAllOperations() {
  for (auto& op : operations()) op->cancel();
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
  std::unique_lock<std::mutex> l(core_->mutex);
  core_->emptied.wait(l, [&] { return core_->entries.empty(); });
}

std::string OperationQueue::name() const {
  std::lock_guard<std::mutex> g(core_->mutex);
  return core_->name;
}

void OperationQueue::setName(std::string name) {
  std::lock_guard<std::mutex> g(core_->mutex);
  core_->name = std::move(name);
}

}  // namespace kit
