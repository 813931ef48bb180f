#include "kit/foundation/OperationQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "kit/foundation/Array.h"
#include "kit/foundation/BlockOperation.h"
#include "kit/foundation/Clock.h"
#include "kit/foundation/Exception.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/Thread.h"

using kit::BlockOperation;
using kit::Operation;
using kit::OperationQueue;
using kit::Ref;

namespace {

// These tests are about real worker threads, so they wait for them, bounded.
bool eventually(const std::function<bool()>& done, double seconds = 20.0) {
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class Gate {
 public:
  void wait() {
    std::unique_lock<std::mutex> l(m_);
    cv_.wait(l, [&] { return open_; });
  }
  void open() {
    {
      std::lock_guard<std::mutex> g(m_);
      open_ = true;
    }
    cv_.notify_all();
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool open_ = false;
};

class Log {
 public:
  void add(const std::string& s) {
    std::lock_guard<std::mutex> g(m_);
    items_.push_back(s);
  }
  std::vector<std::string> items() const {
    std::lock_guard<std::mutex> g(m_);
    return items_;
  }

 private:
  mutable std::mutex m_;
  std::vector<std::string> items_;
};

using Items = std::vector<std::string>;

// Starts its work and returns; finishes only when told to.
class AsyncOperation : public Operation {
 public:
  bool isConcurrent() const override { return true; }
  void start() override {
    setExecuting(true);
    started = true;
  }
  void finishNow() {
    setExecuting(false);
    setFinished(true);
  }
  std::atomic<bool> started{false};
};

TEST(OperationQueueTest, DependenciesOrderTheWorkAcrossQueues) {
  auto queue = kit::make<OperationQueue>();
  auto other = kit::make<OperationQueue>();
  other->setSuspended(true);
  Log log;
  auto a = BlockOperation::blockOperation([&] { log.add("a"); });
  auto b = BlockOperation::blockOperation([&] { log.add("b"); });
  auto c = BlockOperation::blockOperation([&] { log.add("c"); });
  c->addDependency(b);
  b->addDependency(a);
  queue->addOperation(c);
  queue->addOperation(b);
  other->addOperation(a);

  EXPECT_FALSE(b->isReady());
  EXPECT_EQ(queue->operationCount(), 2u);
  EXPECT_TRUE(log.items().empty());  // nothing is ready while a waits in a suspended queue

  other->setSuspended(false);
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(log.items(), (Items{"a", "b", "c"}));
  EXPECT_EQ(queue->operationCount(), 0u);
  EXPECT_TRUE(c->isFinished());

  // Removing the only unfinished dependency makes an operation ready.
  auto blocker = kit::make<Operation>();
  auto d = BlockOperation::blockOperation([&] { log.add("d"); });
  d->addDependency(blocker);
  queue->addOperation(d);
  EXPECT_FALSE(d->isReady());
  d->removeDependency(blocker);
  d->waitUntilFinished();
  EXPECT_EQ(log.items().back(), "d");

  // An operation that throws ends as finished, and its dependents still run: the exception
  // does not end the worker thread (and with it the process).
  auto thrower = BlockOperation::blockOperation([] { throw std::invalid_argument("stol"); });
  auto after = BlockOperation::blockOperation([&] { log.add("after"); });
  after->addDependency(thrower);
  queue->addOperation(thrower);
  queue->addOperation(after);
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_TRUE(thrower->isFinished());
  EXPECT_EQ(log.items().back(), "after");
}

TEST(OperationQueueTest, WidthChangesTakeEffectAtOnce) {
  auto queue = kit::make<OperationQueue>();
  queue->setMaxConcurrentOperationCount(1);
  std::atomic<int> running{0};
  std::vector<int> runningAtStart(4, -1);
  std::vector<std::unique_ptr<Gate>> gates;
  std::vector<Ref<Operation>> ops;
  for (int i = 0; i < 4; ++i) {
    gates.push_back(std::make_unique<Gate>());
    Gate* gate = gates.back().get();
    ops.push_back(BlockOperation::blockOperation([&, i, gate] {
      runningAtStart[i] = ++running;
      gate->wait();
      --running;
    }));
    queue->addOperation(ops.back());
  }
  EXPECT_TRUE(eventually([&] { return running.load() == 1; }));
  EXPECT_EQ(queue->operationCount(), 4u);
  EXPECT_TRUE(ops[0]->isExecuting());

  // Wider: two more start without anything finishing.
  queue->setMaxConcurrentOperationCount(3);
  EXPECT_TRUE(eventually([&] { return running.load() == 3; }));
  EXPECT_EQ(queue->maxConcurrentOperationCount(), 3);

  // Narrower: the last one waits until only it would be running.
  queue->setMaxConcurrentOperationCount(1);
  gates[0]->open();
  ops[0]->waitUntilFinished();
  gates[1]->open();
  ops[1]->waitUntilFinished();
  EXPECT_FALSE(ops[3]->isExecuting() || ops[3]->isFinished());
  gates[2]->open();
  gates[3]->open();
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(runningAtStart[3], 1);
  EXPECT_THROW(queue->setMaxConcurrentOperationCount(-2), kit::InvalidArgumentException);
}

TEST(OperationQueueTest, SuspendHoldsBackNewWorkOnly) {
  auto queue = kit::make<OperationQueue>();
  queue->setSuspended(true);
  std::atomic<int> ran{0};
  for (int i = 0; i < 3; ++i) queue->addOperationWithBlock([&] { ++ran; });
  EXPECT_TRUE(queue->isSuspended());
  EXPECT_EQ(queue->operationCount(), 3u);
  EXPECT_EQ(ran.load(), 0);
  queue->setSuspended(false);
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(ran.load(), 3);

  // Suspending while one runs lets it finish but starts nothing after it.
  queue->setMaxConcurrentOperationCount(1);
  Gate gate;
  auto first = queue->addOperationWithBlock([&] { gate.wait(); });
  auto second = queue->addOperationWithBlock([&] { ++ran; });
  EXPECT_TRUE(eventually([&] { return first->isExecuting(); }));
  queue->setSuspended(true);
  gate.open();
  first->waitUntilFinished();
  EXPECT_TRUE(eventually([&] { return queue->operationCount() == 1; }));
  EXPECT_FALSE(second->isExecuting() || second->isFinished());
  EXPECT_EQ(queue->operations()[0], second);
  queue->setSuspended(false);
  second->waitUntilFinished();
  EXPECT_EQ(ran.load(), 4);
}

TEST(OperationQueueTest, CancelledOperationsFinishWithoutRunning) {
  auto queue = kit::make<OperationQueue>();
  auto held = kit::make<OperationQueue>();
  held->setSuspended(true);
  queue->setSuspended(true);
  std::atomic<int> ran{0};
  std::atomic<int> completions{0};
  auto never = BlockOperation::blockOperation([&] { ++ran; });
  held->addOperation(never);

  auto a = BlockOperation::blockOperation([&] { ++ran; });
  a->setCompletionBlock([&] { ++completions; });
  auto b = BlockOperation::blockOperation([&] { ++ran; });
  b->addDependency(never);  // a cancelled operation does not wait for its dependencies
  queue->addOperation(a);
  queue->addOperation(b);
  a->cancel();
  b->cancel();
  EXPECT_TRUE(b->isReady());
  EXPECT_TRUE(a->isCancelled());
  EXPECT_EQ(queue->operationCount(), 2u);  // still queued until started

  queue->setSuspended(false);
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(ran.load(), 0);
  EXPECT_TRUE(a->isFinished() && b->isFinished());
  // The completion block runs on the finishing thread, after the queue let go.
  EXPECT_TRUE(eventually([&] { return completions.load() == 1; }));

  // cancelAllOperations reaches every operation of the queue through its own cancel().
  struct CountingCancel : BlockOperation {
    using BlockOperation::BlockOperation;
    void cancel() override {
      ++cancels;
      BlockOperation::cancel();
    }
    std::atomic<int> cancels{0};
  };
  auto counted = kit::make<CountingCancel>([&] { ++ran; });
  held->addOperation(counted);
  held->cancelAllOperations();
  EXPECT_EQ(counted->cancels.load(), 1);
  EXPECT_TRUE(never->isCancelled());
  held->setSuspended(false);
  held->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(ran.load(), 0);
}

TEST(OperationQueueTest, ConcurrentOperationHoldsItsSlotUntilItFinishes) {
  auto queue = kit::make<OperationQueue>();
  queue->setMaxConcurrentOperationCount(1);
  auto async = kit::make<AsyncOperation>();
  std::atomic<bool> completed{false};
  async->setCompletionBlock([&] { completed = true; });
  std::atomic<bool> nextRan{false};
  std::atomic<bool> asyncFinishedFirst{false};
  auto next = BlockOperation::blockOperation([&] {
    asyncFinishedFirst = async->isFinished();
    nextRan = true;
  });
  queue->addOperation(async);
  queue->addOperation(next);

  EXPECT_TRUE(eventually([&] { return async->started.load(); }));
  EXPECT_TRUE(async->isExecuting());
  // start() has returned, but the operation is not finished: nothing else may run.
  EXPECT_FALSE(eventually([&] { return nextRan.load(); }, 0.1));
  EXPECT_EQ(queue->operationCount(), 2u);

  async->finishNow();
  EXPECT_TRUE(completed.load());
  next->waitUntilFinished();
  EXPECT_TRUE(asyncFinishedFirst.load());
  queue->waitUntilAllOperationsAreFinished();
}

TEST(OperationQueueTest, PriorityPicksAmongReadyOperations) {
  auto queue = kit::make<OperationQueue>();
  queue->setMaxConcurrentOperationCount(1);
  queue->setSuspended(true);
  Log log;
  auto add = [&](const std::string& name, int priority) {
    auto op = BlockOperation::blockOperation([&log, name] { log.add(name); });
    op->setQueuePriority(priority);
    queue->addOperation(op);
  };
  add("low", Operation::kLow);
  add("normal1", Operation::kNormal);
  add("head", 10);
  add("high", Operation::kHigh);
  add("normal2", Operation::kNormal);
  queue->setSuspended(false);
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(log.items(), (Items{"head", "high", "normal1", "normal2", "low"}));
}

TEST(OperationQueueTest, MisuseIsRefused) {
  auto queue = kit::make<OperationQueue>();
  auto other = kit::make<OperationQueue>();
  queue->setSuspended(true);
  auto op = BlockOperation::blockOperation([] {});
  queue->addOperation(op);
  EXPECT_THROW(queue->addOperation(op), kit::InvalidArgumentException);
  EXPECT_THROW(other->addOperation(op), kit::InvalidArgumentException);
  EXPECT_THROW(queue->addOperation(nullptr), kit::InvalidArgumentException);
  EXPECT_THROW(op->addDependency(op), kit::InvalidArgumentException);
  queue->setSuspended(false);
  op->waitUntilFinished();
  EXPECT_THROW(other->addOperation(op), kit::InvalidArgumentException);
  EXPECT_THROW(op->addExecutionBlock([] {}), kit::InvalidArgumentException);

  auto waiting = kit::make<Operation>();
  auto blocked = kit::make<Operation>();
  blocked->addDependency(waiting);
  EXPECT_THROW(blocked->start(), kit::InvalidArgumentException);
}

TEST(OperationQueueTest, OperationsRunDirectlyAndLiveInCollections) {
  Log log;
  auto op = BlockOperation::blockOperation([&] { log.add("1"); });
  op->addExecutionBlock([&] { log.add("2"); });
  EXPECT_EQ(op->executionBlocks().size(), 2u);
  op->setName("pair");
  op->start();  // on the calling thread, without a queue
  EXPECT_EQ(log.items(), (Items{"1", "2"}));
  EXPECT_TRUE(op->isFinished());
  EXPECT_FALSE(op->isExecuting());
  op->waitUntilFinished();  // returns at once

  auto array = kit::MutableArray::array();
  array->addObject(op);
  EXPECT_EQ(array->objectAtIndex(0), op.get());
  EXPECT_EQ(kit::cast<Operation>(array->objectAtIndex(0))->name(), "pair");
}

TEST(OperationQueueTest, SubclassSeesEveryAddition) {
  struct CountingQueue : OperationQueue {
    void addOperation(Operation* op) override {
      ++added;
      OperationQueue::addOperation(op);
    }
    int added = 0;
  };
  auto queue = kit::make<CountingQueue>();
  std::atomic<int> ran{0};
  queue->addOperations({BlockOperation::blockOperation([&] { ++ran; }),
                        BlockOperation::blockOperation([&] { ++ran; })},
                       true);
  queue->addOperationWithBlock([&] { ++ran; });
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(queue->added, 3);
  EXPECT_EQ(ran.load(), 3);
}

TEST(OperationQueueTest, WorkOutlivesTheQueueObject) {
  Gate gate;
  std::atomic<int> ran{0};
  Ref<Operation> first;
  Ref<Operation> second;
  {
    auto queue = kit::make<OperationQueue>();
    queue->setMaxConcurrentOperationCount(1);
    first = queue->addOperationWithBlock([&] {
      gate.wait();
      ++ran;
    });
    second = queue->addOperationWithBlock([&] { ++ran; });
  }
  gate.open();
  second->waitUntilFinished();
  EXPECT_EQ(ran.load(), 2);
}

TEST(OperationQueueTest, OperationWaitsInItsRunLoopForMainThreadWork) {
  // An operation hands its work to the main thread and sleeps in its own run
  // loop until main reports back.
  auto queue = kit::make<OperationQueue>();
  std::atomic<bool> reported{false};
  std::atomic<bool> onMain{false};
  auto op = BlockOperation::blockOperation([&] {
    Ref<kit::Thread> me = kit::Thread::current();
    kit::RunLoop::performOnMainThread([&, me] {
      onMain = kit::Thread::isMainThread();
      reported = true;
      me->perform([] {});  // wake it
    });
    while (!reported.load())
      kit::RunLoop::current().runMode(kit::RunLoop::kDefaultMode, kit::RunLoop::kDistantFuture);
  });
  queue->addOperation(op);
  EXPECT_TRUE(kit::RunLoop::main().runUntil([&] { return op->isFinished(); }, 30.0));
  EXPECT_TRUE(onMain.load());
}

}  // namespace

namespace {

TEST(OperationQueueTest, EachOperationSeesAThreadOfItsOwn) {
  // Workers are kept for the next operation, but what one operation left on its thread (its
  // Thread, its run loop, work posted to it) never reaches the next one.
  auto queue = kit::make<OperationQueue>();
  queue->setMaxConcurrentOperationCount(1);
  queue->setName("Workers");
  std::vector<Ref<kit::Thread>> threads(3);
  std::vector<std::string> names(3);
  std::atomic<int> leftoverRuns{0};
  for (size_t i = 0; i < threads.size(); ++i) {
    queue->addOperationWithBlock([&, i] {
      threads[i] = kit::Thread::current();
      names[i] = threads[i]->name();
      // A delayed call that only a later run of this loop would fire.
      kit::RunLoop::current().performAfterDelay(&leftoverRuns, "leftover", nullptr, 0,
                                                [&] { ++leftoverRuns; });
    });
    queue->waitUntilAllOperationsAreFinished();
    // Refused once the operation's thread identity has ended (just after the operation did).
    ASSERT_TRUE(eventually([&] { return threads[i] && !threads[i]->perform([&] { ++leftoverRuns; }); }));
    EXPECT_TRUE(threads[i]->isFinished());
  }
  queue->addOperationWithBlock([] {
    kit::RunLoop::current().runMode(kit::RunLoop::kDefaultMode, kit::Clock::now() + 0.05);
  });
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_NE(threads[0].get(), threads[1].get());
  EXPECT_NE(threads[1].get(), threads[2].get());
  for (auto& n : names) EXPECT_EQ(n, "Workers");
  EXPECT_EQ(leftoverRuns.load(), 0);
}

}  // namespace
