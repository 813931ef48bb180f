#pragma once
// Recursive-descent JSON parser producing kit objects: objects become mutable
// dictionaries, arrays mutable arrays, strings mutable strings, numbers exact
// decimal numbers, true/false the shared booleans and null kit's Null.
//
// Input is read by its length (a NUL byte is an ordinary, invalid character)
// and must be UTF-8. Failures answer null and leave the error trace.

#include <cstdint>
#include <string>
#include <string_view>

#include "json/small/SmallJsonBase.h"
#include "json/small/SmallJsonParserProtocol.h"
#include "kit/foundation/Object.h"
#include "kit/foundation/String.h"

namespace tolva {

class SmallJsonParser : public SmallJsonBase, public SmallJsonParserProtocol {
 public:
  SmallJsonParser() = default;

  // A dictionary or an array; any other value fails with error 4.
  kit::Ref<kit::Object> objectWithString(const kit::String* string) override;
  kit::Ref<kit::Object> objectWithString(std::string_view text);
  // Any JSON value, including a bare string, number, boolean or null.
  kit::Ref<kit::Object> fragmentWithString(const kit::String* string);
  kit::Ref<kit::Object> fragmentWithString(std::string_view text);

  std::string className() const override { return "SmallJsonParser"; }

 protected:
  // The scanners work at the parse position c_ and move it past what they
  // read; each answers success and adds to the trace on failure.
  bool scanValue(kit::Ref<kit::Object>& value);
  bool scanRestOfTrue(kit::Ref<kit::Object>& value);
  bool scanRestOfFalse(kit::Ref<kit::Object>& value);
  bool scanRestOfNull(kit::Ref<kit::Object>& value);
  bool scanRestOfArray(kit::Ref<kit::Object>& value);
  bool scanRestOfDictionary(kit::Ref<kit::Object>& value);
  bool scanRestOfString(kit::Ref<kit::Object>& value);
  // The code point of a \u escape (after "\u"), joining a surrogate pair.
  bool scanUnicodeChar(char32_t& codePoint);
  bool scanHexQuad(uint16_t& unit);
  bool scanNumber(kit::Ref<kit::Object>& value);
  // Only white space is left.
  bool scanIsAtEnd();

  const char* c_ = nullptr;    // parse position
  const char* end_ = nullptr;  // one past the last input byte

 private:
  kit::Ref<kit::Object> parse(std::string_view text, bool objectOnly);
  bool scanString(std::string& text);
  bool enterNesting();
  void addMemberError(const std::string& key);
  bool atEnd() const noexcept { return c_ == end_; }
  void skipWhitespace() noexcept;
};

}  // namespace tolva
