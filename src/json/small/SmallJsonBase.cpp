#include "json/small/SmallJsonBase.h"

#include <cstdint>
#include <cstring>

#include <utility>

#include "kit/foundation/Error.h"
#include "kit/foundation/UTF8.h"

namespace tolva {

SmallJsonBase::~SmallJsonBase() { releaseTrace(std::move(errorTrace_)); }

void SmallJsonBase::addErrorWithCode(long code, const std::string& description) {
  kit::Ref<kit::Error> underlying;
  if (errorTrace_ && !errorTrace_->empty())
    underlying = kit::Ref<kit::Error>(static_cast<kit::Error*>(errorTrace_->lastObject()));
  auto error = kit::Error::errorWithDescription(kErrorDomain, code, description, underlying);
  notifyTrace(true);
  if (!errorTrace_) errorTrace_ = kit::MutableArray::array();
  errorTrace_->addObject(error);
  notifyTrace(false);
}

bool SmallJsonBase::isValidUTF8(std::string_view text) noexcept {
  auto p = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* end = p + text.size();
  while (p != end) {
    // Mostly ASCII: eight bytes at a time while none has its high bit set.
    while (end - p >= 8) {
      uint64_t word;
      std::memcpy(&word, p, sizeof word);
      if (word & 0x8080808080808080ull) break;
      p += 8;
    }
    if (p == end) break;
    unsigned char b = *p;
    if (b < 0x80) {
      ++p;
      continue;
    }
    const size_t n = kit::utf8::sequenceLength(p, end);
    if (n == 0) return false;
    p += n;
  }
  return true;
}

// Out of line, so the recursive scanners and writers do not each carry the
// message's temporary string in their frames.
[[gnu::noinline]] bool SmallJsonBase::fail(long code, const char* description) {
  addErrorWithCode(code, description);
  return false;
}

void SmallJsonBase::clearErrorTrace() { setErrorTrace(nullptr); }

void SmallJsonBase::setErrorTrace(kit::Ref<kit::MutableArray> trace) {
  notifyTrace(true);
  kit::Ref<kit::MutableArray> old = std::exchange(errorTrace_, std::move(trace));
  notifyTrace(false);
  releaseTrace(std::move(old));
}

void SmallJsonBase::releaseTrace(kit::Ref<kit::MutableArray> trace) noexcept {
  // Each error holds the one before it, so freeing the outermost first would
  // recurse down the whole chain; from the end, each goes on its own.
  if (!trace || trace->retainCount() != 1) return;
  while (!trace->empty()) trace->removeLastObject();
}

}  // namespace tolva
