#pragma once
// Synchronous broadcast of named notifications. Observers are called on the
// posting thread, in the order they registered. Registration hands back a
// Token; the observer stays registered exactly as long as the token does.
//
// Guarantees, for any thread:
// - an observer removed (token destroyed or reset) is never called after the
//   removal returns, even by a post already under way; removing it from
//   inside its own handler, or from another observer of the same post, works;
// - when the handler is running on another thread, removal waits for it to
//   return, so whatever the handler uses may be destroyed right after the
//   token (do not remove A while holding up A's handler on another thread);
// - an observer added during a post is not called for that post;
// - a token may outlive its centre: it then does nothing.

#include <functional>
#include <memory>
#include <string>

#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Notification.h"

namespace kit {

class NotificationCenter {
  struct Core;
  struct Entry;

 public:
  using Handler = std::function<void(const Notification& note)>;

  class Token {
   public:
    Token() noexcept = default;
    Token(Token&& o) noexcept;
    Token& operator=(Token&& o) noexcept;
    Token(const Token&) = delete;
    Token& operator=(const Token&) = delete;
    ~Token() { reset(); }

    // Unregisters the observer; the token becomes empty.
    void reset();
    // Whether the token still holds a registration.
    explicit operator bool() const noexcept { return entry_ != nullptr; }

   private:
    friend class NotificationCenter;
    Token(std::weak_ptr<Core> core, std::shared_ptr<Entry> entry)
        : core_(std::move(core)), entry_(std::move(entry)) {}
    std::weak_ptr<Core> core_;
    std::shared_ptr<Entry> entry_;
  };

  NotificationCenter();
  ~NotificationCenter();
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  // The process-wide centre; never destroyed.
  static NotificationCenter& defaultCenter();

  // Calls handler for notifications named name (empty: every name) sent by
  // sender (null: any sender). The sender is compared by identity and not
  // retained.
  [[nodiscard]] Token addObserver(std::string name, const Object* sender, Handler handler);

  void postNotification(const std::string& name, Object* sender = nullptr, Ref<Dictionary> userInfo = nullptr);
  void postNotification(Notification* note);

  // Registered observers (for tests and diagnostics).
  size_t observerCount() const;

 private:
  std::shared_ptr<Core> core_;
};

}  // namespace kit
