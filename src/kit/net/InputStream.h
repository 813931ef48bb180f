#pragma once
// A stream of bytes read in pieces. Two kinds:
//  - synchronous streams over memory or a file (inputStreamWithData, inputStreamWithFileAtPath):
//    read() answers at once; a short read is not the end, 0 is; they can also be scheduled;
//  - asynchronous streams (HTTPReadStream) that are scheduled on a run loop and tell a client
//    when bytes arrive, when they end and when something failed.
// Event and status numbers are fixed, since callers keep them as plain numbers (an event mask of
// 26 asks for bytes-available, error and end).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "kit/foundation/Data.h"
#include "kit/foundation/Error.h"
#include "kit/foundation/Object.h"

namespace kit {

class RunLoop;

class InputStream : public Object {
 public:
  enum class Status { NotOpen = 0, Opening = 1, Open = 2, Reading = 3, Writing = 4, AtEnd = 5, Closed = 6, Error = 7 };
  enum Event : unsigned {
    kEventNone = 0,
    kEventOpenCompleted = 1,
    kEventHasBytesAvailable = 2,
    kEventCanAcceptBytes = 4,
    kEventErrorOccurred = 8,
    kEventEndEncountered = 16,
  };
  using Client = std::function<void(InputStream& stream, Event event)>;

  // Over a copy-free reference to `data` (null reads as empty).
  static Ref<InputStream> inputStreamWithData(Ref<Data> data);
  // Over a file; opening a missing or unreadable file fails with a POSIX error.
  static Ref<InputStream> inputStreamWithFileAtPath(const std::string& path);

  // Answers false (with streamError() set) when the stream cannot be opened.
  virtual bool open() = 0;
  // Stops the stream for good; no client call follows.
  virtual void close() = 0;
  // Up to maxLength bytes: the count read (> 0); 0 when nothing is available now, which is the end
  // once streamStatus() is AtEnd (always the case for a synchronous stream); -1 on an error.
  virtual long read(uint8_t* buffer, size_t maxLength) = 0;
  virtual bool hasBytesAvailable() const = 0;
  virtual Status streamStatus() const = 0;
  virtual Ref<Error> streamError() const = 0;

  // Asynchronous use. `events` is a mask of Event values; a null client removes it. The streams
  // over memory and files, once scheduled, call their client too: bytes-available while open
  // (again after each call in which the client read), then end or error. The base class keeps
  // the client and ignores scheduling.
  virtual bool setClient(unsigned events, Client client);
  virtual void scheduleInRunLoop(RunLoop& loop, const std::string& mode);
  virtual void unscheduleFromRunLoop(RunLoop& loop, const std::string& mode);

  std::string className() const override { return "InputStream"; }

 protected:
  unsigned clientEvents_ = 0;
  Client client_;
};

}  // namespace kit
