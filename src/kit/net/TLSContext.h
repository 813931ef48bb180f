#pragma once
// The process's TLS client configuration: one OpenSSL context that verifies peers against the
// system's CA store plus the certificates added here. Verification cannot be turned off.
// Thread-safe.

#include <openssl/types.h>

#include <string>
#include <string_view>

#include "kit/foundation/Error.h"

namespace kit {

class TLSContext {
 public:
  // The current context with a reference of the caller's (free it with SSL_CTX_free).
  static SSL_CTX* acquire();
  static bool addTrustedCertificate(std::string_view pem, Ref<Error>* error);
  // Later connections trust the system store alone; open ones are not affected.
  static void removeTrustedCertificates();
  // Empties the calling thread's OpenSSL error queue into one line of text.
  static std::string takeErrorText();
};

}  // namespace kit
