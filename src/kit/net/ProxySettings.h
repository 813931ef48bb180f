#pragma once
// Which proxy a URL goes through: the system's settings (set by the program, else read from the
// environment's http_proxy, https_proxy, all_proxy and no_proxy, either case), and the answers
// of a proxy auto-configuration script ("PROXY host:port; SOCKS host:port; DIRECT").

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/URL.h"

namespace kit {

class ProxySettings {
 public:
  struct Proxy {
    enum class Type { Direct, HTTP, HTTPS, SOCKS, AutoConfiguration };
    Type type = Type::Direct;
    std::string host;
    int port = 0;
    std::string autoConfigurationURL;  // Type::AutoConfiguration
    bool operator==(const Proxy&) const = default;
  };
  struct Settings {
    std::string httpProxy;   // "host:port" or "http://host:port"
    std::string httpsProxy;
    std::string allProxy;    // "socks5://host:port" or an HTTP proxy
    std::string noProxy;     // "host, .domain, *"
    std::string autoConfigurationURL;
  };

  // The settings in force: the program's, when it set some, else the environment's.
  static Settings systemSettings();
  static void setSystemSettings(std::optional<Settings> settings);
  static Settings environmentSettings();

  // The proxies to try in order for a URL; an empty list means no proxy. nullopt when the
  // settings cannot be read (a proxy value that names no host).
  static std::optional<std::vector<Proxy>> proxiesForURL(const URL& url, const Settings& settings);
  // Reads a proxy script's answer; entries it cannot read are skipped.
  static std::vector<Proxy> proxiesFromPACResult(std::string_view result);
  // Whether no_proxy exempts the host (and port).
  static bool isExempt(std::string_view host, int port, std::string_view noProxy);
};

}  // namespace kit
