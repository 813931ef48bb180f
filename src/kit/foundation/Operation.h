#pragma once
// A unit of work with a life cycle (ready, executing, finished), cancellation,
// dependencies and a completion block, run by an OperationQueue or by start().
//
// Non-concurrent operations override main(); the default start() runs it on
// the calling thread and marks the operation finished. A concurrent operation
// overrides start() (and isConcurrent()), begins its work wherever it likes
// and returns; it stays executing, holding its queue slot, until it announces
// the end with setExecuting(false) and setFinished(true). Subclasses that keep
// their own state and override isExecuting()/isFinished()/isCancelled() call
// didChangeState() with the key instead, so that queues, dependents and
// waiters look again.
//
// State keys: "isExecuting", "isFinished", "isCancelled", "isReady".

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kit/foundation/Object.h"

namespace kit {

class Operation : public Object {
 public:
  enum QueuePriority : int {
    kVeryLow = -8,
    kLow = -4,
    kNormal = 0,
    kHigh = 4,
    kVeryHigh = 8,
  };
  using StateObserver = std::function<void(Operation& operation, const std::string& key)>;
  using ObserverId = uint64_t;

  Operation();
  ~Operation() override;

  // Runs the operation on the calling thread: a cancelled operation only
  // becomes finished; otherwise main() runs between executing and finished.
  // Throws InvalidArgumentException when it is executing or not ready.
  virtual void start();
  virtual void main() {}
  virtual bool isConcurrent() const { return false; }
  virtual bool isExecuting() const;
  virtual bool isFinished() const;
  virtual bool isCancelled() const;
  // Every dependency finished, or cancelled (a cancelled operation need not wait).
  virtual bool isReady() const;
  // Marks the operation cancelled; main() should look at isCancelled() and stop.
  virtual void cancel();

  // Throws InvalidArgumentException for null or for the operation itself.
  void addDependency(Operation* operation);
  void removeDependency(Operation* operation);
  std::vector<Ref<Operation>> dependencies() const;

  // Higher runs first among the ready operations of a queue.
  int queuePriority() const { return priority_.load(); }
  void setQueuePriority(int priority) { priority_.store(priority); }
  std::string name() const;
  void setName(std::string name);

  // Runs once, on the thread that finishes the operation, after the queue heard of it.
  void setCompletionBlock(std::function<void()> block);
  std::function<void()> completionBlock() const;

  // Blocks until the operation is finished (never call it from its own main()).
  void waitUntilFinished();

  // Called, on whichever thread changed it, after a state may have changed.
  ObserverId addStateObserver(StateObserver observer);
  void removeStateObserver(ObserverId id);

  std::string className() const override { return "Operation"; }

 protected:
  // Set the built-in flags that the default isExecuting()/isFinished() read,
  // and announce the change.
  void setExecuting(bool executing);
  void setFinished(bool finished);
  // Announces that the state named by `key` may have changed.
  void didChangeState(const std::string& key);

 private:
  friend class OperationQueue;
  // Queue membership, so that one operation is never in two queues.
  bool claimForQueue();
  void releaseFromQueue();

  mutable std::mutex mutex_;
  std::vector<Ref<Operation>> dependencies_;
  std::vector<WeakRef<Operation>> dependents_;
  std::vector<std::pair<ObserverId, std::shared_ptr<StateObserver>>> observers_;
  ObserverId nextObserver_ = 1;
  std::string name_;
  std::shared_ptr<std::function<void()>> completion_;
  bool completionRan_ = false;
  bool inQueue_ = false;
  std::atomic<int> priority_{kNormal};
  std::atomic<bool> executing_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> cancelled_{false};

  // waitUntilFinished() sleeps on its own lock, never held while calling out,
  // so a subclass may announce while holding locks of its own.
  std::mutex waitMutex_;
  std::condition_variable waitCv_;
  uint64_t finishGeneration_ = 0;
};

}  // namespace kit
