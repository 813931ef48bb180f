#include "kit/net/URLConnection.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <limits>
#include <map>
#include <new>
#include <optional>
#include <vector>

#include "kit/foundation/Clock.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Format.h"
#include "kit/foundation/Timer.h"
#include "kit/foundation/URLEscaping.h"
#include "kit/net/HTTPCookie.h"
#include "kit/net/HTTPCookieStorage.h"
#include "kit/net/HTTPDate.h"
#include "kit/net/HTTPMessage.h"
#include "kit/net/HTTPReadStream.h"
#include "kit/net/HTTPURLResponse.h"
#include "kit/net/URLCache.h"
#include "kit/net/URLContentDecoder.h"
#include "kit/net/URLError.h"
#include "kit/security/Base64.h"

namespace kit {
namespace {

constexpr unsigned kStreamEvents =
    InputStream::kEventHasBytesAvailable | InputStream::kEventErrorOccurred | InputStream::kEventEndEncountered;
constexpr size_t kReadSize = 64 * 1024;
constexpr size_t kFileChunk = 256 * 1024;

std::string lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return out;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool isHTTP(const URL& url) { return url.schemeIs("http") || url.schemeIs("https"); }
int portOf(const URL& url) { return url.port().value_or(url.schemeIs("https") ? 443 : 80); }

// Whether credentials meant for `from` must not follow a redirect to `to`.
bool crossesOrigin(const URL& from, const URL& to) {
  if (from.lowercaseHost() != to.lowercaseHost() || portOf(from) != portOf(to)) return true;
  return from.schemeIs("https") && !to.schemeIs("https");
}

std::string originOf(const URL& url) {
  return url.lowercaseScheme() + "://" + url.lowercaseHost() + ":" + std::to_string(portOf(url));
}

// The directives of every Cache-Control field, lower-case, with their values.
std::map<std::string, std::string> cacheControl(const std::vector<std::string>& values) {
  std::map<std::string, std::string> out;
  for (const auto& value : values) {
    std::string_view rest = value;
    while (!rest.empty()) {
      size_t comma = rest.find(',');
      std::string_view item = trim(rest.substr(0, comma));
      rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
      if (item.empty()) continue;
      size_t eq = item.find('=');
      std::string name = lower(trim(item.substr(0, eq)));
      std::string v = eq == std::string_view::npos ? std::string() : std::string(trim(item.substr(eq + 1)));
      if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
      out.emplace(name, v);
    }
  }
  return out;
}

bool noStore(const std::vector<std::string>& values) { return cacheControl(values).count("no-store") > 0; }

// Whether a cached HTTP response may still be used without asking the server.
bool isFresh(const CachedURLResponse& cached) {
  auto* http = dynamic_cast<HTTPURLResponse*>(cached.response());
  if (!http) return false;
  auto directives = cacheControl(http->valuesForHTTPHeaderField("Cache-Control"));
  if (directives.count("no-cache") || http->valueForHTTPHeaderField("Pragma").value_or("") == "no-cache") return false;
  const double now = Clock::now();
  if (auto it = directives.find("max-age"); it != directives.end()) {
    char* end = nullptr;
    const double maxAge = std::strtod(it->second.c_str(), &end);
    if (it->second.empty() || *end != '\0' || !(maxAge >= 0)) return false;
    auto date = HTTPDate::parseCookieDate(http->valueForHTTPHeaderField("Date").value_or(""));
    return date && now - *date < maxAge;
  }
  auto expires = HTTPDate::parseCookieDate(http->valueForHTTPHeaderField("Expires").value_or(""));
  return expires && *expires > now;
}

// %HH escapes decoded into bytes (any bytes); nullopt on a broken escape.
std::optional<std::string> percentDecodeBytes(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      out += s[i];
      continue;
    }
    if (i + 2 >= s.size() || !URLEscaping::isHexDigit(s[i + 1]) || !URLEscaping::isHexDigit(s[i + 2]))
      return std::nullopt;
    out += char(URLEscaping::hexValue(s[i + 1]) * 16 + URLEscaping::hexValue(s[i + 2]));
    i += 2;
  }
  return out;
}

struct DataURL {
  std::string mime;
  std::optional<std::string> charset;
  std::string bytes;
};

// RFC 2397: data:[<mediatype>][;base64],<data>
std::optional<DataURL> parseDataURL(const URL& url) {
  std::string_view text = url.absoluteString();
  text.remove_prefix(std::min(text.size(), url.scheme().size() + 1));
  text = text.substr(0, text.find('#'));
  size_t comma = text.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  DataURL out;
  bool base64 = false;
  std::string_view meta = text.substr(0, comma);
  bool first = true;
  while (true) {
    size_t semi = meta.find(';');
    std::string_view part = trim(meta.substr(0, semi));
    if (first) {
      if (part.find('/') != std::string_view::npos) out.mime = lower(part);
    } else if (lower(part) == "base64" && semi == std::string_view::npos) {
      base64 = true;
    } else if (size_t eq = part.find('='); eq != std::string_view::npos && lower(trim(part.substr(0, eq))) == "charset") {
      if (auto v = percentDecodeBytes(trim(part.substr(eq + 1)))) out.charset = *v;
    }
    first = false;
    if (semi == std::string_view::npos) break;
    meta.remove_prefix(semi + 1);
  }
  if (out.mime.empty()) {
    out.mime = "text/plain";
    if (!out.charset) out.charset = "US-ASCII";
  }
  auto decoded = percentDecodeBytes(text.substr(comma + 1));
  if (!decoded) return std::nullopt;
  if (base64) {
    std::string compact;
    for (char c : *decoded)
      if (!std::isspace(static_cast<unsigned char>(c))) compact += c;
    while (compact.size() % 4) compact += '=';  // padding is often left out
    auto bytes = Base64::decode(compact);
    if (!bytes) return std::nullopt;
    out.bytes.assign(bytes->begin(), bytes->end());
  } else {
    out.bytes = std::move(*decoded);
  }
  return out;
}

std::string mimeTypeForExtension(const std::string& extension) {
  static const std::map<std::string, std::string> types = {
      {"html", "text/html"},        {"htm", "text/html"},          {"txt", "text/plain"},
      {"css", "text/css"},          {"js", "application/javascript"}, {"json", "application/json"},
      {"xml", "text/xml"},          {"plist", "application/xml"},   {"png", "image/png"},
      {"jpg", "image/jpeg"},        {"jpeg", "image/jpeg"},         {"gif", "image/gif"},
      {"ico", "image/vnd.microsoft.icon"}, {"svg", "image/svg+xml"}, {"webp", "image/webp"},
      {"pdf", "application/pdf"},   {"zip", "application/zip"},    {"gz", "application/gzip"},
      {"mp3", "audio/mpeg"},        {"mp4", "video/mp4"},           {"strings", "text/plain"},
  };
  auto it = types.find(lower(extension));
  return it == types.end() ? "application/octet-stream" : it->second;
}

// The challenges of WWW-Authenticate fields: scheme (lower-case) and realm.
struct Challenge {
  std::string scheme;
  std::optional<std::string> realm;
};

std::vector<Challenge> parseChallenges(const std::vector<std::string>& values) {
  std::vector<Challenge> out;
  for (const auto& value : values) {
    size_t i = 0;
    while (i < value.size()) {
      while (i < value.size() && (value[i] == ' ' || value[i] == ',' || value[i] == '\t')) ++i;
      size_t start = i;
      while (i < value.size() && value[i] != ' ' && value[i] != ',' && value[i] != '=') ++i;
      std::string token = value.substr(start, i - start);
      if (token.empty()) break;
      if (i < value.size() && value[i] == '=') {
        // A parameter of the current challenge.
        ++i;
        std::string v;
        if (i < value.size() && value[i] == '"') {
          for (++i; i < value.size() && value[i] != '"'; ++i) {
            if (value[i] == '\\' && i + 1 < value.size()) ++i;
            v += value[i];
          }
          ++i;
        } else {
          size_t vs = i;
          while (i < value.size() && value[i] != ',') ++i;
          v = std::string(trim(std::string_view(value).substr(vs, i - vs)));
        }
        if (!out.empty() && lower(token) == "realm" && !out.back().realm) out.back().realm = v;
      } else {
        out.push_back({lower(token), std::nullopt});
      }
    }
  }
  return out;
}

std::string methodForScheme(const std::string& scheme) {
  if (scheme == "basic") return URLProtectionSpace::kAuthenticationMethodHTTPBasic;
  if (scheme == "digest") return URLProtectionSpace::kAuthenticationMethodHTTPDigest;
  if (scheme == "ntlm") return URLProtectionSpace::kAuthenticationMethodNTLM;
  if (scheme == "negotiate") return URLProtectionSpace::kAuthenticationMethodNegotiate;
  return URLProtectionSpace::kAuthenticationMethodDefault;
}

std::string basicAuthorization(const std::string& user, const std::string& password) {
  return "Basic " + Base64::encode(user + ":" + password);
}

}  // namespace

struct URLConnection::State {
  URLConnectionDelegate* delegate = nullptr;
  std::shared_ptr<RunLoop> loop;
  std::string mode = RunLoop::kDefaultMode;
  std::atomic<bool> started{false};
  std::atomic<bool> cancelled{false};
  bool stopped = false;  // the load ended; nothing more is called (loop thread)
  Ref<URLConnection> self;
  Ref<URLRequest> request;
  Ref<URLCache> cache;

  // The HTTP exchange under way.
  Ref<HTTPReadStream> stream;
  uint64_t exchange = 0;  // counts exchanges, so a handler can tell that its stream was replaced
  bool headProcessed = false;
  bool streamEnded = false;
  int redirects = 0;
  Ref<URLResponse> response;  // the response delivered to the delegate
  std::unique_ptr<URLContentDecoder> decoder;
  std::vector<uint8_t> readBuffer;

  // Authentication.
  bool triedURLCredential = false;
  std::map<std::string, long> attempts;  // credentials tried, by protection space
  std::string authorization;             // a Basic answer that worked or is being tried ...
  std::string authorizationOrigin;       // ... for this origin
  Ref<URLAuthenticationChallenge> pendingChallenge;
  Ref<HTTPURLResponse> challengeResponse;
  std::string challengeMethod;

  // Caching of the loaded response.
  bool cacheable = false;
  Ref<MutableData> cacheData;

  // Inactivity time-out.
  Ref<Timer> timer;
  double lastActivity = 0;
  uint64_t lastWritten = 0;

  // file: loads.
  int fd = -1;

  bool alive() const { return !stopped && !cancelled.load(); }
};

namespace {

Ref<URLRequest> copyOf(const URLRequest& request) {
  Ref<Object> copied = request.copy();
  return Ref<URLRequest>(cast<URLRequest>(copied));
}

}  // namespace

URLConnection::URLConnection(const URLRequest& request, URLConnectionDelegate* delegate, bool startImmediately)
    : original_(copyOf(request)), s_(new State()) {
  s_->delegate = delegate;
  if (startImmediately) start();
}

URLConnection::~URLConnection() {
  if (s_->fd >= 0) ::close(s_->fd);
  if (s_->stream) {
    s_->stream->setClient(0, nullptr);
    s_->stream->close();
  }
  if (s_->timer) s_->timer->invalidate();
}

URLRequest* URLConnection::currentRequest() const noexcept {
  return s_->request ? s_->request.get() : original_.get();
}

bool URLConnection::canHandleRequest(const URLRequest& request) {
  URL* url = request.url();
  return url && (isHTTP(*url) || url->schemeIs("file") || url->schemeIs("data"));
}

std::string URLConnection::description() const {
  return "<URLConnection " + (currentRequest()->url() ? currentRequest()->url()->absoluteString() : std::string()) +
         ">";
}

void URLConnection::scheduleInRunLoop(RunLoop& loop, const std::string& mode) {
  if (s_->started.load()) return;
  s_->loop = loop.shared_from_this();
  s_->mode = mode;
}

void URLConnection::start() {
  if (s_->cancelled.load() || s_->started.exchange(true)) return;
  if (!s_->loop) s_->loop = RunLoop::current().shared_from_this();
  s_->self = Ref<URLConnection>(this);
  Ref<URLConnection> self = s_->self;
  if (!s_->loop->perform([self] { self->begin(); }, false, {s_->mode})) {
    // The loop's thread has ended: nothing will ever run. Let go of ourselves only when somebody
    // else holds the connection (start() may run inside the constructor).
    s_->stopped = true;
    s_->delegate = nullptr;
    if (retainCount() > 2) s_->self = nullptr;
  }
}

void URLConnection::cancel() {
  Ref<URLConnection> keep(this);
  s_->cancelled.store(true);
  if (!s_->loop || s_->loop->isCurrent()) {
    stop();
  } else if (!s_->loop->perform([keep] { keep->stop(); }, false, {s_->mode})) {
    // The loop's thread has ended; nothing runs there any more.
    stop();
  }
}

void URLConnection::stop() {
  State& s = *s_;
  if (s.stopped) return;
  s.stopped = true;
  ++s.exchange;
  closeStream();
  if (s.timer) s.timer->invalidate();
  s.timer = nullptr;
  if (s.fd >= 0) ::close(s.fd);
  s.fd = -1;
  s.pendingChallenge = nullptr;
  s.challengeResponse = nullptr;
  s.decoder.reset();
  s.cacheData = nullptr;
  s.delegate = nullptr;
  // Last: the caller holds its own reference while it still uses the connection.
  Ref<URLConnection> self = std::move(s.self);
}

void URLConnection::closeStream() {
  State& s = *s_;
  if (!s.stream) return;
  s.stream->setClient(0, nullptr);
  s.stream->close();
  s.stream = nullptr;
}

// ---- Delegate calls

void URLConnection::finishLoading() {
  URLConnectionDelegate* d = s_->delegate;
  const bool wasAlive = s_->alive();
  stop();
  if (d && wasAlive) d->didFinishLoading(*this);
}

void URLConnection::fail(Ref<Error> error) {
  URLConnectionDelegate* d = s_->delegate;
  const bool wasAlive = s_->alive();
  stop();
  if (d && wasAlive) d->didFailWithError(*this, *error);
}

void URLConnection::failWithCode(long code, const std::string& description, Ref<Error> underlying) {
  URL* url = s_->request ? s_->request->url() : original_->url();
  fail(URLError::make(static_cast<URLError::Code>(code), url, description, std::move(underlying)));
}

bool URLConnection::deliverResponse(Ref<URLResponse> response) {
  s_->response = response;
  if (s_->alive() && s_->delegate) s_->delegate->didReceiveResponse(*this, *response);
  return s_->alive();
}

bool URLConnection::deliverData(const void* bytes, size_t length) {
  State& s = *s_;
  if (length == 0) return s.alive();
  Ref<Data> data = Data::dataWithBytes(bytes, length);
  if (s.cacheable && s.cacheData) {
    const uint64_t limit = s.cache ? std::max(s.cache->memoryCapacity(), s.cache->diskCapacity()) : 0;
    if (s.cacheData->length() + length > limit) {
      s.cacheable = false;  // larger than the cache could keep
      s.cacheData = nullptr;
    } else {
      s.cacheData->appendBytes(bytes, length);
    }
  }
  if (s.alive() && s.delegate) s.delegate->didReceiveData(*this, *data);
  return s.alive();
}

void URLConnection::succeed() {
  State& s = *s_;
  if (!s.alive()) return;
  if (s.cacheable && s.cacheData && s.cache && s.response) {
    Ref<CachedURLResponse> cached = CachedURLResponse::cachedResponse(s.response, s.cacheData);
    if (s.delegate) cached = s.delegate->willCacheResponse(*this, cached);
    if (!s.alive()) return;
    if (cached) s.cache->storeCachedResponse(cached, *s.request);
  }
  finishLoading();
}

// ---- Starting a load

void URLConnection::begin() {
  State& s = *s_;
  if (!s.alive()) return;
  s.cache = URLCache::sharedURLCache();
  Ref<Object> copied = original_->copy();
  Ref<URLRequest> request(cast<URLRequest>(copied));
  if (s.delegate) request = s.delegate->willSendRequest(*this, request, nullptr);
  if (!s.alive()) return;
  if (!request) {
    cancel();
    return;
  }
  load(request);
}

void URLConnection::load(Ref<URLRequest> request) {
  State& s = *s_;
  s.request = request;
  URL* url = request->url();
  if (!url) return failWithCode(URLError::kBadURL);
  if (!canHandleRequest(*request)) return failWithCode(URLError::kUnsupportedURL);

  using Policy = URLRequest::CachePolicy;
  const Policy policy = request->cachePolicy();
  const bool protocolPolicy = policy == Policy::UseProtocolCachePolicy || policy == Policy::ReloadRevalidatingCacheData;
  if (s.cache && (policy == Policy::ReturnCacheDataDontLoad || policy == Policy::ReturnCacheDataElseLoad ||
                  (protocolPolicy && isHTTP(*url) && request->HTTPMethod() == "GET"))) {
    Ref<CachedURLResponse> cached = s.cache->cachedResponseForRequest(*request);
    if (!s.alive()) return;
    if (cached && cached->response() &&
        (policy == Policy::ReturnCacheDataDontLoad || policy == Policy::ReturnCacheDataElseLoad || isFresh(*cached))) {
      if (!deliverResponse(cached->response())) return;
      if (!deliverData(cached->data()->bytes(), cached->data()->length())) return;
      return finishLoading();
    }
    if (policy == Policy::ReturnCacheDataDontLoad) return failWithCode(URLError::kResourceUnavailable);
  } else if (policy == Policy::ReturnCacheDataDontLoad) {
    return failWithCode(URLError::kResourceUnavailable);
  }

  if (url->schemeIs("data")) return loadData();
  if (url->schemeIs("file")) return loadFile();
  startHTTP();
}

void URLConnection::loadData() {
  URL* url = s_->request->url();
  auto parsed = parseDataURL(*url);
  if (!parsed) return failWithCode(URLError::kBadURL, "The data: URL is malformed.");
  auto response = URLResponse::responseWithURL(url, parsed->mime, int64_t(parsed->bytes.size()), parsed->charset);
  if (!deliverResponse(response)) return;
  if (!deliverData(parsed->bytes.data(), parsed->bytes.size())) return;
  finishLoading();
}

void URLConnection::loadFile() {
  State& s = *s_;
  URL* url = s.request->url();
  if (!url->host().empty() && url->lowercaseHost() != "localhost") return failWithCode(URLError::kUnsupportedURL);
  const std::string path = url->path();
  if (path.empty() || path.find('\0') != std::string::npos) return failWithCode(URLError::kBadURL);
  // Regular files only: a FIFO would block the loop, a device never end. Read in pieces, so no bound.
  Ref<Error> failure;
  uint64_t size = 0;
  s.fd = FileManager::openRegularFile(path, &failure, std::numeric_limits<uint64_t>::max(), &size);
  if (s.fd < 0) {
    const long err = failure ? failure->code() : EIO;
    if (err == EISDIR) return failWithCode(URLError::kFileIsDirectory);
    const long code = err == ENOENT || err == ENOTDIR ? URLError::kFileDoesNotExist
                      : err == EACCES || err == EPERM ? URLError::kNoPermissionsToReadFile
                                                      : URLError::kUnknown;
    return failWithCode(code, {}, failure);
  }
  auto response = URLResponse::responseWithURL(url, mimeTypeForExtension(url->pathExtension()),
                                               static_cast<int64_t>(size), std::nullopt);
  if (!deliverResponse(response)) return;
  readFileChunk();
}

// One piece per loop pass, so a large file neither stalls the loop nor keeps a cancel waiting.
void URLConnection::readFileChunk() {
  State& s = *s_;
  if (!s.alive() || s.fd < 0) return;
  std::vector<uint8_t> buffer(kFileChunk);
  ssize_t n;
  do {
    n = ::read(s.fd, buffer.data(), buffer.size());
  } while (n < 0 && errno == EINTR);
  if (n < 0) return failWithCode(URLError::kUnknown, {}, Error::posixError(errno, s.request->url()->path()));
  if (n == 0) {
    ::close(s.fd);
    s.fd = -1;
    return finishLoading();
  }
  if (!deliverData(buffer.data(), size_t(n))) return;
  Ref<URLConnection> keep(this);
  s.loop->perform([keep] { keep->readFileChunk(); }, false, {s.mode});
}

// ---- HTTP

Ref<HTTPMessage> URLConnection::buildMessage() {
  State& s = *s_;
  URLRequest& request = *s.request;
  URL* url = request.url();
  Ref<HTTPMessage> message = HTTPMessage::requestWithMethod(request.HTTPMethod(), url);
  if (!message) return nullptr;
  for (const auto& [name, value] : request.allHTTPHeaderFields()) {
    // The framing is the stream's to write, from the body actually sent.
    const std::string n = lower(name);
    if (n == "content-length" || n == "transfer-encoding") continue;
    message->setHeaderField(name, value);
  }
  if (request.HTTPShouldHandleCookies() && !message->hasHeaderField("Cookie")) {
    auto cookies = HTTPCookieStorage::sharedHTTPCookieStorage().cookiesForURL(*url);
    if (!cookies.empty()) message->setHeaderField("Cookie", HTTPCookie::cookieHeaderValue(cookies));
  }
  if (!message->hasHeaderField("Accept")) message->setHeaderField("Accept", "*/*");
  if (!message->hasHeaderField("Accept-Encoding")) message->setHeaderField("Accept-Encoding", "gzip, deflate");
  if (!s.authorization.empty() && s.authorizationOrigin == originOf(*url) && !message->hasHeaderField("Authorization"))
    message->setHeaderField("Authorization", s.authorization);
  const std::string& method = request.HTTPMethod();
  Data* body = request.HTTPBody();
  if (body && body->length() > 0) {
    message->setBody(Data::dataWithBytes(body->bytes(), body->length()));
    if (method == "POST" && !message->hasHeaderField("Content-Type"))
      message->setHeaderField("Content-Type", "application/x-www-form-urlencoded");
  } else if (method == "POST" || method == "PUT" || method == "PATCH") {
    message->setHeaderField("Content-Length", "0");
  }
  return message;
}

void URLConnection::startHTTP() {
  State& s = *s_;
  closeStream();
  ++s.exchange;
  s.headProcessed = false;
  s.streamEnded = false;
  s.decoder.reset();
  s.cacheable = false;
  s.cacheData = nullptr;
  URL* url = s.request->url();
  if (url->host().empty()) return failWithCode(URLError::kBadURL);
  Ref<HTTPMessage> message = buildMessage();
  if (!message) return failWithCode(URLError::kBadURL, "The request cannot be sent: its method is not valid.");
  Ref<HTTPReadStream> stream = HTTPReadStream::streamWithRequest(message);
  WeakRef<URLConnection> weak(this);
  const uint64_t exchange = s.exchange;
  stream->setClient(kStreamEvents, [weak, exchange](InputStream&, InputStream::Event event) {
    if (Ref<URLConnection> c = weak.lock()) c->streamEvent(exchange, event);
  });
  stream->scheduleInRunLoop(*s.loop, s.mode);
  s.stream = stream;
  s.lastWritten = 0;
  armTimer();
  if (!stream->open()) return fail(URLError::fromNetworkError(stream->streamError().get(), url));
}

void URLConnection::streamEvent(uint64_t exchange, unsigned event) {
  State& s = *s_;
  Ref<URLConnection> keep(this);
  if (!s.alive() || exchange != s.exchange || !s.stream) return;
  s.lastActivity = Clock::now();
  if (event == InputStream::kEventErrorOccurred)
    return fail(URLError::fromNetworkError(s.stream->streamError().get(), s.request->url()));
  if (event == InputStream::kEventEndEncountered) s.streamEnded = true;
  if (!s.headProcessed) {
    s.headProcessed = true;
    processHead();
    if (!s.alive() || exchange != s.exchange) return;
  }
  if (s.pendingChallenge) return;  // the body waits in the stream until the challenge is answered
  readAvailable();
  if (s.alive() && exchange == s.exchange && s.streamEnded) completeHTTP();
}

void URLConnection::processHead() {
  State& s = *s_;
  Ref<HTTPMessage> head = s.stream->responseHeader();
  if (!head) return failWithCode(URLError::kBadServerResponse);
  URL* url = s.request->url();
  HTTPURLResponse::HeaderFields fields;
  for (const auto& f : head->headerFields()) fields.emplace_back(f.name, f.value);
  auto response = HTTPURLResponse::responseWithURL(url, head->statusCode(), head->version(), std::move(fields));
  if (s.request->HTTPShouldHandleCookies()) {
    auto cookies = HTTPCookie::cookiesWithSetCookieHeaders(head->setCookieHeaders(), *url);
    if (!cookies.empty())
      HTTPCookieStorage::sharedHTTPCookieStorage().setCookies(cookies, *url, s.request->mainDocumentURL());
  }
  const int status = head->statusCode();
  const bool redirect = status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
  if (redirect && head->hasHeaderField("Location")) return redirectTo(response, head->valueForHeaderField("Location"));
  if (status == 401 && head->hasHeaderField("WWW-Authenticate")) return challenge(response);
  deliverHTTPResponse(response);
}

void URLConnection::deliverHTTPResponse(Ref<HTTPURLResponse> response) {
  State& s = *s_;
  const int status = response->statusCode();
  const std::string& method = s.request->HTTPMethod();
  const bool hasBody = method != "HEAD" && status != 204 && status != 304;
  if (hasBody)
    if (auto coding = response->valueForHTTPHeaderField("Content-Encoding"))
      s.decoder = URLContentDecoder::decoderForContentEncoding(*coding);
  s.cacheable = s.cache && method == "GET" && status == 200 &&
                !noStore(response->valuesForHTTPHeaderField("Cache-Control")) &&
                !noStore({s.request->valueForHTTPHeaderField("Cache-Control").value_or("")}) &&
                (s.cache->memoryCapacity() > 0 || s.cache->diskCapacity() > 0);
  if (s.cacheable) s.cacheData = MutableData::data();
  deliverResponse(response);
}

void URLConnection::readAvailable() {
  State& s = *s_;
  if (s.readBuffer.empty()) s.readBuffer.resize(kReadSize);
  const uint64_t exchange = s.exchange;
  while (s.alive() && exchange == s.exchange && s.stream) {
    const long n = s.stream->read(s.readBuffer.data(), s.readBuffer.size());
    if (n <= 0) return;
    if (!s.decoder) {
      if (!deliverData(s.readBuffer.data(), size_t(n))) return;
      continue;
    }
    std::string inflated;
    if (!s.decoder->decode(s.readBuffer.data(), size_t(n), &inflated)) return failWithCode(URLError::kCannotDecodeContentData);
    if (!deliverData(inflated.data(), inflated.size())) return;
  }
}

void URLConnection::completeHTTP() {
  State& s = *s_;
  if (s.decoder && !s.decoder->finish()) return failWithCode(URLError::kCannotDecodeContentData);
  closeStream();
  succeed();
}

void URLConnection::redirectTo(Ref<HTTPURLResponse> response, const std::string& location) {
  State& s = *s_;
  URL* from = s.request->url();
  Ref<URL> target = URL::URLWithString(location, from);
  if (!target) target = URL::lenientURLWithString(location, from);
  if (!target) return deliverHTTPResponse(response);  // nowhere to go: the response is the answer
  if (++s.redirects > kMaximumRedirects) return failWithCode(URLError::kHTTPTooManyRedirects);
  if (!isHTTP(*target)) return failWithCode(URLError::kUnsupportedURL, "A redirect leads to an unsupported URL.");
  if (!target->hasFragment() && from->hasFragment())
    if (auto withFragment = URL::URLWithString(target->absoluteString() + "#" + from->fragment()))
      target = withFragment;

  const int status = response->statusCode();
  const std::string& method = s.request->HTTPMethod();
  const bool toGET = status == 303 ? method != "HEAD" : ((status == 301 || status == 302) && method == "POST");
  const bool crossing = crossesOrigin(*from, *target);
  // Built through the public constructor, so the request hooks see redirects too.
  Ref<URLRequest> next(new URLRequest(target, s.request->cachePolicy(), s.request->timeoutInterval()));
  for (const auto& [name, value] : s.request->allHTTPHeaderFields()) {
    const std::string n = lower(name);
    if (crossing && n == "authorization") continue;
    if (toGET && (n == "content-type" || n == "content-length" || n == "content-encoding")) continue;
    URLRequest::primitiveSetValue(*next, value, name);
  }
  next->setHTTPMethod(toGET ? "GET" : method);
  if (!toGET && s.request->HTTPBody()) next->setHTTPBody(s.request->HTTPBody());
  next->setHTTPShouldHandleCookies(s.request->HTTPShouldHandleCookies());
  if (URL* main = s.request->mainDocumentURL()) next->setMainDocumentURL(main);

  Ref<URLRequest> chosen = next;
  if (s.delegate) chosen = s.delegate->willSendRequest(*this, next, response.get());
  if (!s.alive()) return;
  if (!chosen) return deliverHTTPResponse(response);
  closeStream();
  ++s.exchange;
  load(chosen);
}

void URLConnection::challenge(Ref<HTTPURLResponse> response) {
  State& s = *s_;
  URL* url = s.request->url();
  auto challenges = parseChallenges(response->valuesForHTTPHeaderField("WWW-Authenticate"));
  if (challenges.empty()) return deliverHTTPResponse(response);
  const Challenge* chosen = &challenges.front();
  for (const auto& c : challenges)
    if (c.scheme == "basic") {
      chosen = &c;
      break;
    }
  auto space = make<URLProtectionSpace>(url->host(), portOf(*url), url->lowercaseScheme(), chosen->realm,
                                        methodForScheme(chosen->scheme));
  const std::string spaceKey = space->description();
  const bool basic = chosen->scheme == "basic";
  Ref<URLCredential> proposed;
  if (url->hasUser()) proposed = URLCredential::credentialWithUser(url->user(), url->password());

  s.challengeResponse = response;
  s.challengeMethod = chosen->scheme;
  if (proposed && basic && !s.triedURLCredential && !s.request->valueForHTTPHeaderField("Authorization")) {
    s.triedURLCredential = true;
    return retryWithCredential(*proposed, spaceKey);
  }
  if (!s.delegate || !s.delegate->canAuthenticateAgainstProtectionSpace(*this, *space)) {
    if (!s.alive()) return;
    s.challengeResponse = nullptr;
    return deliverHTTPResponse(response);
  }
  if (!s.alive()) return;
  auto challenge = make<URLAuthenticationChallenge>(space, proposed, s.attempts[spaceKey], response, this);
  s.pendingChallenge = challenge;
  // The time-out does not run while the delegate decides.
  if (s.timer) s.timer->invalidate();
  s.timer = nullptr;
  s.delegate->didReceiveAuthenticationChallenge(*this, *challenge);
}

void URLConnection::retryWithCredential(const URLCredential& credential, const std::string& spaceKey) {
  State& s = *s_;
  ++s.attempts[spaceKey];
  s.authorization = basicAuthorization(credential.user(), credential.password());
  s.authorizationOrigin = originOf(*s.request->url());
  s.challengeResponse = nullptr;
  startHTTP();
}

void URLConnection::answer(URLAuthenticationChallenge& challenge, Answer kind, Ref<URLCredential> credential) {
  if (!s_->loop) return;
  // Only the address is kept: handleAnswer acts when it is the pending challenge, which it holds.
  Ref<URLConnection> keep(this);
  const void* id = &challenge;
  s_->loop->perform([keep, id, kind, credential] { keep->handleAnswer(id, kind, credential); }, false, {s_->mode});
}

void URLConnection::handleAnswer(const void* id, Answer kind, Ref<URLCredential> credential) {
  State& s = *s_;
  if (!s.alive() || !s.pendingChallenge || s.pendingChallenge.get() != id) return;
  Ref<URLAuthenticationChallenge> held = std::move(s.pendingChallenge);
  URLAuthenticationChallenge& challenge = *held;
  Ref<HTTPURLResponse> response = std::move(s.challengeResponse);
  const bool basic = s.challengeMethod == "basic";
  const std::string spaceKey = challenge.protectionSpace().description();
  if (kind == Answer::Default) {
    URLCredential* proposed = challenge.proposedCredential();
    if (proposed && basic && !s.triedURLCredential) {
      s.triedURLCredential = true;
      return retryWithCredential(*proposed, spaceKey);
    }
    kind = Answer::ContinueWithout;
  }
  if (kind == Answer::Cancel) return failWithCode(URLError::kUserCancelledAuthentication);
  if (kind == Answer::UseCredential && credential && basic) return retryWithCredential(*credential, spaceKey);
  // Without credentials (or with ones for a scheme only Basic is answered with), the 401 is the answer.
  armTimer();
  deliverHTTPResponse(response);
  if (!s.alive()) return;
  const uint64_t exchange = s.exchange;
  readAvailable();
  if (s.alive() && exchange == s.exchange && s.streamEnded) completeHTTP();
}

void URLConnection::useCredential(URLCredential& credential, URLAuthenticationChallenge& challenge) {
  answer(challenge, Answer::UseCredential,
         URLCredential::credentialWithUser(credential.user(), credential.password(), credential.persistence()));
}

void URLConnection::continueWithoutCredentialForAuthenticationChallenge(URLAuthenticationChallenge& challenge) {
  answer(challenge, Answer::ContinueWithout, nullptr);
}

void URLConnection::cancelAuthenticationChallenge(URLAuthenticationChallenge& challenge) {
  answer(challenge, Answer::Cancel, nullptr);
}

void URLConnection::performDefaultHandlingForAuthenticationChallenge(URLAuthenticationChallenge& challenge) {
  answer(challenge, Answer::Default, nullptr);
}

// ---- Time-out

void URLConnection::armTimer() {
  State& s = *s_;
  s.lastActivity = Clock::now();
  if (s.timer) return;
  scheduleTimer(s.request->timeoutInterval());
}

void URLConnection::scheduleTimer(double seconds) {
  State& s = *s_;
  WeakRef<URLConnection> weak(this);
  s.timer = Timer::timer(seconds, false, [weak](Timer&) {
    if (Ref<URLConnection> c = weak.lock()) c->timerFired();
  });
  s.loop->addTimer(s.timer.get(), s.mode);
}

void URLConnection::timerFired() {
  State& s = *s_;
  s.timer = nullptr;
  if (!s.alive() || s.pendingChallenge || !s.stream) return;
  const double now = Clock::now();
  const uint64_t written = s.stream->requestBytesWritten();
  if (written != s.lastWritten) {
    s.lastWritten = written;
    s.lastActivity = now;
  }
  const double due = s.lastActivity + s.request->timeoutInterval();
  if (due > now + Timer::kTolerance) return scheduleTimer(due - now);
  failWithCode(URLError::kTimedOut);
}

// ---- Synchronous loading

namespace {

std::atomic<uint64_t> gMaximumSynchronousDataLength{URLConnection::kDefaultMaximumSynchronousDataLength};

class SynchronousDelegate : public URLConnectionDelegate {
 public:
  void didReceiveResponse(URLConnection&, URLResponse& r) override {
    response = Ref<URLResponse>(&r);
    data = MutableData::data();
  }
  void didReceiveData(URLConnection& connection, Data& d) override {
    const uint64_t bound = URLConnection::maximumSynchronousDataLength();
    bool refused = data->length() + d.length() > bound;
    if (!refused) {
      try {
        data->appendData(d);
      } catch (const std::bad_alloc&) {
        refused = true;
      }
    }
    if (!refused) return;
    // A body (or gzip bomb) larger than memory is refused with a clear error, not an abort.
    URL* url = connection.currentRequest() ? connection.currentRequest()->url() : nullptr;
    connection.cancel();
    data = MutableData::data();
    error = URLError::make(
        URLError::kDataLengthExceedsMaximum, url,
        format("The response body is too large to be held in memory (more than %llu bytes)",
               static_cast<unsigned long long>(bound)));
    end();
  }
  void didFinishLoading(URLConnection&) override { end(); }
  void didFailWithError(URLConnection&, Error& e) override {
    error = Ref<Error>(&e);
    end();
  }
  void end() {
    done = true;
    RunLoop::current().stop();
  }

  Ref<URLResponse> response;
  Ref<MutableData> data = MutableData::data();
  Ref<Error> error;
  bool done = false;
};

}  // namespace

uint64_t URLConnection::maximumSynchronousDataLength() { return gMaximumSynchronousDataLength.load(); }

void URLConnection::setMaximumSynchronousDataLength(uint64_t length) { gMaximumSynchronousDataLength.store(length); }

Ref<Data> URLConnection::sendSynchronousRequest(const URLRequest& request, Ref<URLResponse>* response,
                                                Ref<Error>* error) {
  return sendSynchronousRequest(request, response, error, [](URLConnection& connection, const std::function<bool()>& done) {
    RunLoop& loop = RunLoop::current();
    connection.scheduleInRunLoop(loop, kSynchronousRunLoopMode);
    connection.start();
    while (!done()) loop.runMode(kSynchronousRunLoopMode, RunLoop::kDistantFuture);
  });
}

Ref<Data> URLConnection::sendSynchronousRequest(const URLRequest& request, Ref<URLResponse>* response,
                                                Ref<Error>* error, const SynchronousRunner& run) {
  SynchronousDelegate delegate;
  Ref<URLConnection> connection(new URLConnection(request, &delegate, false));
  run(*connection, [&delegate] { return delegate.done; });
  if (response) *response = delegate.response;
  if (error) *error = delegate.error;
  if (delegate.error) return nullptr;
  return delegate.data;
}

}  // namespace kit
