#pragma once
// The fast decoder's parser and the state it keeps between parses: options,
// the object cache and the nesting limit. One pass over the bytes: a
// tokenizer, a number scanner, a string scanner that validates UTF-8 and
// decodes escapes, and a recursive builder that collects each collection's
// children on a stack and creates the collection in one step. The input is
// read by length; it need not end in a NUL byte. The first error of a parse
// is the one reported.

#include <cstddef>
#include <cstdint>
#include <string>

#include "json/fast/FJTokenCache.h"
#include "json/fast/FJTypes.h"
#include "kit/foundation/Error.h"
#include "kit/foundation/Ref.h"

namespace kit {
class ObjectArena;
}

namespace tolva {

class FJManagedBuffer;
class FJObjectStack;

enum FJTokenType : uint8_t {
  FJTokenTypeInvalid = 0,
  FJTokenTypeNumber = 1,
  FJTokenTypeString = 2,
  FJTokenTypeObjectBegin = 3,
  FJTokenTypeObjectEnd = 4,
  FJTokenTypeArrayBegin = 5,
  FJTokenTypeArrayEnd = 6,
  FJTokenTypeSeparator = 7,
  FJTokenTypeComma = 8,
  FJTokenTypeTrue = 9,
  FJTokenTypeFalse = 10,
  FJTokenTypeNull = 11,
};

struct FJParseToken {
  const unsigned char* ptr = nullptr;  // the token's text in the input
  size_t length = 0;
  FJTokenType type = FJTokenTypeInvalid;
  FJTokenValue value;
};

class FJParseState {
 public:
  // The source name internal-error messages carry.
  static constexpr const char* kSourceName = "Classes/Components/FastJSON/FastJSON";
  static constexpr size_t kTokenBufferStackSize = 2048;
  static constexpr size_t kTokenBufferRound = 4096;

  explicit FJParseState(FJParseOptionFlags options)
      : options_(options),
        extendedSpace_(options & (FJParseOptionAcceptComments | FJParseOptionUnicodeLineBreaks)) {}
  FJParseState(const FJParseState&) = delete;
  FJParseState& operator=(const FJParseState&) = delete;

  FJParseOptionFlags parseOptionFlags() const noexcept { return options_; }
  size_t maxDepth() const noexcept { return maxDepth_; }
  // Clamped to 1 .. FJMaxDepthCeiling (0 gives the ceiling).
  void setMaxDepth(size_t depth) noexcept { maxDepth_ = FJClampMaxDepth(depth); }
  FJTokenCache& cache() noexcept { return cache_; }

  // Parses one JSON text whose top level must be an array or an object.
  // Returns it, or null with the first error given to *error (when error is not null).
  kit::Ref<kit::Object> parse(const unsigned char* bytes, size_t length, bool mutableCollections,
                              kit::Ref<kit::Error>* error);

 private:
  // Reports an error at a byte index of the input unless one is already set.
  void error(size_t index, const std::string& message);
  void errorAt(const unsigned char* p, const std::string& message) { error(static_cast<size_t>(p - begin_), message); }
  // The same for a fixed text, out of line: the collection bodies, one frame
  // per nesting level, then hold no string of their own, so the deepest
  // nesting allowed fits the stack in every build.
  [[gnu::noinline, gnu::cold]] void errorAt(const unsigned char* p, const char* message);
  [[gnu::noinline, gnu::cold]] void endOfBuffer();
  [[gnu::noinline, gnu::cold]] void depthError();
  void internalError(const char* what, int line);

  void newLine() noexcept {
    ++lineNumber_;
    lineStart_ = p_;
  }
  void skipWhitespace() noexcept;
  // skipWhitespace, with the common case of no white space at all inline.
  void skipSpace() noexcept {
    if (p_ < end_ && *p_ > ' ' && !extendedSpace_) return;
    skipWhitespace();
  }
  bool skipExtendedWhitespace() noexcept;
  // Reads the next token into token_; false at the end of the input (no error
  // set) or on a bad token (error set).
  bool nextToken();
  // The same without skipping white space first.
  bool readToken();
  bool parseNumber();
  bool numberConversionFailed(const std::string& message);
  bool parseString();
  bool parseStringSlow(const unsigned char* s, uint32_t hash);
  bool reserveToken(size_t used, size_t n);

  // The object for a value token, with one reference for the caller; null on error.
  kit::Object* valueForToken();
  // At p_ (after white space), a string, number, array or object is read and
  // made at once, as readToken and valueForToken would: taken is set and the
  // value (null on error) returned. Anything else is left for readToken.
  kit::Object* readValue(bool& taken);
  inline kit::Object* parseCollection(bool dictionary);
  kit::Object* parseArrayBody(size_t start);
  kit::Object* parseDictionaryBody(size_t start);
  void expectedError(const char* first, const char* second);
  std::string tokenText() const;

  FJParseOptionFlags options_;
  bool extendedSpace_;  // comments or Unicode line breaks count as white space
  size_t maxDepth_ = FJDefaultMaxDepth;
  FJTokenCache cache_;

  // Per parse.
  const unsigned char* begin_ = nullptr;
  const unsigned char* end_ = nullptr;
  const unsigned char* p_ = nullptr;  // scan position
  size_t lineNumber_ = 1;
  const unsigned char* lineStart_ = nullptr;
  FJParseToken token_;
  FJObjectStack* stack_ = nullptr;
  FJManagedBuffer* tokenBuffer_ = nullptr;
  kit::ObjectArena* arena_ = nullptr;
  kit::Ref<kit::Error> error_;
  bool errorIsSet_ = false;
  bool mutableCollections_ = false;
  size_t depth_ = 0;
};

}  // namespace tolva
