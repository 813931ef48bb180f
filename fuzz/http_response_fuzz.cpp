// libFuzzer entry point for a response as the engine reads it off a connection.
//
// The first byte picks the request method (HEAD or GET) and where the rest is split in two
// reads; the rest is the bytes a server sends: status line, header fields, chunk sizes and body.
// The head then goes through every reader of the engine and of kit: header dictionary, dates,
// cookies (stored and sent back), Cache-Control through the response cache, Content-Type and
// charset, authentication challenges and the body's content coding. None may throw or crash.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "http/HttpDownloadCache.h"
#include "http/HttpRequest.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/String.h"
#include "kit/net/HTTPAuthentication.h"
#include "kit/net/HTTPCookie.h"
#include "kit/net/HTTPCookieStorage.h"
#include "kit/net/HTTPDate.h"
#include "kit/net/HTTPResponseParser.h"
#include "kit/net/HTTPURLResponse.h"
#include "kit/net/URLContentDecoder.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "http_response_fuzz: %s\n", what);
  std::abort();
}

kit::Ref<kit::URL> pageURL() {
  static kit::Ref<kit::URL> url = kit::URL::URLWithString("http://www.example.co.uk/dir/page.html");
  return url;
}

tolva::HttpDownloadCache& cache() {
  static kit::Ref<tolva::HttpDownloadCache> c = [] {
    auto made = kit::make<tolva::HttpDownloadCache>();
    static const std::string root = kit::Paths::temporaryDirectory() + "/http_response_fuzz-" + std::to_string(::getpid());
    made->setStoragePath(root);
    std::atexit([] { kit::FileManager::removeItem(root); });
    return made;
  }();
  return *c;
}

void readHead(const kit::HTTPMessage& head, std::string_view body) {
  kit::Ref<kit::Dictionary> fields = head.allHeaderFields();
  for (const char* name : {"Date", "Expires", "Last-Modified"}) {
    const std::string value = head.valueForHeaderField(name);
    (void)tolva::HttpRequest::dateFromRFC1123String(value);
    (void)kit::HTTPDate::parseCookieDate(value);
  }

  // Cookies as the engine takes them, stored and sent back.
  kit::HTTPCookieStorage storage;
  const auto cookies = kit::HTTPCookie::cookiesWithSetCookieHeaders(head.setCookieHeaders(), *pageURL());
  storage.setCookies(cookies, *pageURL(), nullptr);
  for (const auto& c : kit::HTTPCookie::cookiesWithResponseHeaderFields(fields.get(), *pageURL())) storage.setCookie(c);
  const std::string sent = kit::HTTPCookie::cookieHeaderValue(storage.cookiesForURL(*pageURL()));
  if (sent.find_first_of("\r\n") != std::string::npos) fail("a Cookie header holds a line break");

  // Content-Type, charset and length as the engine reads them.
  std::string mime;
  unsigned encoding = 0;
  tolva::HttpRequest::parseMimeType(&mime, &encoding, head.valueForHeaderField("Content-Type"));
  uint64_t length = 0;
  (void)tolva::HttpRequest::parseDecimalLength(head.valueForHeaderField("Content-Length"), &length);

  // Cache-Control, Expires and the validators through the response cache: stored, then judged.
  kit::Ref<tolva::HttpRequest> answered = tolva::HttpRequest::requestWithURL(pageURL(), kit::Ref<tolva::HttpCacheDelegate>(&cache()));
  answered->setResponseHeaders(fields);
  answered->setResponseStatusCode(head.statusCode());
  answered->parseStringEncodingFromHeaders();
  (void)tolva::HttpDownloadCache::serverAllowsResponseCachingForRequest(answered.get());
  cache().storeResponseForRequest(answered.get(), 0);
  (void)cache().isCachedDataCurrentForRequest(answered.get());
  (void)cache().canUseCachedDataForRequest(tolva::HttpRequest::requestWithURL(pageURL(), kit::Ref<tolva::HttpCacheDelegate>(&cache())).get());
  cache().removeCachedDataForRequest(answered.get());

  // kit's view of the same response.
  kit::HTTPURLResponse::HeaderFields list;
  for (const auto& f : head.headerFields()) list.emplace_back(f.name, f.value);
  auto response = kit::HTTPURLResponse::responseWithURL(pageURL(), head.statusCode(), head.version(), std::move(list));
  (void)response->MIMEType();
  (void)response->textEncodingName();
  (void)response->expectedContentLength();
  (void)response->suggestedFilename();

  if (kit::Ref<kit::HTTPAuthentication> auth = kit::HTTPAuthentication::authenticationFromResponse(head)) {
    (void)auth->isValid();
  }

  if (auto decoder = kit::URLContentDecoder::decoderForContentEncoding(head.valueForHeaderField("Content-Encoding"))) {
    std::string inflated;
    (void)decoder->decode(body.data(), body.size(), &inflated);
    (void)decoder->finish();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool head = data[0] & 1;
  std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t split = input.empty() ? 0 : (data[0] >> 1) % (input.size() + 1);

  kit::HTTPResponseParser parser(head ? "HEAD" : "GET");
  std::string body;
  bool ok = parser.feed(input.data(), split, body) && parser.feed(input.data() + split, input.size() - split, body);
  if (ok) ok = parser.feedEndOfStream();
  if (ok && !parser.headerComplete()) fail("a complete message without a head");
  if (body.size() > input.size()) fail("more body bytes than were read");
  if (parser.headerComplete()) readHead(*parser.response(), body);
  return 0;
}
