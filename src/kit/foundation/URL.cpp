#include "kit/foundation/URL.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

#include "kit/foundation/String.h"
#include "kit/foundation/URLEscaping.h"

namespace kit {

namespace {

bool isAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isUnreserved(char c) { return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~'; }
bool isSubDelim(char c) {
  switch (c) {
    case '!': case '$': case '&': case '\'': case '(': case ')':
    case '*': case '+': case ',': case ';': case '=':
      return true;
    default:
      return false;
  }
}
bool isGenDelim(char c) {
  switch (c) {
    case ':': case '/': case '?': case '#': case '[': case ']': case '@':
      return true;
    default:
      return false;
  }
}
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Every byte is unreserved, a sub-delimiter, one of `extra`, or starts a well-formed %HH.
bool validChars(std::string_view s, std::string_view extra) {
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c == '%') {
      if (i + 2 >= s.size() || !URLEscaping::isHexDigit(s[i + 1]) || !URLEscaping::isHexDigit(s[i + 2])) {
        return false;
      }
      i += 2;
      continue;
    }
    if (isUnreserved(c) || isSubDelim(c) || extra.find(c) != std::string_view::npos) continue;
    return false;
  }
  return true;
}

bool validScheme(std::string_view s) {
  if (s.empty() || !isAlpha(s[0])) return false;
  for (char c : s) {
    if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

// Length of the scheme at the start of s (before ':'), or npos when s has none.
size_t schemeLength(std::string_view s) {
  size_t colon = s.find(':');
  if (colon == std::string_view::npos || colon == 0) return std::string_view::npos;
  return validScheme(s.substr(0, colon)) ? colon : std::string_view::npos;
}

bool validIPv4(std::string_view s) {
  int parts = 0;
  size_t i = 0;
  while (true) {
    size_t j = i;
    int value = 0;
    while (j < s.size() && isDigit(s[j]) && j - i < 4) value = value * 10 + (s[j++] - '0');
    size_t n = j - i;
    if (n == 0 || n > 3 || value > 255 || (n > 1 && s[i] == '0')) return false;
    ++parts;
    if (j == s.size()) return parts == 4;
    if (s[j] != '.' || parts == 4) return false;
    i = j + 1;
  }
}

bool validIPv6(std::string_view s) {
  size_t zone = s.find('%');
  if (zone != std::string_view::npos) {
    // A zone identifier (RFC 6874): "%25" followed by at least one character.
    std::string_view z = s.substr(zone);
    if (z.size() < 4 || z.substr(0, 3) != "%25" || !validChars(z.substr(3), "")) return false;
    s = s.substr(0, zone);
  }
  int groups = 0;
  bool compressed = false;
  size_t i = 0;
  if (s.starts_with("::")) {
    compressed = true;
    i = 2;
  } else if (s.starts_with(":")) {
    return false;
  }
  while (i < s.size()) {
    size_t j = i;
    while (j < s.size() && URLEscaping::isHexDigit(s[j]) && j - i < 5) ++j;
    if (j < s.size() && s[j] == '.') {
      // Embedded IPv4 address: always last, counts as two groups.
      if (!validIPv4(s.substr(i))) return false;
      groups += 2;
      break;
    }
    if (j == i || j - i > 4) return false;
    ++groups;
    i = j;
    if (i == s.size()) break;
    if (s[i] != ':') return false;
    ++i;
    if (i < s.size() && s[i] == ':') {
      if (compressed) return false;
      compressed = true;
      ++i;
    } else if (i == s.size()) {
      return false;  // a single trailing colon
    }
  }
  return compressed ? groups <= 7 : groups == 8;
}

bool validIPLiteral(std::string_view s) {
  if (!s.empty() && (s[0] == 'v' || s[0] == 'V')) {
    // IPvFuture: "v" 1*HEXDIG "." 1*( unreserved / sub-delims / ":" )
    size_t dot = s.find('.');
    if (dot == std::string_view::npos || dot < 2 || dot + 1 == s.size()) return false;
    for (size_t i = 1; i < dot; ++i) {
      if (!URLEscaping::isHexDigit(s[i])) return false;
    }
    for (char c : s.substr(dot + 1)) {
      if (!isUnreserved(c) && !isSubDelim(c) && c != ':') return false;
    }
    return true;
  }
  return validIPv6(s);
}

// A URI reference split into its five parts (RFC 3986 section 3), each checked for legal
// characters. A missing part differs from an empty one.
struct Parts {
  std::optional<std::string> scheme;
  std::optional<std::string> authority;
  std::string path;
  std::optional<std::string> query;
  std::optional<std::string> fragment;

  std::string compose() const {
    std::string out;
    if (scheme) out += *scheme + ":";
    if (authority) out += "//" + *authority;
    out += path;
    if (query) out += "?" + *query;
    if (fragment) out += "#" + *fragment;
    return out;
  }
};

std::optional<Parts> splitReference(std::string_view s) {
  Parts p;
  size_t hash = s.find('#');
  if (hash != std::string_view::npos) {
    std::string_view f = s.substr(hash + 1);
    if (!validChars(f, ":@/?")) return std::nullopt;
    p.fragment = std::string(f);
    s = s.substr(0, hash);
  }
  size_t question = s.find('?');
  if (question != std::string_view::npos) {
    std::string_view q = s.substr(question + 1);
    if (!validChars(q, ":@/?")) return std::nullopt;
    p.query = std::string(q);
    s = s.substr(0, question);
  }
  size_t colon = s.find(':');
  size_t slash = s.find('/');
  if (colon != std::string_view::npos && (slash == std::string_view::npos || colon < slash)) {
    // Before any '/', a ':' ends the scheme; a first path segment may not hold one.
    if (!validScheme(s.substr(0, colon))) return std::nullopt;
    p.scheme = std::string(s.substr(0, colon));
    s = s.substr(colon + 1);
  }
  if (s.starts_with("//")) {
    size_t end = s.find('/', 2);
    if (end == std::string_view::npos) end = s.size();
    // Authority characters are checked when it is split into user, host and port.
    p.authority = std::string(s.substr(2, end - 2));
    s = s.substr(end);
  }
  if (!validChars(s, ":@/")) return std::nullopt;
  p.path = std::string(s);
  return p;
}

struct Authority {
  bool hasUser = false;
  bool hasPassword = false;
  std::string user;
  std::string password;
  std::string host;
  std::optional<int> port;
};

std::optional<Authority> splitAuthority(std::string_view s) {
  Authority a;
  size_t at = s.rfind('@');
  if (at != std::string_view::npos) {
    std::string_view info = s.substr(0, at);
    if (!validChars(info, ":")) return std::nullopt;
    size_t colon = info.find(':');
    a.hasUser = true;
    a.user = std::string(info.substr(0, colon));
    if (colon != std::string_view::npos) {
      a.hasPassword = true;
      a.password = std::string(info.substr(colon + 1));
    }
    s = s.substr(at + 1);
  }
  std::string_view portText;
  bool hasPort = false;
  if (s.starts_with("[")) {
    size_t close = s.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view literal = s.substr(1, close - 1);
    if (!validIPLiteral(literal)) return std::nullopt;
    a.host = std::string(literal);
    std::string_view after = s.substr(close + 1);
    if (!after.empty()) {
      if (after[0] != ':') return std::nullopt;
      hasPort = true;
      portText = after.substr(1);
    }
  } else {
    size_t colon = s.find(':');
    std::string_view host = s.substr(0, colon);
    if (!validChars(host, "")) return std::nullopt;
    a.host = std::string(host);
    if (colon != std::string_view::npos) {
      hasPort = true;
      portText = s.substr(colon + 1);
    }
  }
  if (hasPort && !portText.empty()) {
    long value = 0;
    for (char c : portText) {
      if (!isDigit(c)) return std::nullopt;
      value = value * 10 + (c - '0');
      if (value > 65535) return std::nullopt;
    }
    a.port = static_cast<int>(value);
  }
  return a;
}

// RFC 3986 5.2.4.
std::string removeDotSegments(std::string_view in) {
  std::string out;
  auto dropLastSegment = [&out] {
    size_t slash = out.rfind('/');
    out.erase(slash == std::string::npos ? 0 : slash);
  };
  while (!in.empty()) {
    if (in.starts_with("../")) {
      in.remove_prefix(3);
    } else if (in.starts_with("./")) {
      in.remove_prefix(2);
    } else if (in.starts_with("/./")) {
      in.remove_prefix(2);
    } else if (in == "/.") {
      in = "/";
    } else if (in.starts_with("/../")) {
      in.remove_prefix(3);
      dropLastSegment();
    } else if (in == "/..") {
      in = "/";
      dropLastSegment();
    } else if (in == "." || in == "..") {
      in = {};
    } else {
      size_t end = in.find('/', 1);
      if (end == std::string_view::npos) end = in.size();
      out.append(in.substr(0, end));
      in.remove_prefix(end);
    }
  }
  return out;
}

// RFC 3986 5.2.2, the strict form (a reference with a scheme is never relative).
Parts resolve(const Parts& r, const Parts& base) {
  Parts t;
  if (r.scheme) {
    t = r;
    t.path = removeDotSegments(r.path);
    return t;
  }
  if (r.authority) {
    t.authority = r.authority;
    t.path = removeDotSegments(r.path);
    t.query = r.query;
  } else {
    if (r.path.empty()) {
      t.path = base.path;
      t.query = r.query ? r.query : base.query;
    } else {
      if (r.path.starts_with("/")) {
        t.path = removeDotSegments(r.path);
      } else {
        std::string merged;
        if (base.authority && base.path.empty()) {
          merged = "/" + r.path;
        } else {
          size_t slash = base.path.rfind('/');
          merged = (slash == std::string::npos ? std::string() : base.path.substr(0, slash + 1)) + r.path;
        }
        t.path = removeDotSegments(merged);
      }
      t.query = r.query;
    }
    t.authority = base.authority;
  }
  t.scheme = base.scheme;
  t.fragment = r.fragment;
  return t;
}

bool isSpecialScheme(std::string_view lowercaseScheme) {
  return lowercaseScheme == "http" || lowercaseScheme == "https" || lowercaseScheme == "ftp" ||
         lowercaseScheme == "ws" || lowercaseScheme == "wss" || lowercaseScheme == "file";
}

// Turns address-field text into legal URL text; the result still goes through the strict parse.
std::string cleanLenient(std::string_view in) {
  auto isTrimmed = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
  while (!in.empty() && isTrimmed(in.front())) in.remove_prefix(1);
  while (!in.empty() && isTrimmed(in.back())) in.remove_suffix(1);
  std::string s;
  s.reserve(in.size());
  for (char c : in) {
    if (c != '\t' && c != '\n' && c != '\r') s.push_back(c);
  }

  size_t schemeLen = schemeLength(s);
  bool special = false;
  size_t pos = 0;
  if (schemeLen != std::string::npos) {
    for (size_t i = 0; i < schemeLen; ++i) s[i] = lower(s[i]);
    special = isSpecialScheme(std::string_view(s).substr(0, schemeLen));
    pos = schemeLen + 1;
  }
  size_t endOfPath = s.find_first_of("?#", pos);
  if (endOfPath == std::string::npos) endOfPath = s.size();
  if (special) {
    for (size_t i = pos; i < endOfPath; ++i) {
      if (s[i] == '\\') s[i] = '/';
    }
  }
  size_t authStart = std::string::npos, authEnd = std::string::npos, lastAt = std::string::npos;
  if (std::string_view(s).substr(pos).starts_with("//")) {
    authStart = pos + 2;
    authEnd = s.find_first_of("/?#", authStart);
    if (authEnd == std::string::npos) authEnd = s.size();
    size_t at = s.rfind('@', authEnd == 0 ? 0 : authEnd - 1);
    if (at != std::string::npos && at >= authStart) lastAt = at;
  }

  std::string out;
  out.reserve(s.size() + 16);
  bool inFragment = false;
  size_t outAuthEnd = std::string::npos;
  for (size_t i = 0; i < s.size(); ++i) {
    if (i == authEnd) outAuthEnd = out.size();
    char c = s[i];
    bool inAuth = authStart != std::string::npos && i >= authStart && i < authEnd;
    bool inHost = inAuth && (lastAt == std::string::npos || i > lastAt);
    if (c == '%') {
      if (i + 2 < s.size() && URLEscaping::isHexDigit(s[i + 1]) && URLEscaping::isHexDigit(s[i + 2])) {
        out.push_back(c);
      } else {
        URLEscaping::appendEscape(out, '%');
      }
    } else if (c == '#') {
      if (inFragment) {
        URLEscaping::appendEscape(out, '#');
      } else {
        inFragment = true;
        out.push_back(c);
      }
    } else if (c == '[' || c == ']') {
      if (inHost) {
        out.push_back(c);
      } else {
        URLEscaping::appendEscape(out, static_cast<unsigned char>(c));
      }
    } else if (c == '@' && inAuth && i != lastAt) {
      URLEscaping::appendEscape(out, '@');
    } else if (isUnreserved(c) || isSubDelim(c) || isGenDelim(c)) {
      out.push_back(inHost && special ? lower(c) : c);
    } else {
      URLEscaping::appendEscape(out, static_cast<unsigned char>(c));
    }
  }
  if (authEnd == s.size()) outAuthEnd = out.size();
  if (special && schemeLen != std::string::npos && outAuthEnd != std::string::npos &&
      std::string_view(s).substr(0, schemeLen) != "file" &&
      (outAuthEnd == out.size() || out[outAuthEnd] != '/')) {
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(outAuthEnd), '/');
  }
  return out;
}

Parts partsOf(const URL& u) {
  Parts p;
  p.scheme = u.scheme();
  if (u.hasAuthority()) p.authority = u.authority();
  p.path = u.percentEncodedPath();
  if (u.hasQuery()) p.query = u.query();
  if (u.hasFragment()) p.fragment = u.fragment();
  return p;
}

Ref<URL> resolveText(std::string_view text, const URL* base, bool lenient, Ref<URL> (*parse)(std::string)) {
  std::string cleaned;
  if (lenient) {
    cleaned = cleanLenient(text);
    text = cleaned;
  }
  if (!base) return parse(std::string(text));
  auto ref = splitReference(text);
  if (!ref) return nullptr;
  return parse(resolve(*ref, partsOf(*base)).compose());
}

std::string decodedOrRaw(const std::string& s) {
  if (s.find('%') == std::string::npos) return s;
  auto decoded = URLEscaping::replacePercentEscapes(s);
  return decoded ? *decoded : s;
}

}  // namespace

Ref<URL> URL::parseAbsolute(std::string text) {
  auto parts = splitReference(text);
  if (!parts || !parts->scheme) return nullptr;
  Ref<URL> url(new URL());
  if (parts->authority) {
    auto a = splitAuthority(*parts->authority);
    if (!a) return nullptr;
    url->hasAuthority_ = true;
    url->authority_ = std::move(*parts->authority);
    url->hasUser_ = a->hasUser;
    url->hasPassword_ = a->hasPassword;
    url->user_ = std::move(a->user);
    url->password_ = std::move(a->password);
    url->host_ = std::move(a->host);
    url->port_ = a->port;
  }
  url->scheme_ = std::move(*parts->scheme);
  url->path_ = std::move(parts->path);
  if (parts->query) {
    url->hasQuery_ = true;
    url->query_ = std::move(*parts->query);
  }
  if (parts->fragment) {
    url->hasFragment_ = true;
    url->fragment_ = std::move(*parts->fragment);
  }
  url->string_ = std::move(text);
  return url;
}

Ref<URL> URL::URLWithString(std::string_view text) { return parseAbsolute(std::string(text)); }

Ref<URL> URL::URLWithString(std::string_view text, const URL* base) {
  return resolveText(text, base, false, &URL::parseAbsolute);
}

Ref<URL> URL::lenientURLWithString(std::string_view text, const URL* base) {
  return resolveText(text, base, true, &URL::parseAbsolute);
}

Ref<URL> URL::fileURLWithPath(std::string_view path) {
  std::string absolute(path);
  if (!path.empty() && path[0] != '/') {
    std::vector<char> buf(PATH_MAX);
    if (!getcwd(buf.data(), buf.size())) return nullptr;
    absolute = std::string(buf.data()) + "/" + absolute;
  }
  struct stat st{};
  bool dir = !absolute.empty() && absolute.find('\0') == std::string::npos &&
             ::stat(absolute.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  return fileURLWithPath(absolute, dir);
}

Ref<URL> URL::fileURLWithPath(std::string_view path, bool isDirectory) {
  if (path.empty() || path.find('\0') != std::string_view::npos) return nullptr;
  std::string absolute(path);
  if (path[0] != '/') {
    std::vector<char> buf(PATH_MAX);
    if (!getcwd(buf.data(), buf.size())) return nullptr;
    absolute = std::string(buf.data()) + "/" + absolute;
  }
  if (isDirectory && !absolute.ends_with("/")) absolute += '/';
  std::string text = "file://";
  for (char c : absolute) {
    if (isUnreserved(c) || isSubDelim(c) || c == '/' || c == ':' || c == '@') {
      text.push_back(c);
    } else {
      URLEscaping::appendEscape(text, static_cast<unsigned char>(c));
    }
  }
  return parseAbsolute(std::move(text));
}

std::string_view URL::schemeOfString(std::string_view text) noexcept {
  size_t n = schemeLength(text);
  return n == std::string_view::npos ? std::string_view() : text.substr(0, n);
}

bool URL::schemeIs(std::string_view name) const noexcept { return equalsIgnoringCase(scheme_, name); }

std::string URL::lowercaseScheme() const {
  std::string s = scheme_;
  for (char& c : s) c = lower(c);
  return s;
}

std::string URL::lowercaseHost() const {
  std::string s = host_;
  for (char& c : s) c = lower(c);
  return s;
}

std::string URL::resourceSpecifier() const { return string_.substr(scheme_.size() + 1); }

std::string URL::user() const { return decodedOrRaw(user_); }

std::string URL::password() const { return decodedOrRaw(password_); }

std::string URL::path() const {
  std::string p = decodedOrRaw(path_);
  if (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

std::string URL::lastPathComponent() const {
  std::string p = path();
  if (p.empty() || p == "/") return p;
  size_t slash = p.rfind('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string URL::pathExtension() const {
  std::string name = lastPathComponent();
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return {};
  return name.substr(dot + 1);
}

Ref<URL> URL::URLByDeletingFragment() const {
  if (!hasFragment_) return Ref<URL>(const_cast<URL*>(this));
  return parseAbsolute(string_.substr(0, string_.size() - fragment_.size() - 1));
}

size_t URL::hash() const noexcept { return String::hashBytes(string_); }

bool URL::isEqual(const Object* other) const noexcept {
  if (other == this) return true;
  auto* o = dynamic_cast<const URL*>(other);
  return o && o->string_ == string_;
}

}  // namespace kit
