#pragma once
// One request as a loopback HTTP server received it.

#include <cstdint>
#include <string>
#include <vector>

#include "support/TestHeaders.h"

namespace tolvatest {

struct RecordedRequest {
  std::string method;
  std::string target;  // as sent: origin-form, absolute-form, authority or "*"
  std::string path;    // the target's path, without the query
  std::string query;   // after '?', without it
  std::string version; // "HTTP/1.1"
  TestHeaders headers;
  std::string body;        // decoded from chunked framing; at most maxRecordedBodyBytes
  uint64_t bodySize = 0;   // the whole body, recorded or not
  bool bodyTruncated = false;
  std::string bodySHA256;  // hex, when the server hashes request bodies
  bool chunked = false;
  TestHeaders trailers;
  uint64_t connectionId = 0;    // the accepted socket's number
  unsigned indexOnConnection = 0;  // 0 for a connection's first request
  bool tls = false;
  std::string serverName;  // SNI, when TLS
  // Common names of the client certificates sent, its own first (servers that ask for them).
  std::vector<std::string> clientCertificateNames;
};

}  // namespace tolvatest
