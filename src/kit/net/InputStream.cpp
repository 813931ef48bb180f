#include "kit/net/InputStream.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "kit/foundation/RunLoop.h"
#include "kit/foundation/RunLoopSource.h"

namespace kit {

bool InputStream::setClient(unsigned events, Client client) {
  clientEvents_ = client ? events : 0;
  client_ = std::move(client);
  return true;
}

void InputStream::scheduleInRunLoop(RunLoop&, const std::string&) {}
void InputStream::unscheduleFromRunLoop(RunLoop&, const std::string&) {}

namespace {

// A stream that answers reads at once. Scheduled on a loop with a client, it tells the client
// bytes are available while it is open (again after each callback in which the client read),
// then that it ended or failed, as an asynchronous stream would.
class SynchronousStream : public InputStream {
 public:
  ~SynchronousStream() override {
    if (source_) source_->invalidate();
  }
  bool setClient(unsigned events, Client client) override {
    InputStream::setClient(events, std::move(client));
    kick();
    return true;
  }
  void scheduleInRunLoop(RunLoop& loop, const std::string& mode) override {
    if (scheduled_) unscheduleFromRunLoop(*loop_, mode_);
    if (!source_ || loop_.get() != &loop) {
      if (source_) source_->invalidate();
      WeakRef<SynchronousStream> weak(this);
      source_ = make<RunLoopSource>([weak] {
        if (auto s = weak.lock()) s->deliver();
      });
    }
    loop_ = loop.shared_from_this();
    mode_ = mode;
    scheduled_ = true;
    loop.addSource(source_, mode);
    kick();
  }
  void unscheduleFromRunLoop(RunLoop& loop, const std::string& mode) override {
    if (!scheduled_ || loop_.get() != &loop || mode_ != mode) return;
    loop.removeSource(source_, mode);
    scheduled_ = false;
  }

 protected:
  void kick() {
    if (scheduled_ && source_) source_->signal();
  }
  // Called by read(): the client made progress.
  void noteRead() { ++reads_; }

 private:
  void deliver() {
    if (!scheduled_ || !client_) return;
    Ref<InputStream> self(this);
    Client client = client_;
    switch (streamStatus()) {
      case Status::Open: {
        const uint64_t before = reads_;
        if (clientEvents_ & kEventHasBytesAvailable) client(*this, kEventHasBytesAvailable);
        if (reads_ != before) kick();
        break;
      }
      case Status::AtEnd:
        if (!ended_) {
          ended_ = true;
          if (clientEvents_ & kEventEndEncountered) client(*this, kEventEndEncountered);
        }
        break;
      case Status::Error:
        if (!failed_) {
          failed_ = true;
          if (clientEvents_ & kEventErrorOccurred) client(*this, kEventErrorOccurred);
        }
        break;
      default:
        break;
    }
  }

  std::shared_ptr<RunLoop> loop_;
  std::string mode_;
  Ref<RunLoopSource> source_;
  bool scheduled_ = false;
  bool ended_ = false;
  bool failed_ = false;
  uint64_t reads_ = 0;
};

class DataInputStream : public SynchronousStream {
 public:
  explicit DataInputStream(Ref<Data> data) : data_(std::move(data)) {}

  bool open() override {
    if (status_ != Status::NotOpen) return false;
    status_ = Status::Open;
    kick();
    return true;
  }
  void close() override { status_ = Status::Closed; }
  long read(uint8_t* buffer, size_t maxLength) override {
    if (status_ != Status::Open && status_ != Status::AtEnd) return -1;
    noteRead();
    const size_t total = data_ ? data_->length() : 0;
    size_t n = std::min(maxLength, total - offset_);
    if (n) std::memcpy(buffer, data_->bytes() + offset_, n);
    offset_ += n;
    if (offset_ == total) status_ = Status::AtEnd;
    return static_cast<long>(n);
  }
  bool hasBytesAvailable() const override {
    return status_ == Status::Open && data_ && offset_ < data_->length();
  }
  Status streamStatus() const override { return status_; }
  Ref<Error> streamError() const override { return nullptr; }
  std::string className() const override { return "DataInputStream"; }

 private:
  Ref<Data> data_;
  size_t offset_ = 0;
  Status status_ = Status::NotOpen;
};

class FileInputStream : public SynchronousStream {
 public:
  explicit FileInputStream(std::string path) : path_(std::move(path)) {}
  ~FileInputStream() override {
    if (fd_ >= 0) ::close(fd_);
  }

  bool open() override {
    if (status_ != Status::NotOpen) return false;
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
      error_ = Error::posixError(errno, path_);
      status_ = Status::Error;
      kick();
      return false;
    }
    status_ = Status::Open;
    kick();
    return true;
  }
  void close() override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    status_ = Status::Closed;
  }
  long read(uint8_t* buffer, size_t maxLength) override {
    if (status_ == Status::AtEnd) return 0;
    if (status_ != Status::Open) return -1;
    noteRead();
    for (;;) {
      ssize_t n = ::read(fd_, buffer, maxLength);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        error_ = Error::posixError(errno, path_);
        status_ = Status::Error;
        return -1;
      }
      if (n == 0 && maxLength) status_ = Status::AtEnd;
      return static_cast<long>(n);
    }
  }
  bool hasBytesAvailable() const override { return status_ == Status::Open; }
  Status streamStatus() const override { return status_; }
  Ref<Error> streamError() const override { return error_; }
  std::string className() const override { return "FileInputStream"; }

 private:
  std::string path_;
  int fd_ = -1;
  Status status_ = Status::NotOpen;
  Ref<Error> error_;
};

}  // namespace

Ref<InputStream> InputStream::inputStreamWithData(Ref<Data> data) {
  return Ref<InputStream>(new DataInputStream(std::move(data)));
}

Ref<InputStream> InputStream::inputStreamWithFileAtPath(const std::string& path) {
  return Ref<InputStream>(new FileInputStream(path));
}

}  // namespace kit
