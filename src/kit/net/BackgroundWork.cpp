#include "kit/net/BackgroundWork.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

#include "kit/foundation/RunLoop.h"
#include "kit/net/HostResolver.h"
#include "kit/net/URLError.h"

namespace kit {
namespace {

struct Load {
  std::shared_ptr<RunLoop> loop;
  Ref<URLConnection> connection;
  bool cancelled = false;  // read and written on the load's own thread only
};

struct State {
  std::mutex mutex;
  std::condition_variable ended;
  bool stopping = false;
  int jobs = 0;
  std::map<Load*, std::shared_ptr<Load>> loads;
};

State& state() {
  static State* s = new State();  // outlives the static destructors, as the worker threads may
  return *s;
}

void leave() {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (--s.jobs == 0) s.ended.notify_all();
}

}  // namespace

BackgroundWork::Job::Job() {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  counted_ = !s.stopping;
  if (counted_) ++s.jobs;
}

BackgroundWork::Job::Job(Job&& other) noexcept : counted_(other.counted_) { other.counted_ = false; }

BackgroundWork::Job::~Job() {
  if (counted_) leave();
}

bool BackgroundWork::stopping() {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.stopping;
}

bool BackgroundWork::run(URLConnection& connection, const std::function<bool()>& done) {
  Job job;
  if (!job) {
    connection.cancel();
    return false;
  }
  State& s = state();
  auto load = std::make_shared<Load>();
  load->loop = RunLoop::current().shared_from_this();
  load->connection = Ref<URLConnection>(&connection);
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.loads[load.get()] = load;
  }
  connection.scheduleInRunLoop(*load->loop, URLConnection::kSynchronousRunLoopMode);
  connection.start();
  while (!done() && !load->cancelled)
    load->loop->runMode(URLConnection::kSynchronousRunLoopMode, RunLoop::kDistantFuture);
  std::lock_guard<std::mutex> lock(s.mutex);
  s.loads.erase(load.get());
  return !load->cancelled;
}

Ref<Data> BackgroundWork::sendSynchronousRequest(const URLRequest& request, Ref<URLResponse>* response,
                                                 Ref<Error>* error) {
  bool stopped = false;
  Ref<Data> data = URLConnection::sendSynchronousRequest(
      request, response, error, [&](URLConnection& connection, const std::function<bool()>& done) {
        stopped = !run(connection, done);
      });
  if (!stopped) return data;
  if (response) *response = nullptr;
  if (error) *error = URLError::make(URLError::kCancelled, request.url(), "the program is ending");
  return nullptr;
}

bool BackgroundWork::stop(double seconds) {
  State& s = state();
  std::vector<std::shared_ptr<Load>> loads;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.stopping = true;
    for (auto& [key, load] : s.loads) loads.push_back(load);
  }
  // Each load is cancelled on its own loop, if it is still under way there.
  for (auto& load : loads) {
    std::weak_ptr<Load> weak = load;
    load->loop->perform([weak] {
      std::shared_ptr<Load> l = weak.lock();
      if (!l) return;
      {
        State& st = state();
        std::lock_guard<std::mutex> lock(st.mutex);
        if (!st.loads.count(l.get())) return;
      }
      l->connection->cancel();
      l->cancelled = true;
    }, false, {URLConnection::kSynchronousRunLoopMode});
  }
  loads.clear();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  bool ended;
  {
    std::unique_lock<std::mutex> lock(s.mutex);
    ended = s.ended.wait_until(lock, deadline, [&] { return s.jobs == 0; });
  }
  // Name look-ups of cancelled loads go on in the resolver until it answers.
  const std::chrono::duration<double> left = deadline - std::chrono::steady_clock::now();
  return HostResolver::waitForLookups(std::max(0.0, left.count())) && ended;
}

void BackgroundWork::resetForTesting() {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.stopping = false;
}

}  // namespace kit
