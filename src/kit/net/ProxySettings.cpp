#include "kit/net/ProxySettings.h"

#include <cctype>
#include <cstdlib>
#include <mutex>

namespace kit {

namespace {

std::mutex& settingsMutex() {
  static std::mutex m;
  return m;
}
std::optional<ProxySettings::Settings>& programSettings() {
  static std::optional<ProxySettings::Settings> s;
  return s;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (auto& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

std::string env(const char* lowerName, const char* upperName) {
  if (const char* v = std::getenv(lowerName); v && *v) return v;
  if (const char* v = std::getenv(upperName); v && *v) return v;
  return {};
}

// A port number of decimal digits only, 1 to 65535; 0 for anything else (atoi would read
// "4294967376" or "80x" as some port).
int portNumber(std::string_view text) {
  if (text.empty() || text.size() > 5) return 0;
  int port = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    port = port * 10 + (c - '0');
  }
  return port <= 65535 ? port : 0;
}

// "host:port", "[v6]:port" or "scheme://user@host:port/"; false when no host.
bool parseProxy(std::string_view text, ProxySettings::Proxy::Type defaultType, ProxySettings::Proxy* out) {
  std::string t = trim(text);
  ProxySettings::Proxy p;
  p.type = defaultType;
  int defaultPort = 1080;
  if (size_t sep = t.find("://"); sep != std::string::npos) {
    const std::string scheme = lower(t.substr(0, sep));
    if (scheme.rfind("socks", 0) == 0) p.type = ProxySettings::Proxy::Type::SOCKS;
    else if (scheme == "https") p.type = ProxySettings::Proxy::Type::HTTPS, defaultPort = 443;
    else if (scheme == "http") p.type = ProxySettings::Proxy::Type::HTTP;
    else return false;
    t = t.substr(sep + 3);
  }
  if (size_t slash = t.find('/'); slash != std::string::npos) t = t.substr(0, slash);
  if (size_t at = t.rfind('@'); at != std::string::npos) t = t.substr(at + 1);
  std::string host = t;
  int port = defaultPort;
  if (!t.empty() && t.front() == '[') {
    const size_t close = t.find(']');
    if (close == std::string::npos) return false;
    host = t.substr(1, close - 1);
    if (close + 1 < t.size() && t[close + 1] == ':') port = portNumber(std::string_view(t).substr(close + 2));
  } else if (size_t colon = t.rfind(':'); colon != std::string::npos) {
    host = t.substr(0, colon);
    port = portNumber(std::string_view(t).substr(colon + 1));
  }
  if (host.empty() || port <= 0 || port > 65535) return false;
  p.host = host;
  p.port = port;
  *out = p;
  return true;
}

}  // namespace

ProxySettings::Settings ProxySettings::environmentSettings() {
  Settings s;
  s.httpProxy = env("http_proxy", "HTTP_PROXY");
  s.httpsProxy = env("https_proxy", "HTTPS_PROXY");
  s.allProxy = env("all_proxy", "ALL_PROXY");
  s.noProxy = env("no_proxy", "NO_PROXY");
  return s;
}

ProxySettings::Settings ProxySettings::systemSettings() {
  {
    std::lock_guard<std::mutex> g(settingsMutex());
    if (programSettings()) return *programSettings();
  }
  return environmentSettings();
}

void ProxySettings::setSystemSettings(std::optional<Settings> settings) {
  std::lock_guard<std::mutex> g(settingsMutex());
  programSettings() = std::move(settings);
}

bool ProxySettings::isExempt(std::string_view host, int port, std::string_view noProxy) {
  const std::string h = lower(host);
  size_t b = 0;
  while (b <= noProxy.size()) {
    size_t e = noProxy.find_first_of(", ", b);
    if (e == std::string_view::npos) e = noProxy.size();
    std::string entry = lower(trim(noProxy.substr(b, e - b)));
    b = e + 1;
    if (entry.empty()) continue;
    if (entry == "*") return true;
    if (size_t colon = entry.rfind(':'); colon != std::string::npos && entry.find(']') == std::string::npos &&
                                         entry.find(':') == colon) {
      if (portNumber(std::string_view(entry).substr(colon + 1)) != port) continue;
      entry = entry.substr(0, colon);
    }
    if (!entry.empty() && entry.front() == '[' && entry.back() == ']') entry = entry.substr(1, entry.size() - 2);
    if (!entry.empty() && entry.front() == '.') entry = entry.substr(1);
    if (h == entry) return true;
    if (h.size() > entry.size() && h.compare(h.size() - entry.size(), entry.size(), entry) == 0 &&
        h[h.size() - entry.size() - 1] == '.') {
      return true;
    }
  }
  return false;
}

std::optional<std::vector<ProxySettings::Proxy>> ProxySettings::proxiesForURL(const URL& url,
                                                                                const Settings& settings) {
  std::vector<Proxy> list;
  if (!settings.autoConfigurationURL.empty()) {
    Proxy p;
    p.type = Proxy::Type::AutoConfiguration;
    p.autoConfigurationURL = settings.autoConfigurationURL;
    list.push_back(p);
    return list;
  }
  const std::string scheme = url.lowercaseScheme();
  const int port = url.port().value_or(scheme == "https" ? 443 : 80);
  if (isExempt(url.lowercaseHost(), port, settings.noProxy)) return list;
  std::string value = scheme == "https" ? settings.httpsProxy : scheme == "http" ? settings.httpProxy : std::string();
  if (value.empty()) value = settings.allProxy;
  if (value.empty()) return list;
  Proxy p;
  if (!parseProxy(value, Proxy::Type::HTTP, &p)) return std::nullopt;
  list.push_back(p);
  return list;
}

std::vector<ProxySettings::Proxy> ProxySettings::proxiesFromPACResult(std::string_view result) {
  std::vector<Proxy> out;
  size_t b = 0;
  while (b <= result.size()) {
    size_t e = result.find(';', b);
    if (e == std::string_view::npos) e = result.size();
    const std::string entry = trim(result.substr(b, e - b));
    b = e + 1;
    if (entry.empty()) continue;
    const size_t space = entry.find_first_of(" \t");
    const std::string kind = lower(entry.substr(0, space));
    const std::string rest = space == std::string::npos ? std::string() : trim(entry.substr(space));
    Proxy p;
    if (kind == "direct") {
      out.push_back(p);
    } else if (kind == "proxy" || kind == "http") {
      if (parseProxy(rest, Proxy::Type::HTTP, &p)) out.push_back(p);
    } else if (kind == "https") {
      if (parseProxy(rest, Proxy::Type::HTTPS, &p)) out.push_back(p);
    } else if (kind == "socks" || kind == "socks5" || kind == "socks4") {
      if (parseProxy(rest, Proxy::Type::SOCKS, &p)) out.push_back(p);
    }
  }
  return out;
}

}  // namespace kit
