// The request engine's sending side: body, headers, cookies, opening the read stream and the
// pool of persistent connections.

#include <sys/utsname.h>

#include <cstdlib>
#include <vector>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "http/HttpDataCompressor.h"
#include "http/HttpInputStream.h"
#include "http/HttpRequest.h"
#include "http/HttpRequestShared.h"
#include "kit/foundation/Bundle.h"
#include "kit/foundation/Clock.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Format.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/String.h"
#include "kit/foundation/Timer.h"
#include "kit/net/HTTPCookieStorage.h"
#include "kit/net/TLSIdentity.h"

namespace tolva {

using kit::Data;
using kit::Error;
using kit::Ref;
using kit::RunLoop;

namespace {

constexpr size_t kPostFileCopyChunk = 262144;

Ref<Error> fileAttributesError(const std::string& path, Ref<Error> underlying) {
  return Error::errorWithDescription(kHttpRequestErrorDomain, kFileManagementError,
                                     kit::format("Failed to get attributes for file at path '%@'", path),
                                     std::move(underlying));
}

Ref<Error> buildError(const char* text) {
  return Error::errorWithDescription(kHttpRequestErrorDomain, kInternalErrorWhileBuildingRequestType, text);
}

int portOf(const kit::URL* url) { return url && url->port() ? *url->port() : 0; }

}  // namespace

// ---- Body

void HttpRequest::addRequestHeader(const std::string& header, const std::string& value) {
  Ref<kit::MutableDictionary> headers = requestHeaders();
  if (!headers) {
    headers = kit::MutableDictionary::dictionary();
    setRequestHeaders(headers);
  }
  headers->setObject(kit::str(value), header);
}

void HttpRequest::setupPostBody() {
  if (shouldStreamPostDataFromDisk()) {
    if (postBodyFilePath().empty()) {
      setPostBodyFilePath(HttpRequestShared::temporaryPath());
      setDidCreateTemporaryPostDataFile(true);
    }
    if (!postBodyWriteStream()) {
      Ref<kit::FileHandle> out = kit::FileHandle::fileHandleForAppending(postBodyFilePath());
      if (out) out->truncate(0);
      setPostBodyWriteStream(out);
    }
  } else if (!postBody()) {
    setPostBody(kit::MutableData::data());
  }
}

void HttpRequest::appendPostData(const Data* data) {
  setupPostBody();
  if (!data || data->length() == 0) return;
  if (shouldStreamPostDataFromDisk()) {
    if (Ref<kit::FileHandle> out = postBodyWriteStream()) out->write(data->view());
  } else {
    postBody()->appendData(*data);
  }
}

void HttpRequest::appendPostDataFromFile(const std::string& file) {
  setupPostBody();
  Ref<kit::InputStream> in = kit::InputStream::inputStreamWithFileAtPath(file);
  if (!in->open()) return;
  std::vector<uint8_t> chunk(kPostFileCopyChunk);
  while (true) {
    const long n = in->read(chunk.data(), chunk.size());
    if (n <= 0) break;
    Ref<Data> piece = Data::dataWithBytes(chunk.data(), static_cast<size_t>(n));
    if (shouldStreamPostDataFromDisk()) {
      if (Ref<kit::FileHandle> out = postBodyWriteStream()) out->write(piece->view());
    } else {
      postBody()->appendData(*piece);
    }
  }
  in->close();
}

void HttpRequest::buildPostBody() {
  if (haveBuiltPostBody()) return;
  setHaveBuiltPostBody(true);

  if (!postBodyFilePath().empty()) {
    if (Ref<kit::FileHandle> out = postBodyWriteStream()) {
      out->close();
      setPostBodyWriteStream(nullptr);
    }
    std::string measured = postBodyFilePath();
    if (shouldCompressRequestBody()) {
      if (compressedPostBodyFilePath().empty()) {
        setCompressedPostBodyFilePath(HttpRequestShared::temporaryPath());
        Ref<Error> e;
        if (!HttpDataCompressor::compressDataFromFile(postBodyFilePath(), compressedPostBodyFilePath(), &e)) {
          failWithError(e);
          return;
        }
      }
      measured = compressedPostBodyFilePath();
    }
    Ref<Error> e;
    std::optional<uint64_t> size = kit::FileManager::fileSize(measured, &e);
    if (!size) {
      failWithError(fileAttributesError(measured, e));
      return;
    }
    setPostLength(*size);
  } else {
    Ref<kit::MutableData> body = postBody();
    if (shouldCompressRequestBody() && body && body->length()) {
      Ref<Error> e;
      Ref<Data> compressed = HttpDataCompressor::compressData(body, &e);
      if (!compressed) {
        failWithError(e);
        return;
      }
      setCompressedPostBody(compressed);
      setPostLength(compressed->length());
    } else {
      setPostLength(body ? body->length() : 0);
    }
  }

  if (postLength() > 0) {
    const std::string method = requestMethod();
    if (method == "GET" || method == "DELETE" || method == "HEAD") setRequestMethod("POST");
    addRequestHeader("Content-Length", kit::format("%llu", postLength()));
  }
}

// ---- Headers

void HttpRequest::buildRequestHeaders() {
  if (haveBuiltRequestHeaders()) return;
  setHaveBuiltRequestHeaders(true);

  if (mainRequest_) {
    if (Ref<kit::MutableDictionary> main = mainRequest_->requestHeaders()) {
      main->enumerate([this](kit::Object* key, kit::Object* value, bool&) {
        addRequestHeader(key->description(), value->description());
      });
    }
    return;
  }

  applyCookieHeader();

  Ref<kit::MutableDictionary> headers = requestHeaders();
  if (!headers || !headers->objectForKey("User-Agent")) {
    const std::string agent = defaultUserAgentString();
    if (!agent.empty()) addRequestHeader("User-Agent", agent);
  }
  if (allowCompressedResponse()) addRequestHeader("Accept-Encoding", "gzip");
  // The label is for a body; a request without one (a POST redirected as a GET) is not labelled.
  if (shouldCompressRequestBody() && postLength() > 0) addRequestHeader("Content-Encoding", "gzip");
  updatePartialDownloadSize();
  if (error()) return;
  if (partialDownloadSize() != 0) addRequestHeader("Range", kit::format("bytes=%llu-", partialDownloadSize()));
}

void HttpRequest::applyCookieHeader() {
  Ref<kit::URL> target = url();
  Ref<kit::MutableArray> cookies = requestCookies();
  if (!cookies) {
    cookies = kit::MutableArray::array();
    setRequestCookies(cookies);
  }
  if (useCookiePersistence() && target) {
    for (const Ref<kit::HTTPCookie>& c : kit::HTTPCookieStorage::sharedHTTPCookieStorage().cookiesForURL(*target)) {
      cookies->addObject(c);
    }
  }
  Ref<kit::MutableArray> sent = mainRequest_ ? mainRequest_->requestCookies() : cookies;
  if (!sent || sent->count() == 0) return;
  // Appended in place: a header of many cookies costs its length, not its length squared.
  std::vector<Ref<kit::HTTPCookie>> list;
  list.reserve(sent->count());
  for (kit::Object* o : *sent) {
    if (auto* c = dynamic_cast<kit::HTTPCookie*>(o)) list.emplace_back(c);
  }
  const std::string header = kit::HTTPCookie::cookieHeaderValue(list);
  if (!header.empty()) addRequestHeader("Cookie", header);
}

void HttpRequest::updatePartialDownloadSize() {
  const std::string temp = temporaryFileDownloadPath();
  if (!allowResumeForFileDownloads() || downloadDestinationPath().empty() || temp.empty() ||
      !kit::FileManager::fileExists(temp)) {
    return;
  }
  Ref<Error> e;
  std::optional<uint64_t> size = kit::FileManager::fileSize(temp, &e);
  if (!size) {
    failWithError(fileAttributesError(temp, e));
    return;
  }
  setPartialDownloadSize(*size);
}

namespace {

std::string bundleString(kit::Bundle& bundle, const char* key) {
  kit::Object* o = bundle.objectForInfoDictionaryKey(key);
  auto* s = dynamic_cast<kit::String*>(o);
  return s ? s->str() : std::string();
}

// "en_US" from the process's locale settings.
std::string currentLocaleIdentifier() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(var);
    if (!v || !*v) continue;
    std::string s(v);
    s = s.substr(0, s.find_first_of(".@"));
    if (s == "C" || s == "POSIX") break;
    return s;
  }
  return "en_US";
}

}  // namespace

std::string HttpRequest::defaultUserAgentString() {
  // Worked out once per main bundle: it cannot change while the process runs.
  static std::mutex mutex;
  static std::string cachedFor, cached;
  Ref<kit::Bundle> bundle = kit::Bundle::mainBundle();
  if (!bundle) return {};
  std::lock_guard<std::mutex> g(mutex);
  if (cachedFor != bundle->bundlePath() || cached.empty()) {
    cached = userAgentForBundle(bundle);
    cachedFor = bundle->bundlePath();
  }
  return cached;
}

std::string HttpRequest::userAgentForBundle(kit::Bundle* bundle) {
  std::string name = bundleString(*bundle, kit::Bundle::kDisplayNameKey);
  if (name.empty()) name = bundleString(*bundle, kit::Bundle::kNameKey);
  if (name.empty()) return {};
  const std::string shortVersion = bundleString(*bundle, kit::Bundle::kShortVersionKey);
  const std::string build = bundleString(*bundle, kit::Bundle::kVersionKey);
  std::string version = shortVersion.empty() ? build : shortVersion;
  if (!shortVersion.empty() && !build.empty() && build != shortVersion) {
    version = kit::format("%@ rv:%@", shortVersion, build);
  }
  utsname u{};
  std::string model = "PC", systemName = "Linux", systemVersion;
  if (uname(&u) == 0) {
    model = u.machine;
    systemName = u.sysname;
    systemVersion = u.release;
  }
  return kit::format("%@ %@ (%@; %@ %@; %@)", name, version, model, systemName, systemVersion,
                     currentLocaleIdentifier());
}

std::string HttpRequest::mimeTypeForFileAtPath(const std::string& path) {
  if (!kit::FileManager::fileExists(path)) return {};
  static const std::map<std::string, std::string> types = [] {
    std::map<std::string, std::string> m{
        {"html", "text/html"},       {"htm", "text/html"},         {"txt", "text/plain"},
        {"css", "text/css"},         {"js", "text/javascript"},    {"json", "application/json"},
        {"xml", "application/xml"},  {"png", "image/png"},         {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},      {"gif", "image/gif"},         {"pdf", "application/pdf"},
        {"zip", "application/zip"},  {"gz", "application/gzip"},   {"plist", "application/x-plist"},
        {"mp3", "audio/mpeg"},       {"mp4", "video/mp4"},         {"svg", "image/svg+xml"},
    };
    // The system's table, where there is one, has the last word.
    std::ifstream in("/etc/mime.types");
    std::string line;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      std::istringstream words(line);
      std::string type, ext;
      if (!(words >> type)) continue;
      while (words >> ext) m[ext] = type;
    }
    return m;
  }();
  const size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return "application/octet-stream";
  std::string ext = name.substr(dot + 1);
  for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  auto it = types.find(ext);
  return it == types.end() ? "application/octet-stream" : it->second;
}

// ---- The stream

void HttpRequest::startRequest() {
  if (isCancelled()) return;
  Ref<HttpRequest> self(this);
  HttpRequestShared& shared = HttpRequestShared::get();

  requestStarted();

  setDownloadComplete(false);
  setComplete(false);
  setTotalBytesRead(0);
  setLastBytesRead(0);
  if (redirectCount() == 0) setOriginalURL(url());
  if (lastBytesSent() != 0) removeUploadProgressSoFar();
  setLastBytesSent(0);
  setContentLength(0);
  setResponseHeaders(nullptr);
  // Each attempt judges its own response: reuse, files and inflation start afresh.
  setConnectionCanBeReused(false);
  if (auto out = fileDownloadOutputStream()) out->close();
  if (auto out = inflatedFileDownloadOutputStream()) out->close();
  setFileDownloadOutputStream(nullptr);
  setInflatedFileDownloadOutputStream(nullptr);
  setDataDecompressor(nullptr);
  writesDownloadFile_ = false;
  downloadFileOpened_ = false;
  rangeLength_ = 0;
  storeProperty(inflatedResponseData_, Ref<kit::Data>());
  keepsUnstoredBody_ = false;
  passedBodyOn_ = false;
  readsIntoMemory_ = false;
  if (downloadDestinationPath().empty()) setRawResponseData(kit::MutableData::data());
  else setRawResponseData(nullptr);
  setReadStreamIsScheduled(false);

  Ref<kit::InputStream> body;
  const std::string bodyFile = postBodyFilePath();
  if (shouldStreamPostDataFromDisk() && !bodyFile.empty() && kit::FileManager::fileExists(bodyFile)) {
    const std::string compressed = compressedPostBodyFilePath();
    if (!compressed.empty() && kit::FileManager::fileExists(compressed)) {
      body = HttpInputStream::inputStreamWithFileAtPath(compressed, this);
    } else {
      body = HttpInputStream::inputStreamWithFileAtPath(bodyFile, this);
    }
  } else if (Ref<kit::MutableData> data = postBody(); data && data->length()) {
    Ref<Data> compressed = compressedPostBody();
    if (shouldCompressRequestBody() && compressed) {
      body = HttpInputStream::inputStreamWithData(compressed, this);
    } else {
      body = HttpInputStream::inputStreamWithData(data, this);
    }
  }
  setPostBodyReadStream(body);

  Ref<kit::HTTPReadStream> stream = request_ ? kit::HTTPReadStream::streamWithRequest(request_, body) : nullptr;
  setReadStream(stream);
  if (!stream) {
    failWithError(buildError("Unable to create read stream"));
    return;
  }

  // Certificates are checked unless this request alone said otherwise; an identity it carries is
  // offered to servers that ask for a client certificate.
  stream->setValidatesSecureCertificate(validatesSecureCertificate());
  if (auto* identity = dynamic_cast<kit::TLSIdentity*>(clientCertificateIdentity().get())) {
    // The extra certificates (kit::Data, PEM or DER) follow the identity's own.
    std::vector<std::string> chain;
    if (Ref<kit::Array> certificates = clientCertificates()) {
      for (kit::Object* element : *certificates)
        if (auto* data = dynamic_cast<kit::Data*>(element)) chain.push_back(data->toString());
    }
    stream->setClientIdentity(Ref<kit::TLSIdentity>(identity), std::move(chain));
  }
  const std::string host = proxyHost();
  if (!host.empty() && proxyPort() != 0) {
    if (proxyType().empty()) setProxyType(kProxyTypeHTTP);
    Ref<kit::URL> target = url();
    if (proxyType() == kProxyTypeSOCKS) {
      stream->setSOCKSProxy(host, proxyPort());
    } else if (target && target->lowercaseScheme() == "https") {
      stream->setHTTPSProxy(host, proxyPort());
    } else {
      stream->setHTTPProxy(host, proxyPort());
    }
  }

  Ref<kit::HTTPReadStream> oldStream;
  {
    // The URL is read first: the request's own lock is never taken under the connection lock.
    Ref<kit::URL> target = url();
    std::lock_guard<std::recursive_mutex> g(shared.connectionLock);
    applyPersistentConnection(stream, target, &oldStream);
  }

  // While the throttle holds streams back it attaches this one once the wake-up time has passed.
  if (!readStreamIsScheduled() && !isThrottleWakeUpPending()) scheduleReadStream();

  registerStreamClient(stream);
  if (!stream->open()) {
    if (oldStream && oldStream != stream) oldStream->close();
    setConnectionCanBeReused(false);
    destroyReadStream();
    failWithError(buildError("Unable to start HTTP connection"));
    return;
  }
  if (oldStream && oldStream != stream) oldStream->close();

  if (!mainRequest_) {
    if (shouldResetUploadProgress()) {
      incrementUploadSizeBy(showAccurateProgress() ? static_cast<int64_t>(postLength()) : 1);
    }
    // A restarted request's bars do not keep the old attempt's position.
    resetProgressFractions(shouldResetUploadProgress(), shouldResetDownloadProgress() && partialDownloadSize() == 0);
  }
  setLastActivityTime(kit::Date::date());
  kit::WeakRef<HttpRequest> weak(this);
  Ref<kit::Timer> timer = kit::Timer::timer(0.25, true, [weak](kit::Timer&) {
    Ref<HttpRequest> r = weak.lock();
    if (!r) return;
    try {
      r->updateStatus();
    } catch (...) {
      std::lock_guard<std::recursive_mutex> g(r->cancelledLock());
      r->failWithUnhandledException();
    }
  });
  RunLoop::current().addTimer(timer, runLoopMode());
  setStatusTimer(timer);
}

void HttpRequest::applyPersistentConnection(const Ref<kit::HTTPReadStream>& stream, const Ref<kit::URL>& target,
                                            Ref<kit::HTTPReadStream>* oldStream) {
  HttpRequestShared& shared = HttpRequestShared::get();
  expirePersistentConnections();
  if (!target || target->host().empty() || target->scheme().empty()) {
    setConnectionInfo(nullptr);
    setShouldAttemptPersistentConnection(false);
  }
  if (!shouldAttemptPersistentConnection()) return;

  const std::string host = target->host();
  const std::string scheme = target->scheme();
  const int port = portOf(target);
  auto sameDestination = [&](kit::Dictionary* record) {
    auto* h = record->get<kit::String>("host");
    auto* s = record->get<kit::String>("scheme");
    auto* p = record->get<kit::Number>("port");
    return h && s && p && h->str() == host && s->str() == scheme && p->intValue() == port;
  };
  const double now = kit::Clock::now();

  Ref<kit::MutableDictionary> record = connectionInfo();
  if (record) {
    auto* expires = record->get<kit::Date>("expires");
    const bool expired = expires && expires->timeIntervalSinceReferenceDate() < now;
    // A record given up while this request waited (for a login, say) may have been taken by
    // another request since: its stream is that request's live one, never ours to close.
    auto* holder = record->get<kit::Number>("request");
    const bool takenByAnother =
        holder && (!requestID() || holder->longLongValue() != requestID()->longLongValue());
    if (takenByAnother) {
      record = nullptr;
    } else if (sameDestination(record) && !expired) {
      // Kept.
    } else {
      if (sameDestination(record) && expired) {
        shared.removeConnectionRecord(record.get());
        if (auto* s = record->get<kit::HTTPReadStream>("stream")) s->close();
      }
      record = nullptr;
    }
  }
  if (!record) {
    for (size_t i = shared.persistentConnectionsPool->count(); i-- > 0;) {
      auto* candidate = shared.persistentConnectionsPool->get<kit::MutableDictionary>(i);
      if (candidate && !candidate->objectForKey("request") && sameDestination(candidate)) {
        record = candidate;
        break;
      }
    }
  }
  if (record) {
    if (auto* s = record->get<kit::HTTPReadStream>("stream")) *oldStream = s;
  } else {
    record = kit::MutableDictionary::dictionary();
    record->setObject(kit::Number::numberWithLong(++shared.nextConnectionNumberToCreate), "id");
    record->setObject(kit::str(host), "host");
    record->setObject(kit::num(port), "port");
    record->setObject(kit::str(scheme), "scheme");
    shared.persistentConnectionsPool->addObject(record);
  }
  if (!requestID()) setRequestID(kit::Number::numberWithLong(++shared.nextRequestID));
  record->setObject(requestID(), "request");
  record->setObject(stream, "stream");
  record->removeObjectForKey("expires");
  setConnectionInfo(record);
  stream->setShouldAttemptPersistentConnection(true);
  stream->setStreamID(record->get<kit::Number>("id")->longLongValue());
}

void HttpRequest::registerStreamClient(const Ref<kit::HTTPReadStream>& stream) {
  kit::WeakRef<HttpRequest> weak(this);
  stream->setClient(kit::InputStream::kEventHasBytesAvailable | kit::InputStream::kEventErrorOccurred |
                        kit::InputStream::kEventEndEncountered,
                    [weak](kit::InputStream& from, kit::InputStream::Event event) {
                      // An event of an attempt given up (a challenge answered on a new
                      // connection) must not end the attempt that replaced it.
                      Ref<HttpRequest> r = weak.lock();
                      if (r && r->readStream().get() == &from) r->handleNetworkEvent(event);
                    });
}

void HttpRequest::setStatusTimer(Ref<kit::Timer> timer) {
  Ref<HttpRequest> self(this);
  Ref<kit::Timer> old = statusTimer();
  if (old && old != timer) old->invalidate();
  setStatusTimerField(std::move(timer));
}

void HttpRequest::updateStatus() {
  checkRequestStatus();
  if (!inProgress()) setStatusTimer(nullptr);
}

void HttpRequest::scheduleReadStream() {
  Ref<kit::HTTPReadStream> stream = readStream();
  if (!stream || readStreamIsScheduled()) return;
  HttpRequestShared& shared = HttpRequestShared::get();
  {
    std::lock_guard<std::recursive_mutex> g(shared.connectionLock);
    // The indicator only needs telling when it is not showing already.
    ++shared.runningRequestCount;
    if (shared.shouldUpdateNetworkActivityIndicator && !shared.networkActivityIndicatorShown) {
      shared.networkActivityIndicatorShown = true;
      showNetworkActivityIndicator();
    }
  }
  setLastActivityTime(kit::Date::date());
  registerStreamClient(stream);
  stream->scheduleInRunLoop(RunLoop::current(), runLoopMode());
  setReadStreamIsScheduled(true);
}

void HttpRequest::unscheduleReadStream() {
  Ref<kit::HTTPReadStream> stream = readStream();
  if (!stream || !readStreamIsScheduled()) return;
  HttpRequestShared& shared = HttpRequestShared::get();
  {
    std::lock_guard<std::recursive_mutex> g(shared.connectionLock);
    --shared.runningRequestCount;
    if (shared.runningRequestCount == 0 && shared.shouldUpdateNetworkActivityIndicator &&
        !shared.networkActivityIndicatorHidePending) {
      shared.networkActivityIndicatorHidePending = true;
      performOnMainThread([] { hideNetworkActivityIndicatorAfterDelay(); });
    }
  }
  stream->setClient(0, nullptr);
  stream->unscheduleFromRunLoop(RunLoop::current(), runLoopMode());
  setReadStreamIsScheduled(false);
}

void HttpRequest::destroyReadStream() {
  Ref<kit::HTTPReadStream> stream = readStream();
  if (!stream) return;
  unscheduleReadStream();
  // A reusable stream stays open in its pool record, holding the kept-alive connection.
  if (!connectionCanBeReused()) {
    stream->setClient(0, nullptr);
    stream->close();
  }
  setReadStream(nullptr);
}

void HttpRequest::expirePersistentConnections() {
  HttpRequestShared& shared = HttpRequestShared::get();
  std::lock_guard<std::recursive_mutex> g(shared.connectionLock);
  const double now = kit::Clock::now();
  for (size_t i = shared.persistentConnectionsPool->count(); i-- > 0;) {
    auto* record = shared.persistentConnectionsPool->get<kit::MutableDictionary>(i);
    if (!record || record->objectForKey("request")) continue;
    auto* expires = record->get<kit::Date>("expires");
    if (expires && expires->timeIntervalSinceReferenceDate() > now) continue;
    if (auto* s = record->get<kit::HTTPReadStream>("stream")) s->close();
    shared.persistentConnectionsPool->removeObjectAtIndex(i);
  }
}

std::vector<Ref<kit::Dictionary>> HttpRequest::persistentConnections() {
  HttpRequestShared& shared = HttpRequestShared::get();
  std::lock_guard<std::recursive_mutex> g(shared.connectionLock);
  std::vector<Ref<kit::Dictionary>> out;
  for (kit::Object* o : *shared.persistentConnectionsPool) {
    if (auto* d = dynamic_cast<kit::Dictionary*>(o)) out.push_back(kit::cast<kit::Dictionary>(d->copy()));
  }
  return out;
}

Ref<kit::Number> HttpRequest::connectionID() const {
  HttpRequestShared& shared = HttpRequestShared::get();
  std::lock_guard<std::recursive_mutex> g(shared.connectionLock);
  Ref<kit::MutableDictionary> record = connectionInfo();
  return record ? Ref<kit::Number>(record->get<kit::Number>("id")) : nullptr;
}

Ref<HttpRequest> HttpRequest::HEADRequest() {
  Ref<HttpRequest> r = newRequestOfThisClass(url());
  r->setMainRequest(this);
  r->setRequestMethod("HEAD");
  copyConnectionSetupTo(*r);
  return r;
}

// ---- Session cookies

Ref<kit::MutableArray> HttpRequest::sessionCookies() {
  HttpRequestShared& shared = HttpRequestShared::get();
  std::lock_guard<std::recursive_mutex> g(shared.sessionCookiesLock);
  if (!shared.sessionCookies) shared.sessionCookies = kit::MutableArray::array();
  return shared.sessionCookies;
}

void HttpRequest::setSessionCookies(Ref<kit::MutableArray> cookies) {
  HttpRequestShared& shared = HttpRequestShared::get();
  std::lock_guard<std::recursive_mutex> g(shared.sessionCookiesLock);
  for (kit::Object* o : *sessionCookies()) {
    if (auto* c = dynamic_cast<kit::HTTPCookie*>(o)) kit::HTTPCookieStorage::sharedHTTPCookieStorage().deleteCookie(*c);
  }
  shared.sessionCookies = std::move(cookies);
}

void HttpRequest::addSessionCookie(Ref<kit::HTTPCookie> cookie) {
  if (!cookie) return;
  HttpRequestShared& shared = HttpRequestShared::get();
  std::lock_guard<std::recursive_mutex> g(shared.sessionCookiesLock);
  Ref<kit::MutableArray> cookies = sessionCookies();
  for (size_t i = 0; i < cookies->count(); ++i) {
    auto* c = cookies->get<kit::HTTPCookie>(i);
    if (c && c->domain() == cookie->domain() && c->path() == cookie->path() && c->name() == cookie->name()) {
      cookies->removeObjectAtIndex(i);
      break;
    }
  }
  cookies->addObject(cookie);
}

void HttpRequest::clearSession() {
  HttpRequestShared& shared = HttpRequestShared::get();
  {
    std::lock_guard<std::recursive_mutex> g(shared.sessionCredentialsLock);
    // Proxy logins outlive a session: the proxy is the network's, not the site's.
    sessionCredentialsStore()->removeAllObjects();
  }
  setSessionCookies(nullptr);
  if (Ref<HttpCacheDelegate> cache = defaultCache()) cache->clearCachedResponsesForStoragePolicy(CacheStorageSession);
}

}  // namespace tolva
