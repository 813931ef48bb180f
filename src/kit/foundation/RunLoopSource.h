#pragma once
// A custom input source of a run loop: another thread (or the loop itself)
// signals it and the loop calls its handler on its next pass in a mode the
// source was added for. A source without a handler never fires; it only keeps
// the loop waiting in that mode, like a port nobody writes to.

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "kit/foundation/Object.h"

namespace kit {

class RunLoop;

class RunLoopSource : public Object {
 public:
  explicit RunLoopSource(std::function<void()> handler = nullptr);
  ~RunLoopSource() override;

  // Marks the source ready and wakes its loop. Thread-safe; several signals
  // before the loop gets to it are handled once.
  void signal();
  // Removes the source from its loop; a pending signal is dropped.
  void invalidate();
  bool isValid() const;
  bool isSignalled() const;

  std::string className() const override { return "RunLoopSource"; }

 private:
  friend class RunLoop;
  // Clears the signal; answers the handler to run, or null when there is nothing to do.
  std::shared_ptr<std::function<void()>> takeSignal();

  mutable std::mutex mutex_;
  std::shared_ptr<std::function<void()>> handler_;
  bool signalled_ = false;
  bool valid_ = true;
  std::weak_ptr<RunLoop> loop_;
};

}  // namespace kit
