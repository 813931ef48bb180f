#pragma once
// Reader of ".strings" files, the tables that map a key (the English text) to
// its translation. Two file forms are accepted:
//   - the old-style text form:  "key" = "value";  with /* */ and // comments,
//     backslash escapes (\" \\ \n \t \r \U1234 ...), unquoted keys made of
//     word characters, and "key"; as shorthand for "key" = "key";
//   - an XML property list whose root is a dictionary.
// Files may be UTF-8 (with or without a byte-order mark) or UTF-16 with a
// byte-order mark (UTF-16 without one is recognised from its zero bytes).

#include <optional>
#include <string>
#include <string_view>

#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Error.h"

namespace kit {

class StringsTable {
 public:
  // Errors are in the platform's Cocoa domain; a syntax error carries the
  // line number in its description and under kLineNumberKey.
  static constexpr const char* kErrorDomain = Error::kCocoaErrorDomain;
  static constexpr long kReadCorruptError = 3840;         // malformed content
  static constexpr long kFileReadNoSuchFileError = 260;   // missing file
  static constexpr long kFileReadUnknownError = 256;      // unreadable file
  static constexpr long kInapplicableEncodingError = 261; // bytes not in the expected encoding
  static constexpr const char* kLineNumberKey = "NSLineNumber";

  // Parses a whole file's bytes into a dictionary of String keys to String
  // values (in file order; a repeated key keeps its last value). On failure
  // answers null and sets *error when error is given.
  static Ref<Dictionary> parse(std::string_view bytes, Ref<Error>* error = nullptr);
  // Reads and parses a file.
  static Ref<Dictionary> load(const std::string& path, Ref<Error>* error = nullptr);

  // Turns file bytes into UTF-8 text following the byte-order mark (which is
  // dropped). Answers nullopt when the bytes are not valid in that encoding.
  static std::optional<std::string> decodeText(std::string_view bytes, Ref<Error>* error = nullptr);
};

}  // namespace kit
