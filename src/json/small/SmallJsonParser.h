#pragma once
// Recursive-descent JSON parser producing kit objects: objects become mutable
// dictionaries, arrays mutable arrays, strings mutable strings, numbers exact
// decimal numbers, true/false the shared booleans and null kit's Null.
//
// Input is read by its length (a NUL byte is an ordinary, invalid character)
// and must be UTF-8. Failures answer null and leave the error trace.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "json/small/SmallJsonBase.h"
#include "json/small/SmallJsonParserProtocol.h"
#include "kit/foundation/Object.h"
#include "kit/foundation/String.h"

namespace kit {
class ObjectArena;
}

namespace tolva {

class SmallJsonParser : public SmallJsonBase, public SmallJsonParserProtocol {
 public:
  SmallJsonParser() = default;
  ~SmallJsonParser() override;

  // A dictionary or an array; any other value fails with error 4.
  kit::Ref<kit::Object> objectWithString(const kit::String* string) override;
  kit::Ref<kit::Object> objectWithString(std::string_view text);
  // Any JSON value, including a bare string, number, boolean or null.
  kit::Ref<kit::Object> fragmentWithString(const kit::String* string);
  kit::Ref<kit::Object> fragmentWithString(std::string_view text);

  std::string className() const override { return "SmallJsonParser"; }

 protected:
  // The scanners work at the parse position c_ and move it past what they
  // read; each answers success and adds to the trace on failure. A value
  // read comes with one reference, the caller's.
  bool scanValue(kit::Object*& value);
  bool scanRestOfTrue(kit::Object*& value);
  bool scanRestOfFalse(kit::Object*& value);
  bool scanRestOfNull(kit::Object*& value);
  bool scanRestOfArray(kit::Object*& value);
  bool scanRestOfDictionary(kit::Object*& value);
  bool scanRestOfString(kit::Object*& value);
  // The code point of a \u escape (after "\u"), joining a surrogate pair.
  bool scanUnicodeChar(char32_t& codePoint);
  bool scanHexQuad(uint16_t& unit);
  bool scanNumber(kit::Object*& value);
  // Only white space is left.
  bool scanIsAtEnd();

  const char* c_ = nullptr;    // parse position
  const char* end_ = nullptr;  // one past the last input byte

 private:
  // A recently read object key: parses repeat their keys, so each distinct
  // one is made once per parse and shared by the dictionaries.
  struct KeySlot {
    size_t hash = 0;
    kit::String* key = nullptr;  // one reference, the cache's
  };
  static constexpr size_t kKeySlots = 256;

  kit::Ref<kit::Object> parse(std::string_view text, bool objectOnly);
  // Lets go of what a parse holds besides its result.
  void endParse() noexcept;
  // A string's text (after its opening quote), valid until the next string
  // is read: a view of the input when it has no escapes, else of scratch_.
  bool scanString(std::string_view& text);
  // Moves c_ to the next quote, backslash or control byte (or the end),
  // checking the UTF-8 on the way; false (c_ left behind) where it is not
  // well formed. A multi-byte sequence cut by a stop byte is not.
  bool skipPlainText() noexcept;
  kit::Object* keyFor(std::string_view text);
  bool enterNesting();
  void addMemberError(const std::string& key);
  bool atEnd() const noexcept { return c_ == end_; }
  void skipWhitespace() noexcept;

  // The objects are cut from the parse's arena.
  kit::ObjectArena* arena_ = nullptr;
  // The children read so far of the containers being read, innermost last,
  // one reference each (dictionaries push key, value); made into their
  // container in one step when it ends.
  std::vector<kit::Object*> stack_;
  std::string scratch_;
  std::unique_ptr<KeySlot[]> keys_;
  std::vector<size_t> usedKeySlots_;
};

}  // namespace tolva
