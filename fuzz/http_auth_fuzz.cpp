// libFuzzer entry point for the response-header and authentication-challenge parsers.
//
// The input is read as a response head; its challenges (and the raw input as a header value)
// go through the challenge reader, the scheme choice and, for NTLM, the challenge-message reader.
// Answering with credentials must never fail for a valid object, and what it writes must be a
// legal header value.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "kit/foundation/String.h"
#include "kit/net/HTTPAuthentication.h"
#include "kit/net/HTTPMessage.h"
#include "kit/net/NTLM.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "http_auth_fuzz: %s\n", what);
  std::abort();
}

void answer(kit::HTTPAuthentication& auth) {
  auto credentials = kit::MutableDictionary::dictionary();
  credentials->setObject(kit::str("user"), kit::HTTPAuthentication::kUsername);
  credentials->setObject(kit::str("pass"), kit::HTTPAuthentication::kPassword);
  credentials->setObject(kit::str("DOMAIN"), kit::HTTPAuthentication::kAccountDomain);
  kit::Ref<kit::HTTPMessage> request = kit::HTTPMessage::requestWithMethod("GET", kit::URL::URLWithString("http://h/p"));
  if (!auth.applyCredentials(*request, credentials)) return;
  const std::string value = request->valueForHeaderField(auth.headerName());
  if (value.find_first_of("\r\n") != std::string::npos) fail("a header value holds a line break");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  for (const auto& c : kit::HTTPAuthentication::parseChallenges(input)) {
    if (c.scheme.empty()) fail("a challenge without a scheme");
  }
  (void)kit::NTLM::parseChallenge(input);

  kit::Ref<kit::HTTPMessage> response = kit::HTTPMessage::responseWithHead(input);
  if (!response) return 0;
  (void)response->allHeaderFields();
  if (kit::Ref<kit::HTTPAuthentication> auth = kit::HTTPAuthentication::authenticationFromResponse(*response)) {
    answer(*auth);
    auth->updateFromResponse(*response);
    answer(*auth);
  }
  return 0;
}
