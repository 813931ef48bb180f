#pragma once
// What the small JSON parser and writer share: the nesting limit, the current
// depth and the error trace (a chain of errors, innermost first).

#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "kit/foundation/Array.h"
#include "kit/foundation/Object.h"

namespace tolva {

class SmallJsonBase : public kit::Object {
 public:
  static constexpr const char* kErrorDomain = "org.tarnholt.JSON.ErrorDomain";

  enum ErrorCode : long {
    kErrorUnsupportedType = 1,
    kErrorBadNumber = 2,
    kErrorParse = 3,
    kErrorNotContainer = 4,
    kErrorControlCharacter = 5,
    kErrorBadUnicodeEscape = 6,
    kErrorTooDeep = 7,
    kErrorBadEscape = 8,
    kErrorTrailingComma = 9,
    kErrorGarbage = 10,
    kErrorPrematureEnd = 11,
    kErrorNoInput = 12,
  };

  static constexpr unsigned kDefaultMaxDepth = 512;
  // The deepest nesting ever followed, whatever maxDepth says (0 included):
  // parsing, writing and freeing a tree all recurse once per level, so this
  // keeps the stack safe on input nested without end or a cyclic object graph.
  static constexpr unsigned kDepthCeiling = 4096;

  SmallJsonBase() = default;
  ~SmallJsonBase() override;

  // Appends an error, whose underlying error is the trace's last one.
  void addErrorWithCode(long code, const std::string& description);
  void clearErrorTrace();
  // The errors of the last failing call, innermost first; null when none.
  kit::Ref<kit::Array> errorTrace() const { return errorTrace_; }

  // 0 means no limit of the caller's own (kDepthCeiling still holds).
  virtual unsigned maxDepth() const { return maxDepth_; }
  virtual void setMaxDepth(unsigned maxDepth) { maxDepth_ = maxDepth; }

  // Told before (prior = true) and after every change of the trace.
  void setErrorTraceObserver(std::function<void(bool prior)> observer) {
    traceObserver_ = std::move(observer);
  }

  std::string className() const override { return "SmallJsonBase"; }

 protected:
  // Replaces the whole trace (null drops it), with the change notices.
  void setErrorTrace(kit::Ref<kit::MutableArray> trace);
  // Adds an error and answers false, for the scanners' failure paths.
  bool fail(long code, const char* description);
  // Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
  static bool isValidUTF8(std::string_view text) noexcept;
  // The depth above which nesting fails.
  unsigned depthLimit() const noexcept {
    return maxDepth_ == 0 || maxDepth_ > kDepthCeiling ? kDepthCeiling : maxDepth_;
  }

  kit::Ref<kit::MutableArray> errorTrace_;
  unsigned depth_ = 0;
  unsigned maxDepth_ = kDefaultMaxDepth;

 private:
  static void releaseTrace(kit::Ref<kit::MutableArray> trace) noexcept;
  void notifyTrace(bool prior) const {
    if (traceObserver_) traceObserver_(prior);
  }
  std::function<void(bool prior)> traceObserver_;
};

}  // namespace tolva
