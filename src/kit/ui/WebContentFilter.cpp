#include "kit/ui/WebContentFilter.h"

#include <memory>
#include <mutex>

namespace kit {
namespace {

struct State {
  std::mutex mutex;
  std::vector<std::string> patterns;
  uint64_t generation = 0;
  std::shared_ptr<const WebContentFilter::Observer> observer;
  std::shared_ptr<const WebContentFilter::BlockedHandler> handler;
};

State& state() {
  static State* s = new State();
  return *s;
}

}  // namespace

void WebContentFilter::setBlockedURLPatterns(std::vector<std::string> patterns) {
  State& s = state();
  std::shared_ptr<const Observer> observer;
  {
    std::lock_guard<std::mutex> g(s.mutex);
    if (patterns == s.patterns) return;
    s.patterns = patterns;
    ++s.generation;
    observer = s.observer;
  }
  if (observer && *observer) (*observer)(patterns);
}

std::vector<std::string> WebContentFilter::blockedURLPatterns() {
  State& s = state();
  std::lock_guard<std::mutex> g(s.mutex);
  return s.patterns;
}

uint64_t WebContentFilter::generation() {
  State& s = state();
  std::lock_guard<std::mutex> g(s.mutex);
  return s.generation;
}

void WebContentFilter::setObserver(Observer observer) {
  State& s = state();
  std::vector<std::string> now;
  {
    std::lock_guard<std::mutex> g(s.mutex);
    s.observer = observer ? std::make_shared<const Observer>(observer) : nullptr;
    now = s.patterns;
  }
  if (observer) observer(now);
}

void WebContentFilter::setBlockedHandler(BlockedHandler handler) {
  State& s = state();
  std::lock_guard<std::mutex> g(s.mutex);
  s.handler = handler ? std::make_shared<const BlockedHandler>(std::move(handler)) : nullptr;
}

void WebContentFilter::reportBlocked(const std::string& url) {
  State& s = state();
  std::shared_ptr<const BlockedHandler> handler;
  {
    std::lock_guard<std::mutex> g(s.mutex);
    handler = s.handler;
  }
  if (handler) (*handler)(url);
}

}  // namespace kit
