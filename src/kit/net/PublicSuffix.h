#pragma once
// The public-suffix rule (Debian's libpsl with the system's list): the names under which anyone
// may register a domain ("com", "co.uk", "github.io"), which no cookie may be set for.

#include <string>
#include <string_view>

namespace kit {

class PublicSuffix {
 public:
  // Whether the lower-case name is a public suffix (unknown top-level names count as one).
  static bool isPublicSuffix(std::string_view domain);
  // The registrable domain of the lower-case host: the public suffix and one label more
  // ("example.co.uk" for "a.b.example.co.uk"); the host itself when it has none (a public
  // suffix, an address, "localhost").
  static std::string registrableDomain(std::string_view host);
};

}  // namespace kit
