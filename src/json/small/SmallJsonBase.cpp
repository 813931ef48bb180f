#include "json/small/SmallJsonBase.h"

#include <cstdint>
#include <cstring>

#include <utility>

#include "kit/foundation/Error.h"

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
    size_t n;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
      n = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      n = 3;
      if (b == 0xE0) lo = 0xA0;       // overlong
      else if (b == 0xED) hi = 0x9F;  // surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
      n = 4;
      if (b == 0xF0) lo = 0x90;       // overlong
      else if (b == 0xF4) hi = 0x8F;  // above U+10FFFF
    } else {
      return false;
    }
    if (static_cast<size_t>(end - p) < n || p[1] < lo || p[1] > hi) return false;
    for (size_t k = 2; k < n; ++k)
      if ((p[k] & 0xC0) != 0x80) return false;
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
