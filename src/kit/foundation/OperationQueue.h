#pragma once
// Runs operations on worker threads: at most maxConcurrentOperationCount at a
// time, ready ones only (dependencies finished), the highest queue priority
// first and otherwise in the order added.
//
// A slot is taken when an operation is started and given back only when the
// operation announces that it finished, so a concurrent operation whose start()
// returns at once keeps its slot until its work is really done. Width changes
// and resuming take effect at once; lowering the width or suspending never
// stops what is already running. Cancelled operations are still started (they
// finish without running main()) and leave the queue that way.
//
// Operations keep running when the queue object goes away; only what a
// suspended (or zero-width) queue still holds is then dropped unstarted.
//
// A concurrent operation is started on the thread that finds it a slot (the
// one adding it, or the one whose operation just finished): its start() only
// begins the work elsewhere, and a trip through a worker would only add a
// thread switch to every operation.
//
// A worker thread with nothing left to start waits a short while for more
// before it ends. Each operation still sees a thread of its own: what an
// earlier one left on a reused thread (its Thread, its run loop, work posted
// to them) is finished before the next one starts (Thread::renewCurrent).

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kit/foundation/Object.h"
#include "kit/foundation/Operation.h"

namespace kit {

class OperationQueue : public Object {
 public:
  // The queue picks the width itself (the machine's core count, at least 2).
  static constexpr int kDefaultMaxConcurrentOperationCount = -1;

  OperationQueue();
  ~OperationQueue() override;

  // Throws InvalidArgumentException for null, or for an operation that is
  // executing, finished or already in a queue.
  virtual void addOperation(Operation* operation);
  // Adds each through addOperation(); optionally waits until all of them finished.
  void addOperations(const std::vector<Ref<Operation>>& operations, bool waitUntilFinished);
  Ref<Operation> addOperationWithBlock(std::function<void()> block);

  // The operations not yet finished, in the order they were added.
  std::vector<Ref<Operation>> operations() const;
  size_t operationCount() const;

  int maxConcurrentOperationCount() const;
  // Throws InvalidArgumentException below kDefaultMaxConcurrentOperationCount.
  void setMaxConcurrentOperationCount(int count);
  virtual void setSuspended(bool suspended);
  bool isSuspended() const;
  // Cancels every operation in the queue (each through its own cancel()).
  virtual void cancelAllOperations();
  // Blocks until the queue is empty. Called on the main thread it does not run
  // the main loop, so work that waits for the main thread would never finish.
  void waitUntilAllOperationsAreFinished();

  std::string name() const;
  void setName(std::string name);

  std::string className() const override { return "OperationQueue"; }

 private:
  // The scheduler lives apart from the object so that worker threads and
  // operation callbacks can outlive it safely.
  struct Core;
  std::shared_ptr<Core> core_;
};

}  // namespace kit
