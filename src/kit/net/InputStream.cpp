#include "kit/net/InputStream.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kit {

bool InputStream::setClient(unsigned events, Client client) {
  clientEvents_ = client ? events : 0;
  client_ = std::move(client);
  return true;
}

void InputStream::scheduleInRunLoop(RunLoop&, const std::string&) {}
void InputStream::unscheduleFromRunLoop(RunLoop&, const std::string&) {}

namespace {

class DataInputStream : public InputStream {
 public:
  explicit DataInputStream(Ref<Data> data) : data_(std::move(data)) {}

  bool open() override {
    if (status_ != Status::NotOpen) return false;
    status_ = Status::Open;
    return true;
  }
  void close() override { status_ = Status::Closed; }
  long read(uint8_t* buffer, size_t maxLength) override {
    if (status_ != Status::Open && status_ != Status::AtEnd) return -1;
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

class FileInputStream : public InputStream {
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
      return false;
    }
    status_ = Status::Open;
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
