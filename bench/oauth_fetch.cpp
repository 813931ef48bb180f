// Signs one request with the browser's OAuth 1.0 code, sends it and prints
// the answer: a diagnostic for a service's OAuth set-up.
//
//   oauth_fetch --consumer-key K --consumer-secret S [--token T --token-secret TS]
//               [--method GET|POST] [--signature HMAC-SHA1|PLAINTEXT] URL [name=value ...]
//
// Prints "status=<code>" and the reply body; exits 0 when the reply is 2xx.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kit/foundation/RunLoop.h"
#include "kit/net/HTTPURLResponse.h"
#include "share/oauth/OADataFetcher.h"
#include "share/oauth/OAHMAC_SHA1SignatureProvider.h"
#include "share/oauth/OAParameterAdditions.h"
#include "share/oauth/OAPlaintextSignatureProvider.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: oauth_fetch --consumer-key K --consumer-secret S [--token T --token-secret TS]\n"
               "                   [--method GET|POST] [--signature HMAC-SHA1|PLAINTEXT] URL [name=value ...]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  kit::RunLoop::setMainThread();
  std::string consumerKey, consumerSecret, token, tokenSecret, method = "GET", signature = "HMAC-SHA1", url;
  std::vector<tolva::OARequestParameter> params;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    bool ok = true;
    if (arg == "--consumer-key") ok = value(consumerKey);
    else if (arg == "--consumer-secret") ok = value(consumerSecret);
    else if (arg == "--token") ok = value(token);
    else if (arg == "--token-secret") ok = value(tokenSecret);
    else if (arg == "--method") ok = value(method);
    else if (arg == "--signature") ok = value(signature);
    else if (arg.rfind("--", 0) == 0) return usage();
    else if (url.empty()) url = arg;
    else if (size_t eq = arg.find('='); eq != std::string::npos) params.emplace_back(arg.substr(0, eq), arg.substr(eq + 1));
    else return usage();
    if (!ok) return usage();
  }
  if (url.empty() || consumerKey.empty() || (method != "GET" && method != "POST") ||
      (signature != "HMAC-SHA1" && signature != "PLAINTEXT"))
    return usage();
  kit::Ref<kit::URL> target = kit::URL::URLWithString(url);
  if (!target) {
    std::fprintf(stderr, "oauth_fetch: not a URL: %s\n", url.c_str());
    return 2;
  }
  kit::Ref<tolva::OASignatureProviding> provider;
  if (signature == "PLAINTEXT")
    provider = kit::Ref<tolva::OASignatureProviding>(new tolva::OAPlaintextSignatureProvider());
  else
    provider = kit::Ref<tolva::OASignatureProviding>(new tolva::OAHMAC_SHA1SignatureProvider());
  kit::Ref<tolva::OAMutableURLRequest> request(new tolva::OAMutableURLRequest(
      target, kit::Ref<tolva::OAConsumer>(new tolva::OAConsumer(consumerKey, consumerSecret)),
      kit::Ref<tolva::OAToken>(new tolva::OAToken(token, tokenSecret)), "", provider));
  request->setHTTPMethod(method);
  if (!params.empty()) tolva::OAParameterAdditions::setParameters(*request, params);

  int exitCode = 1;
  tolva::OADataFetcher::fetchDataWithRequest(
      request,
      [&](tolva::OAServiceTicket& ticket, kit::Data* data) {
        auto* http = dynamic_cast<kit::HTTPURLResponse*>(ticket.response());
        int status = http ? http->statusCode() : 0;
        std::printf("status=%d\n", status);
        if (data) std::fwrite(data->bytes(), 1, data->length(), stdout);
        std::printf("\n");
        exitCode = status >= 200 && status < 300 ? 0 : 1;
      },
      [&](tolva::OAServiceTicket&, kit::Error* error) {
        std::printf("status=0\n");
        std::fprintf(stderr, "oauth_fetch: %s\n", error ? error->localizedDescription().c_str() : "no answer");
      });
  return exitCode;
}
