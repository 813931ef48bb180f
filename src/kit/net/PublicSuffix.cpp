#include "kit/net/PublicSuffix.h"

#include <libpsl.h>

namespace kit {

namespace {

// The system's list when it is there and newer than the one built into the library.
const psl_ctx_t* context() {
  static const psl_ctx_t* psl = [] {
    const psl_ctx_t* latest = psl_latest(nullptr);
    return latest ? latest : psl_builtin();
  }();
  return psl;
}

}  // namespace

bool PublicSuffix::isPublicSuffix(std::string_view domain) {
  const psl_ctx_t* psl = context();
  // Without any list, every name counts as one: no cookie then reaches beyond its own host.
  if (!psl) return true;
  return psl_is_public_suffix(psl, std::string(domain).c_str()) != 0;
}

std::string PublicSuffix::registrableDomain(std::string_view host) {
  const std::string name(host);
  const psl_ctx_t* psl = context();
  const char* registrable = psl ? psl_registrable_domain(psl, name.c_str()) : nullptr;
  return registrable ? std::string(registrable) : name;
}

}  // namespace kit
