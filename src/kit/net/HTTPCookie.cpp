#include "kit/net/HTTPCookie.h"

#include <arpa/inet.h>

#include <algorithm>

#include "kit/foundation/Clock.h"
#include "kit/foundation/String.h"
#include "kit/net/HTTPDate.h"
#include "kit/net/HostResolver.h"
#include "kit/net/PublicSuffix.h"

namespace kit {

namespace {

std::string_view trimmed(std::string_view s) noexcept {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return out;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) { return a.size() == b.size() && lower(a) == lower(b); }

bool hasControl(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return (unsigned char)c < 0x20 || c == 0x7f; });
}

bool isIPAddress(const std::string& host) { return HostResolver::literalAddress(host, 0).has_value(); }

// The earliest time a cookie can carry: an expired one.
constexpr double kEarliest = -1e12;

}  // namespace

Ref<HTTPCookie> HTTPCookie::cookieWithProperties(Properties p) {
  if (p.name.empty() || p.domain.empty() || p.path.empty() || p.path[0] != '/') return nullptr;
  if (hasControl(p.name) || hasControl(p.value) || p.name.find_first_of(";=") != std::string::npos ||
      p.value.find(';') != std::string::npos || hasControl(p.domain) || hasControl(p.path))
    return nullptr;
  p.domain = lower(p.domain);
  return Ref<HTTPCookie>(new HTTPCookie(std::move(p), Clock::now()));
}

bool HTTPCookie::domainMatches(std::string_view hostIn, std::string_view domainIn) {
  std::string host = lower(hostIn);
  std::string domain = lower(domainIn);
  if (!domain.empty() && domain[0] == '.') domain.erase(0, 1);
  if (domain.empty()) return false;
  if (host == domain) return true;
  return host.size() > domain.size() && host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
         host[host.size() - domain.size() - 1] == '.' && !isIPAddress(host);
}

bool HTTPCookie::pathMatches(std::string_view requestPath, std::string_view cookiePath) {
  if (requestPath == cookiePath) return true;
  if (requestPath.size() <= cookiePath.size() || requestPath.substr(0, cookiePath.size()) != cookiePath) return false;
  return cookiePath.back() == '/' || requestPath[cookiePath.size()] == '/';
}

std::string HTTPCookie::defaultPath(std::string_view path) {
  if (path.empty() || path[0] != '/') return "/";
  size_t last = path.rfind('/');
  if (last == 0) return "/";
  return std::string(path.substr(0, last));
}

Ref<HTTPCookie> HTTPCookie::cookieWithSetCookieHeader(std::string_view header, const URL& url, std::optional<double> nowIn) {
  if (!(url.schemeIs("http") || url.schemeIs("https")) || url.host().empty()) return nullptr;
  const double now = nowIn.value_or(Clock::now());
  const std::string host = url.lowercaseHost();

  size_t semi = header.find(';');
  std::string_view pair = header.substr(0, semi);
  std::string_view attributes = semi == std::string_view::npos ? std::string_view() : header.substr(semi + 1);
  size_t eq = pair.find('=');
  if (eq == std::string_view::npos) return nullptr;
  Properties p;
  p.name = std::string(trimmed(pair.substr(0, eq)));
  p.value = std::string(trimmed(pair.substr(eq + 1)));
  if (p.name.empty() || hasControl(p.name) || hasControl(p.value)) return nullptr;

  std::optional<double> expires, maxAge;
  std::optional<std::string> domainAttribute, pathAttribute;
  while (!attributes.empty()) {
    semi = attributes.find(';');
    std::string_view av = attributes.substr(0, semi);
    attributes = semi == std::string_view::npos ? std::string_view() : attributes.substr(semi + 1);
    eq = av.find('=');
    std::string_view name = trimmed(av.substr(0, eq));
    std::string_view value = eq == std::string_view::npos ? std::string_view() : trimmed(av.substr(eq + 1));
    if (equalsIgnoringCase(name, "expires")) {
      if (auto t = HTTPDate::parseCookieDate(value)) expires = t;
    } else if (equalsIgnoringCase(name, "max-age")) {
      if (value.empty() || !(value[0] == '-' || (value[0] >= '0' && value[0] <= '9'))) continue;
      std::string_view digits = value[0] == '-' ? value.substr(1) : value;
      if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        continue;
      double delta = 0;
      for (char c : digits) delta = std::min(delta * 10 + (c - '0'), 1e12);
      maxAge = (value[0] == '-' || delta <= 0) ? kEarliest : now + delta;
    } else if (equalsIgnoringCase(name, "domain")) {
      if (value.empty()) continue;
      std::string d = lower(value);
      if (d[0] == '.') d.erase(0, 1);
      domainAttribute = d;
    } else if (equalsIgnoringCase(name, "path")) {
      pathAttribute = (value.empty() || value[0] != '/') ? defaultPath(url.percentEncodedPath()) : std::string(value);
    } else if (equalsIgnoringCase(name, "secure")) {
      p.secure = true;
    } else if (equalsIgnoringCase(name, "httponly")) {
      p.httpOnly = true;
    }
  }

  if (maxAge) p.expires = maxAge;
  else if (expires) p.expires = expires;

  if (domainAttribute && !domainAttribute->empty()) {
    const std::string& d = *domainAttribute;
    // A public suffix ("com", "co.uk") would reach every site under it: only the host itself
    // may use it, and then the cookie stays host-only.
    if (d.find('.') == std::string::npos || isIPAddress(host) || PublicSuffix::isPublicSuffix(d)) {
      if (d != host) return nullptr;
      p.domain = host;
    } else {
      if (!domainMatches(host, d)) return nullptr;
      p.domain = "." + d;
    }
  } else {
    p.domain = host;
  }
  p.path = pathAttribute ? *pathAttribute : defaultPath(url.percentEncodedPath());
  if (p.name.find('=') != std::string::npos || hasControl(p.domain) || hasControl(p.path)) return nullptr;
  return Ref<HTTPCookie>(new HTTPCookie(std::move(p), now));
}

std::vector<Ref<HTTPCookie>> HTTPCookie::cookiesWithSetCookieHeaders(const std::vector<std::string>& headers,
                                                                      const URL& url) {
  std::vector<Ref<HTTPCookie>> out;
  const double now = Clock::now();
  for (const auto& h : headers)
    if (auto c = cookieWithSetCookieHeader(h, url, now)) out.push_back(c);
  return out;
}

std::vector<Ref<HTTPCookie>> HTTPCookie::cookiesWithResponseHeaderFields(const Dictionary* headers, const URL& url) {
  std::vector<std::string> values;
  if (!headers) return {};
  headers->enumerate([&](Object* key, Object* value, bool&) {
    auto* k = cast<String>(key);
    auto* v = cast<String>(value);
    if (!k || !v || !equalsIgnoringCase(k->str(), "set-cookie")) return;
    // Split at commas that start a new "name=" pair; the comma of an Expires date is followed
    // by a day number and a space, never by a token and '='.
    std::string_view text = v->str();
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] != ',') continue;
      size_t j = i + 1;
      while (j < text.size() && (text[j] == ' ' || text[j] == '\t')) ++j;
      size_t k2 = j;
      while (k2 < text.size() && text[k2] != '=' && text[k2] != ';' && text[k2] != ',' && text[k2] != ' ') ++k2;
      if (k2 > j && k2 < text.size() && text[k2] == '=') {
        values.emplace_back(text.substr(start, i - start));
        start = j;
      }
    }
    values.emplace_back(text.substr(start));
  });
  return cookiesWithSetCookieHeaders(values, url);
}

std::string HTTPCookie::cookieHeaderValue(const std::vector<Ref<HTTPCookie>>& cookies) {
  std::string out;
  for (const auto& c : cookies) {
    if (!out.empty()) out += "; ";
    out.append(c->name()).append("=").append(c->value());
  }
  return out;
}

Ref<Dictionary> HTTPCookie::requestHeaderFieldsWithCookies(const std::vector<Ref<HTTPCookie>>& cookies) {
  auto d = MutableDictionary::dictionary();
  if (!cookies.empty()) d->setObject(str(cookieHeaderValue(cookies)), "Cookie");
  return d;
}

Ref<Date> HTTPCookie::expiresDate() const {
  return p_.expires ? Date::dateWithTimeIntervalSinceReferenceDate(*p_.expires) : nullptr;
}

bool HTTPCookie::matchesURL(const URL& url) const {
  if (url.host().empty()) return false;
  const std::string host = url.lowercaseHost();
  if (isHostOnly() ? host != p_.domain : !domainMatches(host, p_.domain)) return false;
  if (p_.secure && !url.schemeIs("https")) return false;
  const std::string& path = url.percentEncodedPath();
  return pathMatches(path.empty() ? "/" : path, p_.path);
}

size_t HTTPCookie::hash() const noexcept {
  return hashCombine(hashCombine(String::hashBytes(p_.name), String::hashBytes(p_.domain)), String::hashBytes(p_.path));
}

bool HTTPCookie::isEqual(const Object* other) const noexcept {
  auto* o = dynamic_cast<const HTTPCookie*>(other);
  return o && o->p_.name == p_.name && o->p_.domain == p_.domain && o->p_.path == p_.path;
}

std::string HTTPCookie::description() const {
  std::string s = "<HTTPCookie " + p_.name + "=" + p_.value + "; domain=" + p_.domain + "; path=" + p_.path;
  if (p_.expires) s += "; expires=" + HTTPDate::formatRFC1123(*p_.expires);
  if (p_.secure) s += "; secure";
  if (p_.httpOnly) s += "; httponly";
  return s + ">";
}

}  // namespace kit
