#pragma once
// Opens the note service's user-store and note-store clients: Thrift's HTTP
// client transport (POST, "application/x-thrift") over a socket with
// connect, send and receive time-outs, TLS with certificate and host-name
// checks for https, and the binary protocol writing non-strict message
// headers (reading both forms). Transports are opened before the first call.
// Each client is for one thread.

#include <memory>
#include <string>

#include "EDAMNoteStore.h"
#include "EDAMUserStore.h"
#include "kit/foundation/URL.h"

namespace tolva {

class EDAMClientFactory {
 public:
  struct Timeouts {
    int connectMs = 15000;
    int sendMs = 30000;
    int receiveMs = 60000;
  };

  // Null with a reason in `error` when the URL is not http(s) or the
  // transport cannot be opened.
  static std::shared_ptr<edam::EDAMUserStoreClient> userStore(const kit::URL& url, std::string* error = nullptr);
  static std::shared_ptr<edam::EDAMNoteStoreClient> noteStore(const kit::URL& url, std::string* error = nullptr);

  static void setTimeouts(Timeouts t);
  static Timeouts timeouts();
  // PEM file of extra roots to trust besides the system's (tests' own CA).
  static void setExtraTrustedCertificates(std::string pemPath);

  // The protocol over an opened transport for `url` (exposed for tests).
  static std::shared_ptr<apache::thrift::protocol::TProtocol> openProtocol(const kit::URL& url, std::string* error);
};

}  // namespace tolva
