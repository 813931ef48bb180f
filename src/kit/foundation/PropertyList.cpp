#include "kit/foundation/PropertyList.h"

#include <fcntl.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "kit/foundation/Array.h"
#include "kit/foundation/AtomicFile.h"
#include "kit/foundation/Date.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UTF8.h"

namespace kit {
namespace {

constexpr const char* kHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<plist version=\"1.0\">\n";
constexpr const char* kFooter = "</plist>\n";

Ref<Error> readError(long code, const std::string& why) {
  return Error::errorWithDescription(PropertyList::kErrorDomain, code,
                                     "The property list could not be read: " + why);
}

Ref<Error> writeError(const std::string& why) {
  return Error::errorWithDescription(PropertyList::kErrorDomain, PropertyList::kWriteInvalidError,
                                     "The property list could not be written: " + why);
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
  return s;
}

// ---- Base64 ----

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64Encode(const uint8_t* p, size_t n) {
  std::string out;
  out.reserve((n + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < n; i += 3) {
    uint32_t v = (uint32_t(p[i]) << 16) | (uint32_t(p[i + 1]) << 8) | p[i + 2];
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += kBase64[(v >> 6) & 63];
    out += kBase64[v & 63];
  }
  if (i < n) {
    uint32_t v = uint32_t(p[i]) << 16;
    if (i + 1 < n) v |= uint32_t(p[i + 1]) << 8;
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += i + 1 < n ? kBase64[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

int base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// White space anywhere is skipped; padding may only end the text.
bool base64Decode(std::string_view text, std::vector<uint8_t>& out) {
  uint32_t acc = 0;
  int bits = 0;
  bool padding = false;
  for (char c : text) {
    if (isSpace(c)) continue;
    if (c == '=') {
      padding = true;
      continue;
    }
    int v = base64Value(c);
    if (v < 0 || padding) return false;
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<uint8_t>((acc >> bits) & 0xff));
    }
  }
  // Leftover bits must be fewer than a byte (2 or 4 bits of a final group).
  return bits < 6;
}

// ---- Reading ----

struct ParseGuard {
  bool entityDeclared = false;
};

void refuseEntityDecl(void* ctx, const xmlChar*, int, const xmlChar*, const xmlChar*, xmlChar*) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
  static_cast<ParseGuard*>(ctxt->_private)->entityDeclared = true;
  xmlStopParser(ctxt);
}

void ignoreStructuredError(void*, xmlErrorPtr) {}

bool named(const xmlNode* n, const char* name) {
  return n->type == XML_ELEMENT_NODE && xmlStrEqual(n->name, reinterpret_cast<const xmlChar*>(name));
}

std::string nodeName(const xmlNode* n) { return reinterpret_cast<const char*>(n->name); }

class Reader {
 public:
  explicit Reader(bool mutableContainers) : mutable_(mutableContainers) {}
  std::string error;

  Ref<Object> value(const xmlNode* n, int depth) {
    if (depth > PropertyList::kMaxDepth) return fail("nesting deeper than " + std::to_string(PropertyList::kMaxDepth));
    if (named(n, "dict")) return dict(n, depth);
    if (named(n, "array")) return array(n, depth);
    if (named(n, "true") || named(n, "false")) {
      if (!onlySpace(n)) return fail("<" + nodeName(n) + "> must be empty");
      return Number::numberWithBool(named(n, "true"));
    }
    std::string t;
    if (!text(n, t)) return nullptr;
    if (named(n, "string")) return str(std::move(t));
    if (named(n, "integer")) return integer(t);
    if (named(n, "real")) return real(t);
    if (named(n, "date")) {
      Ref<Date> d = Date::dateWithISO8601(std::string(trim(t)));
      if (!d) return fail("bad date \"" + t + "\"");
      return d;
    }
    if (named(n, "data")) {
      std::vector<uint8_t> bytes;
      if (!base64Decode(t, bytes)) return fail("bad Base64 in <data>");
      return make<Data>(std::move(bytes));
    }
    return fail("unknown element <" + nodeName(n) + ">");
  }

  // The single value element among n's children.
  const xmlNode* onlyChild(const xmlNode* n) {
    std::vector<const xmlNode*> kids;
    if (!elements(n, kids)) return nullptr;
    if (kids.size() != 1) {
      fail(kids.empty() ? "<plist> holds no value" : "<plist> holds more than one value");
      return nullptr;
    }
    return kids[0];
  }

 private:
  Ref<Object> fail(const std::string& why) {
    if (error.empty()) error = why;
    return nullptr;
  }

  // Element children of n; anything else but white space, comments and
  // processing instructions is an error.
  bool elements(const xmlNode* n, std::vector<const xmlNode*>& out) {
    for (const xmlNode* c = n->children; c; c = c->next) {
      switch (c->type) {
        case XML_ELEMENT_NODE: out.push_back(c); break;
        case XML_COMMENT_NODE:
        case XML_PI_NODE: break;
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
          if (c->content && !trim(reinterpret_cast<const char*>(c->content)).empty()) {
            fail("stray text inside <" + nodeName(n) + ">");
            return false;
          }
          break;
        default: fail("unexpected content inside <" + nodeName(n) + ">"); return false;
      }
    }
    return true;
  }

  bool onlySpace(const xmlNode* n) {
    std::vector<const xmlNode*> kids;
    return elements(n, kids) && kids.empty();
  }

  // The character content of a leaf element.
  bool text(const xmlNode* n, std::string& out) {
    for (const xmlNode* c = n->children; c; c = c->next) {
      switch (c->type) {
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
          if (c->content) out += reinterpret_cast<const char*>(c->content);
          break;
        case XML_COMMENT_NODE:
        case XML_PI_NODE: break;
        default: fail("unexpected content inside <" + nodeName(n) + ">"); return false;
      }
    }
    return true;
  }

  Ref<Object> dict(const xmlNode* n, int depth) {
    std::vector<const xmlNode*> kids;
    if (!elements(n, kids)) return nullptr;
    if (kids.size() % 2) return fail("a <dict> key has no value");
    Ref<Dictionary> d = mutable_ ? Ref<Dictionary>(MutableDictionary::dictionary()) : nullptr;
    std::vector<Dictionary::Entry> entries;
    for (size_t i = 0; i < kids.size(); i += 2) {
      if (!named(kids[i], "key")) return fail("<" + nodeName(kids[i]) + "> where a <key> belongs");
      std::string key;
      if (!text(kids[i], key)) return nullptr;
      Ref<Object> v = value(kids[i + 1], depth + 1);
      if (!v) return nullptr;
      entries.emplace_back(str(std::move(key)), std::move(v));
    }
    // Later duplicates replace earlier ones, as the dictionary does.
    if (mutable_) {
      auto* md = static_cast<MutableDictionary*>(d.get());
      for (auto& [k, v] : entries) md->setObject(v, k);
      return d;
    }
    return make<Dictionary>(entries);
  }

  Ref<Object> array(const xmlNode* n, int depth) {
    std::vector<const xmlNode*> kids;
    if (!elements(n, kids)) return nullptr;
    std::vector<Ref<Object>> items;
    items.reserve(kids.size());
    for (const xmlNode* k : kids) {
      Ref<Object> v = value(k, depth + 1);
      if (!v) return nullptr;
      items.push_back(std::move(v));
    }
    if (mutable_) return make<MutableArray>(std::move(items));
    return make<Array>(std::move(items));
  }

  Ref<Object> integer(std::string_view t) {
    std::string_view s = trim(t);
    bool negative = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
      negative = s[0] == '-';
      s.remove_prefix(1);
    }
    uint64_t magnitude = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), magnitude);
    if (s.empty() || ec != std::errc() || ptr != s.data() + s.size())
      return fail("bad integer \"" + std::string(t) + "\"");
    if (negative) {
      if (magnitude > uint64_t(INT64_MAX) + 1) return fail("integer out of range \"" + std::string(t) + "\"");
      return Number::numberWithLongLong(static_cast<long long>(0 - magnitude));
    }
    if (magnitude > uint64_t(INT64_MAX)) return Number::numberWithUnsignedLongLong(magnitude);
    return Number::numberWithLongLong(static_cast<long long>(magnitude));
  }

  Ref<Object> real(std::string_view t) {
    std::string_view s = trim(t);
    bool negative = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
      negative = s[0] == '-';
      s.remove_prefix(1);
    }
    if (s.empty() || s[0] == '-' || s[0] == '+') return fail("bad real \"" + std::string(t) + "\"");
    double v = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec == std::errc::result_out_of_range) {
      std::string tmp(s);
      v = std::strtod(tmp.c_str(), nullptr);  // ±HUGE_VAL or a denormal, as written
    } else if (ec != std::errc() || ptr != s.data() + s.size()) {
      return fail("bad real \"" + std::string(t) + "\"");
    }
    return Number::numberWithDouble(negative ? -v : v);
  }

  bool mutable_;
};

std::once_flag gXmlInit;

// ---- Writing ----

// Checks that s is UTF-8 made only of characters XML 1.0 allows, and appends
// it escaped. A carriage return is written as a reference because parsers
// turn a literal one into a line feed.
bool appendEscaped(std::string& out, std::string_view s, std::string& why) {
  size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '\r': out += "&#13;"; break;
        case '\t':
        case '\n': out += static_cast<char>(c); break;
        default:
          if (c < 0x20 || c == 0x7f) {
            if (c == 0x7f) {  // allowed by XML 1.0
              out += static_cast<char>(c);
              break;
            }
            char buf[8];
            std::snprintf(buf, sizeof buf, "%02X", c);
            why = std::string("control character U+00") + buf + " cannot be stored in XML";
            return false;
          }
          out += static_cast<char>(c);
      }
      ++i;
      continue;
    }
    size_t len = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc0 ? 2 : 0;
    if (len == 0 || c > 0xf4 || i + len > s.size()) {
      why = "text is not valid UTF-8";
      return false;
    }
    uint32_t cp = c & (0xff >> (len + 1));
    for (size_t k = 1; k < len; ++k) {
      auto cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xc0) != 0x80) {
        why = "text is not valid UTF-8";
        return false;
      }
      cp = (cp << 6) | (cc & 0x3f);
    }
    bool overlong = (len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
    if (overlong || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) {
      why = "text is not valid UTF-8";
      return false;
    }
    if (cp == 0xfffe || cp == 0xffff) {
      why = "character U+FFFE/U+FFFF cannot be stored in XML";
      return false;
    }
    out.append(s.substr(i, len));
    i += len;
  }
  return true;
}

std::string realText(double d) {
  if (std::isnan(d)) return "nan";
  if (std::isinf(d)) return d > 0 ? "+infinity" : "-infinity";
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, d);
  return std::string(buf, r.ptr);
}

class Writer {
 public:
  std::string out;
  std::string error;

  bool value(const Object* o, int depth) {
    if (depth > PropertyList::kMaxDepth)
      return fail("nesting deeper than " + std::to_string(PropertyList::kMaxDepth) +
                  " (or a collection that contains itself)");
    if (!o) return fail("a null value");
    switch (o->kind()) {
      case Kind::String: {
        auto* s = static_cast<const String*>(o);
        if (s->empty()) return line(depth, "<string></string>");
        indent(depth);
        out += "<string>";
        if (!escaped(s->view())) return false;
        out += "</string>\n";
        return true;
      }
      case Kind::Number: {
        auto* n = dynamic_cast<const Number*>(o);
        if (!n) return unsupported(o);
        if (n->isBool()) return line(depth, n->boolValue() ? "<true/>" : "<false/>");
        if (n->isFloatingPoint()) return line(depth, "<real>" + realText(n->doubleValue()) + "</real>");
        std::string digits = n->isUnsigned() ? std::to_string(n->unsignedLongLongValue())
                                             : std::to_string(n->longLongValue());
        return line(depth, "<integer>" + digits + "</integer>");
      }
      case Kind::Date: {
        auto* d = dynamic_cast<const Date*>(o);
        if (!d) return unsupported(o);
        std::string iso = d->ISO8601();
        if (!Date::dateWithISO8601(iso)) return fail("a date out of range");
        return line(depth, "<date>" + iso + "</date>");
      }
      case Kind::Data: {
        auto* d = dynamic_cast<const Data*>(o);
        if (!d) return unsupported(o);
        if (d->length() == 0) return line(depth, "<data></data>");
        line(depth, "<data>");
        std::string b64 = base64Encode(d->bytes(), d->length());
        for (size_t i = 0; i < b64.size(); i += 76) line(depth, b64.substr(i, 76));
        return line(depth, "</data>");
      }
      case Kind::Array: {
        auto* a = dynamic_cast<const Array*>(o);
        if (!a) return unsupported(o);
        size_t n = a->count();
        if (n == 0) return line(depth, "<array/>");
        line(depth, "<array>");
        for (size_t i = 0; i < n; ++i) {
          path_.push_back("[" + std::to_string(i) + "]");
          if (!value(a->objectAtIndex(i), depth + 1)) return false;
          path_.pop_back();
        }
        return line(depth, "</array>");
      }
      case Kind::Dictionary: {
        auto* d = dynamic_cast<const Dictionary*>(o);
        if (!d) return unsupported(o);
        if (d->count() == 0) return line(depth, "<dict/>");
        line(depth, "<dict>");
        bool ok = true;
        d->enumerate([&](Object* k, Object* v, bool& stop) {
          auto* ks = dynamic_cast<const String*>(k);
          if (!ks) {
            ok = fail("a dictionary key that is not a string (" + (k ? k->className() : "null") + ")");
          } else {
            indent(depth + 1);
            out += "<key>";
            path_.push_back("." + ks->str());
            ok = escaped(ks->view());
            out += "</key>\n";
            ok = ok && value(v, depth + 1);
            if (ok) path_.pop_back();
          }
          if (!ok) stop = true;
        });
        if (!ok) return false;
        return line(depth, "</dict>");
      }
      default: return unsupported(o);
    }
  }

 private:
  void indent(int depth) { out.append(static_cast<size_t>(depth), '\t'); }
  bool line(int depth, const std::string& s) {
    indent(depth);
    out += s;
    out += '\n';
    return true;
  }
  bool escaped(std::string_view s) {
    std::string why;
    if (appendEscaped(out, s, why)) return true;
    return fail(why);
  }
  bool unsupported(const Object* o) { return fail("a " + o->className() + " is not a property-list value"); }
  bool fail(const std::string& why) {
    std::string where;
    for (auto& p : path_) where += p;
    error = why + (where.empty() ? "" : " at root" + where);
    return false;
  }
  std::vector<std::string> path_;
};

// The code points a property list can carry (XML 1.0's Char), besides the
// ones the UTF-8 decoder already rules out.
bool storableInXml(uint32_t cp) {
  if (cp < 0x20) return cp == '\t' || cp == '\n' || cp == '\r';
  return cp != 0xFFFE && cp != 0xFFFF;
}

// Sets out to s with what XML cannot hold replaced by U+FFFD; false (out
// untouched) when s was fine.
bool repairText(std::string_view s, std::string& out) {
  // Steps past the code point at s[i], telling whether a property list
  // cannot carry it (a one-byte U+FFFD is an ill-formed sequence); answers
  // where it began.
  auto next = [&s](size_t& i, bool& bad) {
    size_t at = i;
    uint32_t cp = utf8::decode(s, i);
    bad = !storableInXml(cp) || (cp == 0xFFFD && i - at == 1);
    return at;
  };
  size_t i = 0;
  bool bad = false;
  size_t at = 0;
  while (i < s.size() && !bad) at = next(i, bad);
  if (!bad) return false;
  out.assign(s.substr(0, at));
  out += "\xEF\xBF\xBD";
  while (i < s.size()) {
    at = next(i, bad);
    if (bad) out += "\xEF\xBF\xBD";
    else out.append(s.substr(at, i - at));
  }
  return true;
}

// Immutable deep copies; given somewhere to count them, with text repairs.
class StorableCopier {
 public:
  explicit StorableCopier(PropertyList::TextRepairs* repairs, const std::function<bool(const Object*)>* known = nullptr)
      : r_(repairs), known_(known) {}

  Ref<Object> copy(const Object* obj, int depth) {
    if (!obj) return nullptr;
    if (known_ && (*known_)(obj)) return Ref<Object>(const_cast<Object*>(obj));
    if (depth > PropertyList::kMaxDepth) return Ref<Object>(const_cast<Object*>(obj));  // refused by the writer
    switch (obj->kind()) {
      case Kind::String: {
        std::string fixed;
        if (!r_ || !repairText(static_cast<const String*>(obj)->view(), fixed)) return obj->copy();
        noteRepair();
        return make<String>(std::move(fixed));
      }
      case Kind::Array: {
        auto* a = dynamic_cast<const Array*>(obj);
        if (!a) return obj->copy();
        std::vector<Ref<Object>> items;
        bool same = !a->isMutable();
        for (size_t i = 0, n = a->count(); i < n; ++i) {
          Object* item = a->objectAtIndex(i);
          if (r_) path_.push_back("[" + std::to_string(i) + "]");
          items.push_back(copy(item, depth + 1));
          if (r_) path_.pop_back();
          same = same && items.back().get() == item;
        }
        if (same) return Ref<Object>(const_cast<Array*>(a));
        return make<Array>(std::move(items));
      }
      case Kind::Dictionary: {
        auto* d = dynamic_cast<const Dictionary*>(obj);
        if (!d) return obj->copy();
        std::vector<Dictionary::Entry> entries;
        bool same = !d->isMutable();
        bool keyRepaired = false;
        d->enumerate([&](Object* k, Object* v, bool&) {
          Ref<Object> key(k);
          auto* ks = r_ ? dynamic_cast<const String*>(k) : nullptr;
          std::string fixed;
          if (ks) path_.push_back("." + ks->str());
          if (ks && repairText(ks->view(), fixed)) {
            noteRepair();
            key = make<String>(std::move(fixed));
            keyRepaired = true;
          }
          entries.emplace_back(key, copy(v, depth + 1));
          if (ks) path_.pop_back();
          same = same && key.get() == k && entries.back().second.get() == v;
        });
        if (same) return Ref<Object>(const_cast<Dictionary*>(d));
        auto result = make<Dictionary>(entries);
        if (keyRepaired) r_->lostEntries += entries.size() - result->count();
        return result;
      }
      default: return obj->copy();
    }
  }

 private:
  void noteRepair() {
    if (r_->strings++ > 0) return;
    r_->firstAt = "root";
    for (auto& p : path_) r_->firstAt += p;
  }
  PropertyList::TextRepairs* r_;
  const std::function<bool(const Object*)>* known_;
  std::vector<std::string> path_;
};

}  // namespace

Ref<Object> PropertyList::read(std::string_view bytes, Options options, Ref<Error>* error) {
  auto failWith = [&](Ref<Error> e) -> Ref<Object> {
    if (error) *error = std::move(e);
    return nullptr;
  };
  if (error) *error = nullptr;
  if (bytes.starts_with("bplist"))
    return failWith(readError(kReadUnsupportedFormatError, "binary property lists are not supported"));
  if (trim(bytes).empty()) return failWith(readError(kReadCorruptError, "the data is empty"));
  if (bytes.size() > static_cast<size_t>(INT_MAX)) return failWith(readError(kReadCorruptError, "the data is too large"));

  std::call_once(gXmlInit, [] { xmlInitParser(); });
  std::unique_ptr<xmlParserCtxt, void (*)(xmlParserCtxtPtr)> ctxt(xmlNewParserCtxt(), xmlFreeParserCtxt);
  if (!ctxt) return failWith(readError(kReadCorruptError, "out of memory"));
  ParseGuard guard;
  ctxt->_private = &guard;
  // Entity declarations are refused before anything can refer to them, so
  // no entity is ever expanded or fetched; errors are kept, not printed.
  ctxt->sax->entityDecl = refuseEntityDecl;
  ctxt->sax->serror = ignoreStructuredError;
  // No XML_PARSE_NOENT, no DTD loading or defaulting. HUGE lifts the 10 MB
  // text-node limit so large <data> written here can be read back; depth is
  // limited by the reader itself.
  int xmlOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA | XML_PARSE_HUGE;
  std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> doc(
      xmlCtxtReadMemory(ctxt.get(), bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr, xmlOptions),
      xmlFreeDoc);
  if (guard.entityDeclared)
    return failWith(readError(kReadCorruptError, "documents that declare entities are refused"));
  if (!doc || !ctxt->wellFormed) {
    std::string why = "malformed XML";
    if (const xmlError* e = xmlCtxtGetLastError(ctxt.get()); e && e->message) {
      std::string msg = e->message;
      while (!msg.empty() && isSpace(msg.back())) msg.pop_back();
      why += " (line " + std::to_string(e->line) + ": " + msg + ")";
    }
    return failWith(readError(kReadCorruptError, why));
  }
  const xmlNode* root = xmlDocGetRootElement(doc.get());
  if (!root || !named(root, "plist")) return failWith(readError(kReadCorruptError, "the root element is not <plist>"));

  Reader reader(options == Options::MutableContainers);
  const xmlNode* top = reader.onlyChild(root);
  Ref<Object> result = top ? reader.value(top, 1) : nullptr;
  if (!result) return failWith(readError(kReadCorruptError, reader.error));
  return result;
}

Ref<Object> PropertyList::readFromFile(const std::string& path, Options options, Ref<Error>* error) {
  Ref<Error> failure;
  Ref<Data> bytes = FileManager::readFile(path, &failure, kMaxFileBytes);
  if (!bytes) {
    // A folder is unreadable, as before; a FIFO, a device (a link to /dev/zero, say), a socket,
    // a symbolic link that loops or a file too large holds no property list that this reader
    // takes: damaged, so that callers set it aside instead of keeping it (and never saving).
    const long code = failure ? failure->code() : 0;
    struct stat entry{};
    const bool neverReadable = (code == ENXIO || code == ELOOP) && ::lstat(path.c_str(), &entry) == 0 &&
                               (S_ISSOCK(entry.st_mode) || S_ISLNK(entry.st_mode));
    if (error) {
      if (neverReadable)
        *error = readError(kReadCorruptError, path + (code == ELOOP ? " is a symbolic link that loops"
                                                                   : " is not a regular file"));
      else if (code == ENODEV || code == EFBIG)
        *error = readError(kReadCorruptError, failure->localizedDescription());
      else
        *error = failure;
    }
    return nullptr;
  }
  return read(bytes->view(), options, error);
}

Ref<Data> PropertyList::write(const Object* obj, Ref<Error>* error) {
  Writer w;
  w.out = kHeader;
  if (!w.value(obj, 0)) {
    if (error) *error = writeError(w.error);
    return nullptr;
  }
  w.out += kFooter;
  if (error) *error = nullptr;
  return Data::dataWithString(w.out);
}

Ref<Error> PropertyList::writeToFile(const Object* obj, const std::string& path, mode_t mode) {
  Ref<Error> err;
  Ref<Data> bytes = write(obj, &err);
  if (!bytes) return err;
  return AtomicFile::write(path, bytes->view(), mode);
}

bool PropertyList::isValid(const Object* obj, Ref<Error>* error) { return encodedLength(obj, 0, error).has_value(); }

std::optional<uint64_t> PropertyList::encodedLength(const Object* obj, int depth, Ref<Error>* error) {
  Writer w;
  bool ok = w.value(obj, depth);
  if (error) *error = ok ? nullptr : writeError(w.error);
  if (!ok) return std::nullopt;
  return w.out.size();
}

Ref<Object> PropertyList::storableCopy(const Object* obj, TextRepairs* repairs) {
  TextRepairs local;
  return StorableCopier(repairs ? repairs : &local).copy(obj, 0);
}

Ref<Object> PropertyList::storableCopy(const Object* obj, TextRepairs* repairs,
                                       const std::function<bool(const Object*)>& known) {
  TextRepairs local;
  return StorableCopier(repairs ? repairs : &local, known ? &known : nullptr).copy(obj, 0);
}

Ref<Object> PropertyList::immutableDeepCopy(const Object* obj) { return StorableCopier(nullptr).copy(obj, 0); }

}  // namespace kit
