#include "kit/foundation/StringsTable.h"
#include "kit/foundation/UTF8.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "kit/foundation/FileManager.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/PropertyList.h"
#include "kit/foundation/String.h"

namespace kit {

namespace {

Ref<Object> readXMLPropertyList(std::string_view bytes, std::string* problem) {
  Ref<Error> error;
  Ref<Object> root = PropertyList::read(bytes, PropertyList::Options::Immutable, &error);
  if (!root) *problem = error ? error->localizedDescription() : "unreadable property list";
  return root;
}

// 1-based line of a byte offset; "\r\n", "\n" and a lone "\r" each end a line.
long lineAt(std::string_view s, size_t offset) {
  long line = 1;
  for (size_t i = 0; i < offset && i < s.size(); ++i) {
    if (s[i] == '\n') {
      ++line;
    } else if (s[i] == '\r' && (i + 1 >= s.size() || s[i + 1] != '\n')) {
      ++line;
    }
  }
  return line;
}

Ref<Error> makeError(long code, const std::string& description, long line = 0) {
  auto info = MutableDictionary::dictionary();
  info->setObject(str(description), Error::kLocalizedDescriptionKey);
  if (line > 0) info->setObject(Number::numberWithLong(line), StringsTable::kLineNumberKey);
  return Error::errorWithDomain(StringsTable::kErrorDomain, code, info);
}

void setError(Ref<Error>* out, Ref<Error> e) {
  if (out) *out = std::move(e);
}

bool isUnquotedChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$' || c == '+' || c == '/' || c == ':' || c == '.' || c == '-';
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The old-style text form over UTF-8 text.
class TextParser {
 public:
  explicit TextParser(std::string_view text) : s_(text) {}

  Ref<Dictionary> run(Ref<Error>* error) {
    auto table = MutableDictionary::dictionary();
    bool braced = false;
    if (!skipSpace()) return fail(error);
    if (at('{')) {
      braced = true;
      ++i_;
    }
    for (;;) {
      if (!skipSpace()) return fail(error);
      if (i_ >= s_.size()) {
        if (braced) {
          problem("missing '}' at end of table", i_);
          return fail(error);
        }
        break;
      }
      if (braced && at('}')) {
        ++i_;
        if (!skipSpace()) return fail(error);
        if (i_ < s_.size()) {
          problem("unexpected text after the closing '}'", i_);
          return fail(error);
        }
        break;
      }
      std::string key;
      if (!parseString(key, "key")) return fail(error);
      size_t afterKey = i_;
      if (!skipSpace()) return fail(error);
      std::string value;
      if (at(';')) {
        value = key;  // "key"; stands for "key" = "key";
      } else if (at('=')) {
        ++i_;
        if (!skipSpace()) return fail(error);
        if (!parseString(value, "value")) return fail(error);
        size_t afterValue = i_;
        if (!skipSpace()) return fail(error);
        if (!at(';')) {
          problem("missing ';' after the value", afterValue);
          return fail(error);
        }
      } else {
        problem("missing '=' or ';' after the key", afterKey);
        return fail(error);
      }
      ++i_;  // the ';'
      table->setObject(str(std::move(value)), str(std::move(key)));
    }
    return table;
  }

 private:
  bool at(char c) const { return i_ < s_.size() && s_[i_] == c; }

  void problem(const std::string& what, size_t offset) {
    line_ = lineAt(s_, offset);
    message_ = what + " on line " + std::to_string(line_);
  }

  Ref<Dictionary> fail(Ref<Error>* error) {
    setError(error, makeError(StringsTable::kReadCorruptError, "Malformed strings table: " + message_, line_));
    return nullptr;
  }

  // Skips white space and comments; false on an unterminated comment.
  bool skipSpace() {
    while (i_ < s_.size()) {
      char c = s_[i_];
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
        ++i_;
      } else if (c == '/' && i_ + 1 < s_.size() && s_[i_ + 1] == '*') {
        size_t end = s_.find("*/", i_ + 2);
        if (end == std::string_view::npos) {
          problem("unterminated comment", i_);
          return false;
        }
        i_ = end + 2;
      } else if (c == '/' && i_ + 1 < s_.size() && s_[i_ + 1] == '/') {
        while (i_ < s_.size() && s_[i_] != '\n' && s_[i_] != '\r') ++i_;
      } else {
        break;
      }
    }
    return true;
  }

  bool parseString(std::string& out, const char* what) {
    if (i_ >= s_.size()) {
      problem(std::string("missing ") + what + " at end of file", i_);
      return false;
    }
    char c = s_[i_];
    if (c == '"' || c == '\'') return parseQuoted(out);
    if (isUnquotedChar(c)) {
      size_t start = i_;
      while (i_ < s_.size() && isUnquotedChar(s_[i_])) ++i_;
      out.assign(s_.substr(start, i_ - start));
      return true;
    }
    std::string shown = (static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7f)
                            ? std::string("'") + c + "'"
                            : "byte " + std::to_string(static_cast<unsigned char>(c));
    problem(std::string("expected a ") + what + " string, found " + shown, i_);
    return false;
  }

  // Reads up to four hex digits after \U; -1 when there are none.
  long readHex4() {
    long v = 0;
    int n = 0;
    while (n < 4 && i_ < s_.size() && hexValue(s_[i_]) >= 0) {
      v = v * 16 + hexValue(s_[i_]);
      ++i_;
      ++n;
    }
    return n ? v : -1;
  }

  bool parseQuoted(std::string& out) {
    const char quote = s_[i_];
    const size_t start = i_;
    ++i_;
    for (;;) {
      if (i_ >= s_.size()) {
        problem("unterminated quoted string", start);
        return false;
      }
      char c = s_[i_++];
      if (c == quote) return true;
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (i_ >= s_.size()) {
        problem("unterminated quoted string", start);
        return false;
      }
      const size_t escape = i_ - 1;
      char e = s_[i_++];
      switch (e) {
        case 'n': out.push_back('\n'); break;
        case 't': out.push_back('\t'); break;
        case 'r': out.push_back('\r'); break;
        case 'a': out.push_back('\a'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'v': out.push_back('\v'); break;
        case 'U':
        case 'u': {
          long unit = readHex4();
          if (unit < 0) {
            problem("\\U escape without hex digits", escape);
            return false;
          }
          uint32_t cp = static_cast<uint32_t>(unit);
          if (cp >= 0xD800 && cp <= 0xDBFF) {
            // A high surrogate takes the low one from the escape that follows.
            size_t save = i_;
            if (i_ + 1 < s_.size() && s_[i_] == '\\' && (s_[i_ + 1] == 'U' || s_[i_ + 1] == 'u')) {
              i_ += 2;
              long low = readHex4();
              if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint32_t>(low) - 0xDC00);
              } else {
                i_ = save;  // not a pair: the next escape stands on its own
              }
            }
          }
          utf8::append(out, cp);  // a lone surrogate becomes U+FFFD
          break;
        }
        default:
          if (e >= '0' && e <= '7') {
            uint32_t v = static_cast<uint32_t>(e - '0');
            for (int n = 1; n < 3 && i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '7'; ++n) {
              v = v * 8 + static_cast<uint32_t>(s_[i_++] - '0');
            }
            utf8::append(out, v);
          } else {
            // \" \' \\, an escaped line end, and anything else stand for themselves.
            out.push_back(e);
          }
      }
    }
  }

  std::string_view s_;
  size_t i_ = 0;
  long line_ = 0;
  std::string message_;
};

bool startsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

}  // namespace


namespace {


std::optional<std::string> decodeUTF16(std::string_view bytes, bool bigEndian, Ref<Error>* error) {
  std::string out;
  out.reserve(bytes.size());
  long line = 1;
  auto bad = [&](const std::string& what) -> std::optional<std::string> {
    setError(error, makeError(StringsTable::kInapplicableEncodingError,
                              "The text is not valid UTF-16: " + what + " on line " + std::to_string(line),
                              line));
    return std::nullopt;
  };
  if (bytes.size() % 2) return bad("odd number of bytes");
  auto unitAt = [&](size_t i) -> uint32_t {
    auto b0 = static_cast<unsigned char>(bytes[i]), b1 = static_cast<unsigned char>(bytes[i + 1]);
    return bigEndian ? (uint32_t(b0) << 8 | b1) : (uint32_t(b1) << 8 | b0);
  };
  for (size_t i = 0; i < bytes.size(); i += 2) {
    uint32_t u = unitAt(i);
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 3 >= bytes.size()) return bad("unpaired surrogate");
      uint32_t low = unitAt(i + 2);
      if (low < 0xDC00 || low > 0xDFFF) return bad("unpaired surrogate");
      u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      return bad("unpaired surrogate");
    }
    if (u == '\n') ++line;
    utf8::append(out, u);
  }
  return out;
}

}  // namespace


std::optional<std::string> StringsTable::decodeText(std::string_view bytes, Ref<Error>* error) {
  if (startsWith(bytes, "\xEF\xBB\xBF")) bytes.remove_prefix(3);
  else if (startsWith(bytes, "\xFF\xFE")) return decodeUTF16(bytes.substr(2), false, error);
  else if (startsWith(bytes, "\xFE\xFF")) return decodeUTF16(bytes.substr(2), true, error);
  else if (bytes.size() >= 2 && bytes.size() % 2 == 0) {
    // UTF-16 without a mark: text starts with a character below U+0100, so
    // one of the first two bytes is zero and the other is not.
    if (bytes[0] == 0 && bytes[1] != 0) return decodeUTF16(bytes, true, error);
    if (bytes[0] != 0 && bytes[1] == 0) return decodeUTF16(bytes, false, error);
  }
  size_t bad = utf8::firstInvalid(bytes);
  if (bad != std::string_view::npos) {
    long line = lineAt(bytes, bad);
    setError(error, makeError(kInapplicableEncodingError,
                              "The text is not valid UTF-8 (byte " + std::to_string(bad) + ", line " +
                                  std::to_string(line) + ")",
                              line));
    return std::nullopt;
  }
  return std::string(bytes);
}

Ref<Dictionary> StringsTable::parse(std::string_view bytes, Ref<Error>* error) {
  if (startsWith(bytes, "bplist")) {
    setError(error, makeError(kReadCorruptError, "Binary property lists are not read as strings tables"));
    return nullptr;
  }
  auto text = decodeText(bytes, error);
  if (!text) return nullptr;
  std::string_view t = *text;
  size_t first = t.find_first_not_of(" \t\r\n");
  std::string_view body = first == std::string_view::npos ? std::string_view() : t.substr(first);
  if (startsWith(body, "<?xml") || startsWith(body, "<!DOCTYPE") || startsWith(body, "<plist")) {
    // The XML reader gets the original bytes: it follows the document's own
    // encoding declaration, which no longer matches the decoded text.
    std::string problem;
    Ref<Object> root = readXMLPropertyList(bytes, &problem);
    if (!root) {
      setError(error, makeError(kReadCorruptError, "Malformed strings table: " + problem));
      return nullptr;
    }
    auto* dict = cast<Dictionary>(root);
    if (!dict) {
      setError(error, makeError(kReadCorruptError, "Malformed strings table: the property list is not a dictionary"));
      return nullptr;
    }
    // Only text entries make sense in a table; anything else is left out.
    auto table = MutableDictionary::dictionary();
    dict->enumerate([&](Object* k, Object* v, bool&) {
      if (cast<String>(k) && cast<String>(v)) table->setObject(Ref<Object>(v), Ref<Object>(k));
    });
    return table;
  }
  return TextParser(t).run(error);
}

Ref<Dictionary> StringsTable::load(const std::string& path, Ref<Error>* error) {
  Ref<Error> failure;
  Ref<Data> data = FileManager::readFile(path, &failure);
  const int err = data ? 0 : failure ? static_cast<int>(failure->code()) : EIO;
  if (err) {
    auto info = MutableDictionary::dictionary();
    info->setObject(str("The strings file could not be read: " + path), Error::kLocalizedDescriptionKey);
    info->setObject(str(path), Error::kFilePathErrorKey);
    info->setObject(Error::posixError(err, path), Error::kUnderlyingErrorKey);
    setError(error, Error::errorWithDomain(kErrorDomain, err == ENOENT ? kFileReadNoSuchFileError : kFileReadUnknownError,
                                           info));
    return nullptr;
  }
  return parse(data->view(), error);
}

}  // namespace kit
