#include "kit/net/InputStream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "kit/foundation/RunLoop.h"

using namespace kit;

namespace {

const std::string kMode = "InputStreamTestMode";

std::string drain(InputStream& s, size_t step) {
  std::string out;
  std::string buf(step, '\0');
  for (;;) {
    long n = s.read(reinterpret_cast<uint8_t*>(buf.data()), step);
    if (n <= 0) break;
    out.append(buf.data(), size_t(n));
  }
  return out;
}

std::string tempFile(const std::string& contents) {
  char path[] = "/tmp/kitnet-XXXXXX";
  int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(write(fd, contents.data(), contents.size()), ssize_t(contents.size()));
  close(fd);
  return path;
}

}  // namespace

TEST(InputStream, DataAndFileStreamsReadInPieces) {
  auto d = InputStream::inputStreamWithData(Data::dataWithString("0123456789"));
  EXPECT_EQ(d->streamStatus(), InputStream::Status::NotOpen);
  ASSERT_TRUE(d->open());
  EXPECT_FALSE(d->open());
  EXPECT_EQ(drain(*d, 3), "0123456789");
  EXPECT_EQ(d->streamStatus(), InputStream::Status::AtEnd);

  const std::string path = tempFile(std::string(70000, 'f'));
  auto f = InputStream::inputStreamWithFileAtPath(path);
  ASSERT_TRUE(f->open());
  EXPECT_EQ(drain(*f, 16384).size(), 70000u);
  EXPECT_EQ(f->streamStatus(), InputStream::Status::AtEnd);
  f->close();
  EXPECT_EQ(f->read(nullptr, 0), -1);
  std::remove(path.c_str());

  auto missing = InputStream::inputStreamWithFileAtPath("/nonexistent/kit-net");
  EXPECT_FALSE(missing->open());
  EXPECT_EQ(missing->streamStatus(), InputStream::Status::Error);
  EXPECT_EQ(missing->streamError()->domain(), Error::kPOSIXErrorDomain);
}

TEST(InputStream, ScheduledFileStreamTellsItsClient) {
  const std::string path = tempFile(std::string(40000, 'p'));
  auto f = InputStream::inputStreamWithFileAtPath(path);
  std::string got;
  int ends = 0;
  f->setClient(InputStream::kEventHasBytesAvailable | InputStream::kEventEndEncountered,
               [&](InputStream& s, InputStream::Event e) {
                 if (e == InputStream::kEventEndEncountered) ++ends;
                 if (e != InputStream::kEventHasBytesAvailable) return;
                 uint8_t buf[16384];
                 long n = s.read(buf, sizeof buf);
                 if (n > 0) got.append(reinterpret_cast<char*>(buf), size_t(n));
               });
  f->scheduleInRunLoop(RunLoop::current(), kMode);
  ASSERT_TRUE(f->open());
  ASSERT_TRUE(RunLoop::current().runUntil([&] { return ends > 0; }, 10, kMode));
  RunLoop::current().runUntil([] { return false; }, 0.02, kMode);
  EXPECT_EQ(got.size(), 40000u);
  EXPECT_EQ(ends, 1);
  f->unscheduleFromRunLoop(RunLoop::current(), kMode);
  std::remove(path.c_str());

  auto missing = InputStream::inputStreamWithFileAtPath("/nonexistent/kit-net");
  bool failed = false;
  missing->setClient(InputStream::kEventErrorOccurred, [&](InputStream&, InputStream::Event) { failed = true; });
  missing->scheduleInRunLoop(RunLoop::current(), kMode);
  EXPECT_FALSE(missing->open());
  EXPECT_TRUE(RunLoop::current().runUntil([&] { return failed; }, 10, kMode));
}
