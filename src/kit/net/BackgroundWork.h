#pragma once
// The program's work off the main thread (fetches on worker threads and the
// jobs around them), which must be over before the program ends: exit tears
// down what that work uses. stop() is called once on the way out: from then
// on no job starts, the fetches under way are cancelled on their own threads,
// and stop() waits, for a bounded time, for the jobs counted in to end.

#include <functional>

#include "kit/foundation/Data.h"
#include "kit/foundation/Error.h"
#include "kit/net/URLConnection.h"
#include "kit/net/URLRequest.h"
#include "kit/net/URLResponse.h"

namespace kit {

class BackgroundWork {
 public:
  // One job, counted in for as long as it lives (moved into the thread that
  // does it). False, and not counted, once the work is stopping.
  class Job {
   public:
    Job();
    ~Job();
    Job(Job&& other) noexcept;
    Job& operator=(Job&&) = delete;
    Job(const Job&) = delete;
    explicit operator bool() const noexcept { return counted_; }

   private:
    bool counted_;
  };

  static bool stopping();
  // Starts `connection` on the calling thread's loop (not the main one's) and
  // runs that loop in URLConnection::kSynchronousRunLoopMode until `done()`.
  // stop() cancels the connection and ends the wait. False when the work
  // stopped before or during the load (the connection then never reports).
  static bool run(URLConnection& connection, const std::function<bool()>& done);
  // URLConnection::sendSynchronousRequest, stopped the same way (with a
  // kCancelled error).
  static Ref<Data> sendSynchronousRequest(const URLRequest& request, Ref<URLResponse>* response, Ref<Error>* error);
  // Stops the work and waits up to `seconds` for the jobs and loads to end.
  // Answers whether they did.
  static bool stop(double seconds = 2.0);
  // Lets work start again (tests that stop it).
  static void resetForTesting();
};

}  // namespace kit
