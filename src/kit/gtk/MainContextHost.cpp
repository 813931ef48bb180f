#include "kit/gtk/MainContextHost.h"

#include <glib.h>
#include <poll.h>

#include <cmath>
#include <cstdio>
#include <exception>
#include <deque>

#include "kit/foundation/Clock.h"
#include "kit/foundation/RunLoop.h"

namespace kit::gtk {
namespace {

MainContextHost* gHost = nullptr;
int gSuspended = 0;
guint gFlushIdle = 0;

std::deque<std::function<void()>>& deferred() {
  static auto* q = new std::deque<std::function<void()>>();
  return *q;
}

struct Watched {
  int fd;
  short events;
  gpointer tag;
};

// The fds the host source polls now; main thread only.
std::vector<Watched>& watched() {
  static auto* w = new std::vector<Watched>();
  return *w;
}

// Quiet while kit runs its own loop (it polls the same fds through wait())
// or while a suspension holds kit's work back.
bool hostIsQuiet() { return gSuspended > 0 || !RunLoop::main().currentMode().empty(); }

void syncFds(GSource* source, bool quiet) {
  std::vector<pollfd> want;
  if (!quiet) {
    RunLoop& loop = RunLoop::main();
    want.push_back({loop.wakeupFd(), POLLIN, 0});
    for (const pollfd& p : loop.pollFds(RunLoop::kDefaultMode)) want.push_back(p);
  }
  auto& have = watched();
  bool same = have.size() == want.size();
  for (size_t i = 0; same && i < want.size(); ++i)
    same = have[i].fd == want[i].fd && have[i].events == want[i].events;
  if (same) return;
  for (const Watched& w : have) g_source_remove_unix_fd(source, w.tag);
  have.clear();
  for (const pollfd& p : want)
    have.push_back({p.fd, p.events, g_source_add_unix_fd(source, p.fd, static_cast<GIOCondition>(p.events))});
}

gboolean hostPrepare(GSource* source, gint* timeout) {
  const bool quiet = hostIsQuiet();
  syncFds(source, quiet);
  *timeout = -1;
  if (quiet) return FALSE;
  const double due = RunLoop::main().nextDueTime(RunLoop::kDefaultMode);
  const double now = Clock::now();
  if (due <= now) {
    *timeout = 0;
    return TRUE;
  }
  if (due < RunLoop::kDistantFuture && !Clock::isVirtual())
    *timeout = static_cast<gint>(std::min(std::ceil((due - now) * 1000.0), double(G_MAXINT / 2)));
  return FALSE;
}

gboolean hostCheck(GSource* source) {
  if (hostIsQuiet()) return FALSE;
  for (const Watched& w : watched())
    if (g_source_query_unix_fd(source, w.tag)) return TRUE;
  return RunLoop::main().nextDueTime(RunLoop::kDefaultMode) <= Clock::now();
}

gboolean hostDispatch(GSource*, GSourceFunc, gpointer) {
  // An exception may not unwind through GLib's frames (that ends the process): a call of kit's
  // loop that throws is reported and the loop goes on with the rest.
  try {
    RunLoop::main().processDueWork(RunLoop::kDefaultMode);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kit: a call on the main loop failed: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "kit: a call on the main loop failed\n");
  }
  return G_SOURCE_CONTINUE;
}

GSourceFuncs gHostFuncs = {hostPrepare, hostCheck, hostDispatch, nullptr, nullptr, nullptr};

// One wait of kit's loop: the fds kit polls and, optionally, a deadline.
struct WaitSource {
  GSource base;
  bool fired;
};

// Once is enough: a source left ready (kit's fds are drained only when kit's
// loop runs again) would starve every lower-priority source, WebKit's among
// them, in any loop nested below this wait.
gboolean waitDispatch(GSource* source, GSourceFunc, gpointer) {
  reinterpret_cast<WaitSource*>(source)->fired = true;
  return G_SOURCE_REMOVE;
}

GSourceFuncs gWaitFuncs = {nullptr, nullptr, waitDispatch, nullptr, nullptr, nullptr};

}  // namespace

MainContextHost::MainContextHost() {
  source_ = g_source_new(&gHostFuncs, sizeof(GSource));
  g_source_set_name(source_, "kit main run loop");
  g_source_set_priority(source_, G_PRIORITY_DEFAULT);
  g_source_attach(source_, nullptr);
}

MainContextHost::~MainContextHost() {
  g_source_destroy(source_);
  g_source_unref(source_);
}

MainContextHost& MainContextHost::install() {
  if (!gHost) {
    RunLoop::setMainThread();
    gHost = new MainContextHost();  // lives as long as the process
    RunLoop::main().setDriver(gHost);
  }
  return *gHost;
}

MainContextHost* MainContextHost::installed() { return gHost; }

MainContextHost::Suspension::Suspension() { ++gSuspended; }

MainContextHost::Suspension::~Suspension() {
  if (--gSuspended > 0) return;
  if (!deferred().empty()) scheduleFlush();
  g_main_context_wakeup(nullptr);
}

bool MainContextHost::isSuspended() { return gSuspended > 0; }

void MainContextHost::scheduleFlush() {
  if (gFlushIdle) return;
  gFlushIdle = g_idle_add_full(
      G_PRIORITY_HIGH,
      [](gpointer) -> gboolean {
        gFlushIdle = 0;
        flushDeferred();
        return G_SOURCE_REMOVE;
      },
      nullptr, nullptr);
}

void MainContextHost::deliver(std::function<void()> fn) {
  if (gSuspended > 0 || !deferred().empty()) {
    deferred().push_back(std::move(fn));
    scheduleFlush();
    return;
  }
  fn();
}

void MainContextHost::post(std::function<void()> fn) {
  deferred().push_back(std::move(fn));
  scheduleFlush();
}

void MainContextHost::flushDeferred() {
  auto& q = deferred();
  while (gSuspended == 0 && !q.empty()) {
    std::function<void()> fn = std::move(q.front());
    q.pop_front();
    fn();
  }
}

void MainContextHost::wait(std::vector<pollfd>& fds, int timeoutMs) {
  if (timeoutMs == 0) {
    ::poll(fds.data(), fds.size(), 0);
    return;
  }
  GSource* source = g_source_new(&gWaitFuncs, sizeof(WaitSource));
  reinterpret_cast<WaitSource*>(source)->fired = false;
  for (const pollfd& p : fds) g_source_add_unix_fd(source, p.fd, static_cast<GIOCondition>(p.events));
  if (timeoutMs > 0) g_source_set_ready_time(source, g_get_monotonic_time() + gint64(timeoutMs) * 1000);
  g_source_attach(source, nullptr);
  // One iteration: either kit's fds or deadline, or some GTK/WebKit work.
  g_main_context_iteration(nullptr, TRUE);
  g_source_destroy(source);
  g_source_unref(source);
  for (pollfd& p : fds) p.revents = 0;
  ::poll(fds.data(), fds.size(), 0);
}

void MainContextHost::wakeUp() { g_main_context_wakeup(nullptr); }

}  // namespace kit::gtk
