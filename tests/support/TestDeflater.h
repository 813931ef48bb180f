#pragma once
// Streaming gzip or zlib compression, for bodies too large to encode at once.

#include <memory>
#include <string>
#include <string_view>

#include "support/TestCodec.h"

namespace tolvatest {

class TestDeflater {
 public:
  explicit TestDeflater(ContentCoding coding);
  ~TestDeflater();
  TestDeflater(const TestDeflater&) = delete;
  TestDeflater& operator=(const TestDeflater&) = delete;

  // Compressed bytes ready so far (may be empty).
  std::string feed(std::string_view data);
  // The rest of the stream; the deflater is done afterwards.
  std::string finish();

 private:
  struct Stream;
  std::unique_ptr<Stream> stream_;
};

}  // namespace tolvatest
