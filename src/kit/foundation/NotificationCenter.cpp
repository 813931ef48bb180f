#include "kit/foundation/NotificationCenter.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace kit {

struct NotificationCenter::Entry {
  std::string name;
  const Object* sender;
  Handler handler;

  std::mutex mutex;
  std::condition_variable idle;
  bool active = true;
  // Threads inside the handler right now (one id per nested call).
  std::vector<std::thread::id> running;

  bool matches(const std::string& n, const Object* s) const {
    return (name.empty() || name == n) && (!sender || sender == s);
  }
};

struct NotificationCenter::Core {
  mutable std::mutex mutex;
  std::vector<std::shared_ptr<Entry>> entries;
};

namespace {

// Marks the current thread as inside an entry's handler for its lifetime.
template <class E>
class Running {
 public:
  explicit Running(E& e) : e_(e) {}
  ~Running() {
    std::lock_guard<std::mutex> g(e_.mutex);
    auto it = std::find(e_.running.begin(), e_.running.end(), std::this_thread::get_id());
    if (it != e_.running.end()) e_.running.erase(it);
    e_.idle.notify_all();
  }

 private:
  E& e_;
};

}  // namespace

NotificationCenter::Token::Token(Token&& o) noexcept
    : core_(std::move(o.core_)), entry_(std::move(o.entry_)) {}

NotificationCenter::Token& NotificationCenter::Token::operator=(Token&& o) noexcept {
  if (this != &o) {
    reset();
    core_ = std::move(o.core_);
    entry_ = std::move(o.entry_);
  }
  return *this;
}

void NotificationCenter::Token::reset() {
  std::shared_ptr<Entry> entry = std::move(entry_);
  std::shared_ptr<Core> core = core_.lock();
  core_.reset();
  if (!entry) return;
  if (core) {
    std::lock_guard<std::mutex> g(core->mutex);
    auto& v = core->entries;
    v.erase(std::remove(v.begin(), v.end(), entry), v.end());
  }
  std::unique_lock<std::mutex> l(entry->mutex);
  entry->active = false;
  auto self = std::this_thread::get_id();
  entry->idle.wait(l, [&] {
    return std::all_of(entry->running.begin(), entry->running.end(),
                       [&](const std::thread::id& id) { return id == self; });
  });
  // The handler itself is destroyed with the last reference to the entry,
  // which may be a post in progress on this very thread.
}

NotificationCenter::NotificationCenter() : core_(std::make_shared<Core>()) {}

NotificationCenter::~NotificationCenter() = default;

NotificationCenter& NotificationCenter::defaultCenter() {
  static NotificationCenter* center = new NotificationCenter();
  return *center;
}

NotificationCenter::Token NotificationCenter::addObserver(std::string name, const Object* sender,
                                                          Handler handler) {
  auto entry = std::make_shared<Entry>();
  entry->name = std::move(name);
  entry->sender = sender;
  entry->handler = std::move(handler);
  {
    std::lock_guard<std::mutex> g(core_->mutex);
    core_->entries.push_back(entry);
  }
  return Token(core_, std::move(entry));
}

void NotificationCenter::postNotification(const std::string& name, Object* sender, Ref<Dictionary> userInfo) {
  {
    // Nothing to build when nobody listens (settings sliders post a lot).
    std::lock_guard<std::mutex> g(core_->mutex);
    if (std::none_of(core_->entries.begin(), core_->entries.end(),
                     [&](const std::shared_ptr<Entry>& e) { return e->matches(name, sender); }))
      return;
  }
  Ref<Notification> note = Notification::notificationWithName(name, sender, std::move(userInfo));
  postNotification(note.get());
}

void NotificationCenter::postNotification(Notification* note) {
  if (!note) return;  // the caller keeps it alive for the call
  std::vector<std::shared_ptr<Entry>> targets;
  {
    std::lock_guard<std::mutex> g(core_->mutex);
    for (auto& e : core_->entries)
      if (e->matches(note->name(), note->object())) targets.push_back(e);
  }
  auto self = std::this_thread::get_id();
  for (auto& e : targets) {
    {
      std::lock_guard<std::mutex> g(e->mutex);
      if (!e->active) continue;
      e->running.push_back(self);
    }
    Running<Entry> running(*e);
    e->handler(*note);
  }
}

size_t NotificationCenter::observerCount() const {
  std::lock_guard<std::mutex> g(core_->mutex);
  return core_->entries.size();
}

}  // namespace kit
