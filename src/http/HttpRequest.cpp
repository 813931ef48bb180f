#include "http/HttpRequest.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <random>

#include "http/HttpRequestShared.h"
#include "kit/foundation/Exception.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Format.h"
#include "kit/foundation/OperationQueue.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/RunLoopSource.h"
#include "kit/foundation/String.h"
#include "kit/foundation/Thread.h"
#include "kit/foundation/Timer.h"
#include "kit/security/Base64.h"
#include "kit/security/UUID.h"

namespace tolva {

using kit::Data;
using kit::Error;
using kit::Ref;
using kit::RunLoop;

// ---- Class-wide state

HttpRequestShared& HttpRequestShared::get() {
  static HttpRequestShared* shared = new HttpRequestShared();
  return *shared;
}

HttpRequestShared::HttpRequestShared() {
  queue = kit::make<kit::OperationQueue>();
  queue->setMaxConcurrentOperationCount(4);
  queue->setName("HttpRequest");
  persistentConnectionsPool = kit::MutableArray::array();
  auto shared = [](long code, const char* text) {
    return Error::errorWithDescription(kHttpRequestErrorDomain, code, text);
  };
  requestTimedOutError = shared(kRequestTimedOutErrorType, "The request timed out");
  authenticationError = shared(kAuthenticationErrorType, "Authentication needed");
  requestCancelledError = shared(kRequestCancelledErrorType, "The request was cancelled");
  unableToCreateRequestError = shared(kUnableToCreateRequestErrorType, "Unable to create request (bad url?)");
  tooMuchRedirectionError =
      shared(kTooMuchRedirectionErrorType, "The request failed because it redirected too many times");
}

void HttpRequestShared::removeConnectionRecord(const kit::Object* record) {
  const size_t i = persistentConnectionsPool->indexOfObjectIdenticalTo(record);
  if (i != kit::Array::kNotFound) persistentConnectionsPool->removeObjectAtIndex(i);
}

namespace {

std::mutex& temporaryMutex() {
  static std::mutex mutex;
  return mutex;
}

// A random (version 4) identifier from the system's generator: the network thread never
// touches the TLS library's per-thread random state for a file name. Under temporaryMutex.
std::string uniqueName() {
  static std::random_device device;
  kit::UUID::Bytes bytes;
  for (size_t i = 0; i < bytes.size(); i += 4) {
    const uint32_t v = device();
    std::memcpy(bytes.data() + i, &v, 4);
  }
  bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0f) | 0x40);
  bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3f) | 0x80);
  return kit::UUID(bytes).string();
}

constexpr const char* kProcessFolderPrefix = "requests-";
constexpr const char* kProcessLockName = ".lock";

// Removes the folders of the engine's files that processes which ended without cleaning up (a
// kill, a crash) left behind: a folder whose lock nobody holds. A folder still being made (no
// lock file yet) is left alone unless it is old.
void sweepEndedProcessFolders(const std::string& root, const std::string& mine) {
  auto names = kit::FileManager::contentsOfDirectory(root);
  if (!names) return;
  for (const std::string& name : *names) {
    if (name.rfind(kProcessFolderPrefix, 0) != 0) continue;
    const std::string folder = root + "/" + name;
    if (folder == mine) continue;
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) continue;
    const int fd = ::open((folder + "/" + kProcessLockName).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    bool ended = false;
    if (fd >= 0) {
      ended = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
      ::close(fd);
    } else {
      ended = errno == ENOENT && ::time(nullptr) - st.st_mtime > 3600;
    }
    if (ended) kit::FileManager::removeItem(folder);
  }
}

// This process's folder of the engine's files under the temporary folder, made (and the
// folders of ended processes swept) on first use. It stays locked while the process lives.
std::string processFolder() {
  static std::map<std::string, std::string> folders;  // by temporary folder; under temporaryMutex
  const std::string root = kit::Paths::temporaryDirectory();
  if (auto it = folders.find(root); it != folders.end() && kit::FileManager::isDirectory(it->second)) {
    return it->second;
  }
  std::string folder = root + "/" + kProcessFolderPrefix + uniqueName();
  const int fd = ::mkdir(folder.c_str(), 0700) == 0
                     ? ::open((folder + "/" + kProcessLockName).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600)
                     : -1;
  // The lock lives as long as the process (the descriptor is never closed).
  if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (fd >= 0) ::close(fd);
    return root;
  }
  folders[root] = folder;
  sweepEndedProcessFolders(root, folder);
  return folder;
}

}  // namespace

std::string HttpRequestShared::temporaryPath() {
  std::lock_guard<std::mutex> g(temporaryMutex());
  return processFolder() + "/" + uniqueName();
}

kit::OperationQueue* HttpRequest::sharedQueue() { return HttpRequestShared::get().queue.get(); }

kit::Thread* HttpRequest::threadForRequest(HttpRequest*) {
  HttpRequestShared& s = HttpRequestShared::get();
  std::lock_guard<std::mutex> g(s.threadMutex);
  if (!s.networkThread) {
    s.networkThread = kit::make<kit::Thread>(
        [] {
          HttpRequestShared& shared = HttpRequestShared::get();
          // A source that never fires keeps the loop waiting when no stream is scheduled.
          Ref<kit::RunLoopSource> idle = kit::make<kit::RunLoopSource>();
          RunLoop& loop = RunLoop::current();
          loop.addSource(idle, RunLoop::kDefaultMode);
          while (!shared.networkThreadStopping.load()) {
            // Requests catch their own failures; anything else that throws here (a stream or
            // timer of no request) is dropped rather than allowed to end the process.
            try {
              loop.runMode(RunLoop::kDefaultMode, RunLoop::kDistantFuture);
            } catch (...) {
            }
          }
          loop.removeSource(idle, RunLoop::kDefaultMode);
          // The TLS library's per-thread state goes now, not at some point after the process
          // stopped waiting for this thread.
          OPENSSL_thread_stop();
          std::lock_guard<std::mutex> g(shared.threadMutex);
          shared.networkThreadEnded = true;
          shared.networkThreadEnd.notify_all();
        },
        "HttpRequest");
    s.networkThread->start();
    // The thread runs for the life of the process; at exit it is let go before the statics it
    // uses are destroyed, and before the TLS library cleans up (its own exit handler, set up
    // by initialising it first, runs after this one).
    OPENSSL_init_crypto(0, nullptr);
    std::atexit([] {
      HttpRequestShared& shared = HttpRequestShared::get();
      shared.networkThreadStopping.store(true);
      Ref<kit::Thread> thread;
      {
        std::lock_guard<std::mutex> g(shared.threadMutex);
        thread = shared.networkThread;
      }
      if (!thread || !thread->perform([] { RunLoop::current().stop(); })) return;
      std::unique_lock<std::mutex> g(shared.threadMutex);
      shared.networkThreadEnd.wait_for(g, std::chrono::seconds(2), [&] { return shared.networkThreadEnded; });
    });
  }
  return s.networkThread.get();
}

double HttpRequest::defaultTimeOutSeconds() { return HttpRequestShared::get().defaultTimeOutSeconds.load(); }
void HttpRequest::setDefaultTimeOutSeconds(double seconds) {
  HttpRequestShared::get().defaultTimeOutSeconds.store(seconds);
}

Ref<HttpCacheDelegate> HttpRequest::defaultCache() {
  HttpRequestShared& s = HttpRequestShared::get();
  std::lock_guard<std::mutex> g(s.defaultCacheMutex);
  return s.defaultCache;
}

void HttpRequest::setDefaultCache(Ref<HttpCacheDelegate> cache) {
  HttpRequestShared& s = HttpRequestShared::get();
  std::lock_guard<std::mutex> g(s.defaultCacheMutex);
  s.defaultCache = std::move(cache);
}

// Nothing here suspends the process in the background, so there are no background tasks.
bool HttpRequest::isMultitaskingSupported() { return false; }

// ---- Creating

HttpRequest::HttpRequest(Ref<kit::URL> url) {
  setRequestMethod("GET");
  setRunLoopMode(RunLoop::kDefaultMode);
  setShouldAttemptPersistentConnection(true);
  setPersistentConnectionTimeoutSeconds(60.0);
  setShouldPresentCredentialsBeforeChallenge(true);
  setShouldRedirect(true);
  setShowAccurateProgress(true);
  setShouldResetDownloadProgress(true);
  setShouldResetUploadProgress(true);
  setAllowCompressedResponse(true);
  setShouldWaitToInflateCompressedResponses(true);
  setDefaultResponseEncoding(kISOLatin1StringEncoding);
  setShouldPresentProxyAuthenticationDialog(true);
  setAllowResumeForFileDownloads(true);
  setTimeOutSeconds(defaultTimeOutSeconds());
  setUseSessionPersistence(true);
  setUseCookiePersistence(true);
  setValidatesSecureCertificate(true);
  setRequestCookies(kit::MutableArray::array());
  selectors_.didStart = HttpRequestDelegate::requestStartedSelector();
  selectors_.didReceiveResponseHeaders = HttpRequestDelegate::didReceiveResponseHeadersSelector();
  selectors_.willRedirect = HttpRequestDelegate::willRedirectSelector();
  selectors_.didFinish = HttpRequestDelegate::requestFinishedSelector();
  selectors_.didFail = HttpRequestDelegate::requestFailedSelector();
  selectors_.didReceiveData = HttpRequestDelegate::didReceiveDataSelector();
  setURL(std::move(url));
  setDownloadCache(defaultCache());
}

Ref<HttpRequest> HttpRequest::requestWithURL(Ref<kit::URL> url) { return kit::make<HttpRequest>(std::move(url)); }

Ref<HttpRequest> HttpRequest::requestWithURL(Ref<kit::URL> url, Ref<HttpCacheDelegate> cache) {
  return requestWithURL(std::move(url), std::move(cache), CachePolicyDefault);
}

Ref<HttpRequest> HttpRequest::requestWithURL(Ref<kit::URL> url, Ref<HttpCacheDelegate> cache, int policy) {
  Ref<HttpRequest> r = requestWithURL(std::move(url));
  r->setDownloadCache(std::move(cache));
  r->setCachePolicy(policy);
  return r;
}

HttpRequest::~HttpRequest() {
  destroying_ = true;
  setAuthenticationNeeded(0);
  request_ = nullptr;
  requestAuthentication_ = nullptr;
  proxyAuthentication_ = nullptr;
  clientCertificateIdentity_ = nullptr;
  cancelLoad();
  setRedirectURL(nullptr);
  if (Ref<kit::Timer> timer = statusTimer()) timer->invalidate();
  releaseBlocksOnMainThread();
}

Ref<HttpRequest> HttpRequest::newRequestOfThisClass(Ref<kit::URL> url) const { return kit::make<HttpRequest>(std::move(url)); }

Ref<HttpRequest> HttpRequest::copyRequest() const {
  Ref<HttpRequest> r = newRequestOfThisClass(url());
  copyConfigurationTo(*r);
  return r;
}

void HttpRequest::copyConfigurationTo(HttpRequest& target) const {
  HttpRequest* r = &target;
  r->setDelegate(delegate());
  r->setRequestMethod(requestMethod());
  r->setPostBody(postBody());
  r->setShouldStreamPostDataFromDisk(shouldStreamPostDataFromDisk());
  r->setPostBodyFilePath(postBodyFilePath());
  copyConnectionSetupTo(target);
  r->setDownloadDestinationPath(downloadDestinationPath());
  r->setTemporaryFileDownloadPath(temporaryFileDownloadPath());
  r->setUploadProgressDelegate(uploadProgressDelegate());
  r->setDownloadProgressDelegate(downloadProgressDelegate());
  r->setPostLength(postLength());
  r->setHaveBuiltPostBody(haveBuiltPostBody());
  r->setDidStartSelector(didStartSelector());
  r->setDidFinishSelector(didFinishSelector());
  r->setDidFailSelector(didFailSelector());
  r->setShouldResetDownloadProgress(shouldResetDownloadProgress());
  r->setShouldResetUploadProgress(shouldResetUploadProgress());
  r->setShowAccurateProgress(showAccurateProgress());
  r->setDefaultResponseEncoding(defaultResponseEncoding());
  r->setAllowResumeForFileDownloads(allowResumeForFileDownloads());
  if (auto info = userInfo()) r->setUserInfo(kit::cast<kit::Dictionary>(info->copy()));
  r->setShouldRedirect(shouldRedirect());
}

void HttpRequest::copyConnectionSetupTo(HttpRequest& target) const {
  HttpRequest* r = &target;
  if (auto h = requestHeaders()) r->setRequestHeaders(kit::cast<kit::MutableDictionary>(h->mutableCopy()));
  if (auto c = requestCookies()) r->setRequestCookies(kit::cast<kit::MutableArray>(c->mutableCopy()));
  r->setUseCookiePersistence(useCookiePersistence());
  r->setUseKeychainPersistence(useKeychainPersistence());
  r->setUseSessionPersistence(useSessionPersistence());
  r->setAllowCompressedResponse(allowCompressedResponse());
  r->setUsername(username());
  r->setPassword(password());
  r->setDomain(domain());
  r->setProxyUsername(proxyUsername());
  r->setProxyPassword(proxyPassword());
  r->setProxyDomain(proxyDomain());
  r->setProxyHost(proxyHost());
  r->setProxyPort(proxyPort());
  r->setProxyType(proxyType());
  r->setShouldPresentAuthenticationDialog(shouldPresentAuthenticationDialog());
  r->setShouldPresentProxyAuthenticationDialog(shouldPresentProxyAuthenticationDialog());
  r->setTimeOutSeconds(timeOutSeconds());
  r->setUseHTTPVersionOne(useHTTPVersionOne());
  r->setValidatesSecureCertificate(validatesSecureCertificate());
  r->setClientCertificateIdentity(clientCertificateIdentity());
  if (auto certs = clientCertificates()) r->setClientCertificates(kit::cast<kit::Array>(certs->copy()));
  r->setPACurl(PACurl());
  r->setShouldPresentCredentialsBeforeChallenge(shouldPresentCredentialsBeforeChallenge());
  r->setNumberOfTimesToRetryOnTimeout(numberOfTimesToRetryOnTimeout());
  r->setShouldUseRFC2616RedirectBehaviour(shouldUseRFC2616RedirectBehaviour());
  r->setShouldAttemptPersistentConnection(shouldAttemptPersistentConnection());
  r->setPersistentConnectionTimeoutSeconds(persistentConnectionTimeoutSeconds());
}

std::string HttpRequest::description() const {
  Ref<kit::URL> u = url();
  return kit::format("<HttpRequest %@ %@>", requestMethod(), u ? u->absoluteString() : std::string("(no URL)"));
}

// ---- Accessors with their own rules

Ref<kit::URL> HttpRequest::url() const {
  std::lock_guard<std::recursive_mutex> g(cancelledLock_);
  std::lock_guard<std::mutex> p(propertyMutex_);
  return url_;
}

void HttpRequest::setURL(Ref<kit::URL> newURL) {
  std::lock_guard<std::recursive_mutex> g(cancelledLock_);
  Ref<kit::URL> old;
  {
    std::lock_guard<std::mutex> p(propertyMutex_);
    if (kit::isEqual(url_.get(), newURL.get())) return;
    old = std::move(url_);
    url_ = std::move(newURL);
  }
  request_ = nullptr;
  requestAuthentication_ = nullptr;
  proxyAuthentication_ = nullptr;
  lastChallengeResponse_ = nullptr;
  // Credentials applied to one URL are never applied again to another by themselves.
  setRequestCredentials(nullptr);
  setRedirectURL(nullptr);
}

HttpRequestDelegate* HttpRequest::delegate() const {
  std::lock_guard<std::recursive_mutex> g(cancelledLock_);
  return delegate_;
}

void HttpRequest::setDelegate(HttpRequestDelegate* d) {
  std::lock_guard<std::recursive_mutex> g(cancelledLock_);
  delegate_ = d;
}

Ref<kit::Object> HttpRequest::queue() const {
  std::lock_guard<std::recursive_mutex> g(cancelledLock_);
  return queue_;
}

void HttpRequest::setQueue(Ref<kit::Object> q) {
  Ref<kit::Object> old;
  std::lock_guard<std::recursive_mutex> g(cancelledLock_);
  old = std::move(queue_);
  queue_ = std::move(q);
}

HttpProgressDelegate* HttpRequest::uploadProgressDelegate() const {
  std::lock_guard<std::recursive_mutex> g(cancelledLock_);
  return uploadProgressDelegate_;
}

void HttpRequest::setUploadProgressDelegate(HttpProgressDelegate* d) {
  std::lock_guard<std::recursive_mutex> g(cancelledLock_);
  uploadProgressDelegate_ = d;
}

HttpProgressDelegate* HttpRequest::downloadProgressDelegate() const {
  std::lock_guard<std::recursive_mutex> g(cancelledLock_);
  return downloadProgressDelegate_;
}

void HttpRequest::setDownloadProgressDelegate(HttpProgressDelegate* d) {
  std::lock_guard<std::recursive_mutex> g(cancelledLock_);
  downloadProgressDelegate_ = d;
}

Ref<kit::Object> HttpRequest::clientCertificateIdentity() const {
  std::lock_guard<std::mutex> p(propertyMutex_);
  return clientCertificateIdentity_;
}

void HttpRequest::setClientCertificateIdentity(Ref<kit::Object> identity) {
  storeProperty(clientCertificateIdentity_, std::move(identity));
}

#define TOLVA_HTTP_SELECTOR(getter, setter, field)             \
  HttpSelector HttpRequest::getter() const {                  \
    std::lock_guard<std::mutex> p(propertyMutex_);            \
    return selectors_.field;                                  \
  }                                                           \
  void HttpRequest::setter(HttpSelector selector) {           \
    std::lock_guard<std::mutex> p(propertyMutex_);            \
    selectors_.field = std::move(selector);                   \
  }
TOLVA_HTTP_SELECTOR(didStartSelector, setDidStartSelector, didStart)
TOLVA_HTTP_SELECTOR(didReceiveResponseHeadersSelector, setDidReceiveResponseHeadersSelector, didReceiveResponseHeaders)
TOLVA_HTTP_SELECTOR(willRedirectSelector, setWillRedirectSelector, willRedirect)
TOLVA_HTTP_SELECTOR(didFinishSelector, setDidFinishSelector, didFinish)
TOLVA_HTTP_SELECTOR(didFailSelector, setDidFailSelector, didFail)
TOLVA_HTTP_SELECTOR(didReceiveDataSelector, setDidReceiveDataSelector, didReceiveData)
#undef TOLVA_HTTP_SELECTOR

#define TOLVA_HTTP_BLOCK(setter, Type, field)                 \
  void HttpRequest::setter(Type block) {                      \
    Type old;                                                 \
    std::lock_guard<std::mutex> p(propertyMutex_);            \
    old = std::move(blocks_.field);                           \
    blocks_.field = std::move(block);                         \
  }
TOLVA_HTTP_BLOCK(setStartedBlock, Block, started)
TOLVA_HTTP_BLOCK(setHeadersReceivedBlock, HeadersBlock, headersReceived)
TOLVA_HTTP_BLOCK(setCompletionBlock, Block, completion)
TOLVA_HTTP_BLOCK(setFailedBlock, Block, failed)
TOLVA_HTTP_BLOCK(setBytesReceivedBlock, ProgressBlock, bytesReceived)
TOLVA_HTTP_BLOCK(setBytesSentBlock, ProgressBlock, bytesSent)
TOLVA_HTTP_BLOCK(setDownloadSizeIncrementedBlock, SizeBlock, downloadSizeIncremented)
TOLVA_HTTP_BLOCK(setUploadSizeIncrementedBlock, SizeBlock, uploadSizeIncremented)
TOLVA_HTTP_BLOCK(setDataReceivedBlock, DataBlock, dataReceived)
TOLVA_HTTP_BLOCK(setAuthenticationNeededBlock, Block, authenticationNeeded)
TOLVA_HTTP_BLOCK(setProxyAuthenticationNeededBlock, Block, proxyAuthenticationNeeded)
TOLVA_HTTP_BLOCK(setRequestRedirectedBlock, Block, requestRedirected)
#undef TOLVA_HTTP_BLOCK

HttpRequest::Blocks HttpRequest::blocks() const {
  std::lock_guard<std::mutex> p(propertyMutex_);
  return blocks_;
}

HttpRequest::Selectors HttpRequest::selectors() const {
  std::lock_guard<std::mutex> p(propertyMutex_);
  return selectors_;
}

void HttpRequest::releaseBlocksOnMainThread() {
  auto released = std::make_shared<Blocks>();
  {
    std::lock_guard<std::mutex> p(propertyMutex_);
    *released = std::move(blocks_);
    blocks_ = Blocks{};
  }
  const Blocks& b = *released;
  if (!b.started && !b.headersReceived && !b.completion && !b.failed && !b.bytesReceived && !b.bytesSent &&
      !b.downloadSizeIncremented && !b.uploadSizeIncremented && !b.dataReceived && !b.authenticationNeeded &&
      !b.proxyAuthenticationNeeded && !b.requestRedirected) {
    return;
  }
  // The blocks may hold main-thread objects: they are let go of there.
  RunLoop::performOnMainThread([released]() mutable { released.reset(); }, RunLoop::isMainThread());
}

// ---- Threads

Ref<kit::Thread> HttpRequest::requestThread() const {
  std::lock_guard<std::mutex> p(propertyMutex_);
  return requestThread_;
}

void HttpRequest::setRequestThread(Ref<kit::Thread> thread) { storeProperty(requestThread_, std::move(thread)); }

void HttpRequest::performOnRequestThread(std::function<void()> fn) {
  Ref<kit::Thread> thread = requestThread();
  if (!thread) thread = threadForRequest(this);
  const std::string mode = runLoopMode();
  std::vector<std::string> modes{RunLoop::kCommonModes};
  if (mode != RunLoop::kDefaultMode && mode != RunLoop::kCommonModes) modes.push_back(mode);
  thread->perform(std::move(fn), false, modes);
}

void HttpRequest::performOnMainThread(std::function<void()> fn) {
  RunLoop::performOnMainThread(std::move(fn), RunLoop::isMainThread());
}

// ---- Starting and stopping

void HttpRequest::startAsynchronous() { sharedQueue()->addOperation(this); }

void HttpRequest::start() {
  inProgress_.store(true);
  didChangeState("isExecuting");
  Ref<kit::Thread> thread(threadForRequest(this));
  setRequestThread(thread);
  Ref<HttpRequest> self(this);
  thread->perform([self] { self->main(); });
}

void HttpRequest::startSynchronous() {
  setSynchronous(true);
  setRunLoopMode(kRunLoopMode);
  setRequestThread(kit::Thread::current());
  inProgress_.store(true);
  if (!isCancelled() && !complete()) {
    main();
    // Everything of this request now runs on this thread, in the private mode. An answer that
    // waits for a login or for the delegate to continue a redirect is not the end: the caller
    // gets the final answer.
    auto waitsForMore = [this] { return !error() && !isCancelled() && (authenticationNeeded() || needsRedirect()); };
    while (!complete() || waitsForMore()) RunLoop::current().runMode(kRunLoopMode, RunLoop::kDistantFuture);
  }
  inProgress_.store(false);
}

bool HttpRequest::isCancelled() const { return cancelled_.load(); }

void HttpRequest::cancel() {
  cancelRequested_.store(true);
  Ref<HttpRequest> self(this);
  performOnRequestThread([self] { self->cancelOnRequestThread(); });
}

void HttpRequest::cancelOnRequestThread() {
  std::lock_guard<std::recursive_mutex> g(cancelledLock_);
  if (isCancelled() || complete()) return;
  Ref<HttpRequest> self(this);
  failWithError(HttpRequestShared::get().requestCancelledError);
  setComplete(true);
  cancelLoad();
  cancelled_.store(true);
  didChangeState("isCancelled");
}

void HttpRequest::clearDelegatesAndCancel() {
  {
    std::lock_guard<std::recursive_mutex> g(cancelledLock_);
    delegate_ = nullptr;
    Ref<kit::Object> oldQueue = std::move(queue_);
    queue_ = nullptr;
    downloadProgressDelegate_ = nullptr;
    uploadProgressDelegate_ = nullptr;
    releaseBlocksOnMainThread();
  }
  cancel();
}

void HttpRequest::main() {
  // As for network events: the main thread hears of the start once the lock is let go.
  RunLoop::HoldMainWakeUps hold;
  std::lock_guard<std::recursive_mutex> g(cancelledLock_);
  Ref<HttpRequest> self(this);
  HttpRequestShared& shared = HttpRequestShared::get();
  try {
    // No background tasks here (isMultitaskingSupported answers NO).
    if (error()) {
      setComplete(true);
      markAsFinished();
      return;
    }
    setComplete(false);
    setDidUseCachedResponse(false);

    Ref<kit::URL> target = url();
    if (!target) {
      failWithError(shared.unableToCreateRequestError);
      return;
    }
    if (!mainRequest_) buildPostBody();
    // A failed body build has already reported the failure.
    if (error()) return;
    if (requestMethod() != "GET") setDownloadCache(nullptr);

    request_ = nullptr;
    request_ = kit::HTTPMessage::requestWithMethod(
        requestMethod(), target, useHTTPVersionOne() ? kit::HTTPMessage::kVersion1_0 : kit::HTTPMessage::kVersion1_1);
    if (!request_) {
      failWithError(shared.unableToCreateRequestError);
      return;
    }

    if (mainRequest_) mainRequest_->buildRequestHeaders();
    buildRequestHeaders();
    if (error()) return;

    if (Ref<HttpCacheDelegate> cache = downloadCache()) {
      if (cachePolicy() == CachePolicyDefault) setCachePolicy(cache->defaultCachePolicy());
      if (cache->canUseCachedDataForRequest(this)) {
        if (Ref<Error> e = useDataFromCache()) failWithError(e);
        return;
      }
      if (cachePolicy() & (CachePolicyUseIfCurrent | CachePolicyUseIfServerAgrees)) {
        if (Ref<kit::Dictionary> cached = cache->cachedResponseHeadersForURL(target)) {
          if (auto* etag = cached->get<kit::String>("Etag")) addRequestHeader("If-None-Match", etag->str());
          if (auto* modified = cached->get<kit::String>("Last-Modified")) {
            addRequestHeader("If-Modified-Since", modified->str());
          }
        }
      }
    }

    applyAuthorizationHeader();

    if (Ref<kit::MutableDictionary> headers = requestHeaders()) {
      headers->enumerate([this](kit::Object* key, kit::Object* value, bool&) {
        request_->setHeaderField(key->description(), value->description());
      });
    }

    if (configureProxies()) startRequest();
  } catch (...) {
    failWithUnhandledException();
  }
}

void HttpRequest::markAsFinished() {
  Ref<HttpRequest> self(this);
  const bool wasFinished = finished_.exchange(true);
  const bool wasInProgress = inProgress_.exchange(false);
  if (wasInProgress) didChangeState("isExecuting");
  if (!wasFinished) didChangeState("isFinished");
  prefaulter_.reset();
  // Partial files nothing will resume go with the request: an inflated copy always, and a
  // download file the engine named itself (nobody knows its name) once the request failed.
  if (const std::string inflated = temporaryUncompressedDataDownloadPath(); !inflated.empty()) {
    if (removeFileAtPath(inflated, nullptr)) setTemporaryUncompressedDataDownloadPath({});
  }
  if (error() && madeTemporaryDownloadPath_) {
    if (auto out = fileDownloadOutputStream()) out->close();
    setFileDownloadOutputStream(nullptr);
    if (removeFileAtPath(temporaryFileDownloadPath(), nullptr)) setTemporaryFileDownloadPath({});
  }
  RunLoop::current().stop();
}

void HttpRequest::cancelLoad() {
  prefaulter_.reset();
  if (Ref<kit::InputStream> pac = PACFileReadStream()) {
    if (pacTimer_) pacTimer_->invalidate();
    pacTimer_ = nullptr;
    pac->setClient(0, nullptr);
    pac->close();
    setPACFileReadStream(nullptr);
    setPACFileData(nullptr);
  } else if (Ref<HttpRequest> pacRequest = PACFileRequest()) {
    pacRequest->clearDelegatesAndCancel();
    setPACFileRequest(nullptr);
    // The slot added for the script's request goes again.
    std::lock_guard<std::recursive_mutex> g(HttpRequestShared::get().connectionLock);
    kit::OperationQueue* q = sharedQueue();
    q->setMaxConcurrentOperationCount(q->maxConcurrentOperationCount() - 1);
  }

  destroyReadStream();
  if (Ref<kit::InputStream> body = postBodyReadStream()) {
    body->close();
    setPostBodyReadStream(nullptr);
  }

  if (rawResponseData()) {
    setRawResponseData(nullptr);
  } else if (!temporaryFileDownloadPath().empty()) {
    if (auto out = fileDownloadOutputStream()) out->close();
    if (auto out = inflatedFileDownloadOutputStream()) out->close();
    setFileDownloadOutputStream(nullptr);
    setInflatedFileDownloadOutputStream(nullptr);
    if (!allowResumeForFileDownloads()) removeTemporaryDownloadFile();
    removeTemporaryUncompressedDownloadFile();
  }

  if (!authenticationNeeded()) {
    if (didCreateTemporaryPostDataFile()) {
      removeTemporaryUploadFile();
      removeTemporaryCompressedUploadFile();
      setDidCreateTemporaryPostDataFile(false);
    }
  }
  setResponseHeaders(nullptr);
}

// ---- Temporary files

bool HttpRequest::removeFileAtPath(const std::string& path, Ref<Error>* error) {
  if (!kit::FileManager::fileExists(path)) {
    // A dangling symbolic link still has to go.
    if (!kit::FileManager::attributesOfItem(path)) return true;
  }
  Ref<Error> removeError;
  if (kit::FileManager::removeItem(path, &removeError)) return true;
  if (error) {
    *error = Error::errorWithDescription(kHttpRequestErrorDomain, kFileManagementError,
                                         kit::format("Failed to delete file at path '%@'", path), removeError);
  }
  return false;
}

namespace {

bool removeRequestFile(HttpRequest* request, const std::string& path, const std::function<void()>& clear) {
  if (path.empty()) return true;
  Ref<Error> e;
  const bool ok = HttpRequest::removeFileAtPath(path, &e);
  if (!ok) request->failWithError(e);
  clear();
  return ok;
}

}  // namespace

bool HttpRequest::removeTemporaryDownloadFile() {
  return removeRequestFile(this, temporaryFileDownloadPath(), [this] { setTemporaryFileDownloadPath({}); });
}

bool HttpRequest::removeTemporaryUncompressedDownloadFile() {
  return removeRequestFile(this, temporaryUncompressedDataDownloadPath(),
                           [this] { setTemporaryUncompressedDataDownloadPath({}); });
}

bool HttpRequest::removeTemporaryUploadFile() {
  return removeRequestFile(this, postBodyFilePath(), [this] { setPostBodyFilePath({}); });
}

bool HttpRequest::removeTemporaryCompressedUploadFile() {
  return removeRequestFile(this, compressedPostBodyFilePath(), [this] { setCompressedPostBodyFilePath({}); });
}

// ---- Response access

Ref<kit::Data> HttpRequest::responseData() const {
  Ref<kit::MutableData> raw = rawResponseData();
  if (raw && isResponseCompressed() && shouldWaitToInflateCompressedResponses()) {
    {
      std::lock_guard<std::mutex> g(propertyMutex_);
      if (inflatedResponseData_) return inflatedResponseData_;
    }
    if (raw->length() == 0) return raw;
    // Not inflated when the response ended (it failed, or is still coming): within the same
    // bound, or not at all.
    bool tooLarge = false;
    try {
      return HttpDataDecompressor::uncompressData(raw.get(), maximumInMemoryBodyLength(), &tooLarge, nullptr);
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }
  return raw;
}

std::string HttpRequest::responseString() const {
  Ref<kit::Data> data = responseData();
  if (!data) return {};
  return decodeText(data, responseEncoding());
}

bool HttpRequest::isResponseCompressed() const {
  Ref<kit::Dictionary> headers = responseHeaders();
  if (!headers) return false;
  kit::Object* encoding = headers->objectForKey("Content-Encoding");
  return encoding && encoding->description().find("gzip") != std::string::npos;
}

std::string HttpRequest::base64forData(const kit::Data* data) {
  if (!data) return {};
  return kit::Base64::encode(data->view());
}

// ---- Main-thread reports

HttpRequestDelegate* HttpRequest::currentDelegate() const {
  std::lock_guard<std::recursive_mutex> g(cancelledLock_);
  return delegate_;
}

HttpRequestDelegate* HttpRequest::currentQueueDelegate(Ref<kit::Object>* keep) const {
  std::lock_guard<std::recursive_mutex> g(cancelledLock_);
  *keep = queue_;
  return dynamic_cast<HttpRequestDelegate*>(queue_.get());
}

namespace {

// One report: the delegate through its selector, the queue through its fixed call, then the block.
void deliver(HttpRequest* request, HttpRequestDelegate* delegate, const HttpSelector& selector,
             kit::Object* argument, HttpRequestDelegate* queue, const char* queueSelector,
             const std::function<void(HttpRequestDelegate&)>& queueCall) {
  if (delegate && selector && delegate->respondsToSelector(selector.name())) selector(*delegate, request, argument);
  if (queue && queueSelector && queue->respondsToSelector(queueSelector)) queueCall(*queue);
}

}  // namespace

bool HttpRequest::anyoneWants(const HttpSelector& selector, const char* queueSelector, bool hasBlock) const {
  if (hasBlock) return true;
  HttpRequestDelegate* d = currentDelegate();
  if (d && selector && d->respondsToSelector(selector.name())) return true;
  Ref<kit::Object> keep;
  HttpRequestDelegate* q = currentQueueDelegate(&keep);
  return q && queueSelector && q->respondsToSelector(queueSelector);
}

void HttpRequest::requestStarted() {
  if (error() || mainRequest_) return;
  // Nobody to tell now: nothing goes to the main thread (receivers are read again there otherwise).
  if (!anyoneWants(didStartSelector(), HttpRequestDelegate::kRequestStarted, blocks().started != nullptr)) return;
  Ref<HttpRequest> self(this);
  performOnMainThread([self] {
    Ref<kit::Object> keep;
    HttpRequestDelegate* q = self->currentQueueDelegate(&keep);
    deliver(self.get(), self->currentDelegate(), self->didStartSelector(), nullptr, q,
            HttpRequestDelegate::kRequestStarted, [&](HttpRequestDelegate& d) { d.requestStarted(self.get()); });
    if (Block b = self->blocks().started) b();
  });
}

void HttpRequest::requestRedirected() {
  if (error() || mainRequest_) return;
  Ref<HttpRequest> self(this);
  Ref<kit::URL> next = redirectURL();
  performOnMainThread([self, next] {
    HttpRequestDelegate* d = self->currentDelegate();
    if (d && d->respondsToSelector(HttpRequestDelegate::kRequestRedirected)) {
      d->requestRedirectedToURL(self.get(), next.get());
    }
    if (Block b = self->blocks().requestRedirected) b();
  });
}

void HttpRequest::requestReceivedResponseHeaders(Ref<kit::Dictionary> newHeaders) {
  if (error() || mainRequest_) return;
  if (!anyoneWants(didReceiveResponseHeadersSelector(), HttpRequestDelegate::kRequestDidReceiveResponseHeaders,
                   blocks().headersReceived != nullptr)) {
    return;
  }
  Ref<HttpRequest> self(this);
  performOnMainThread([self, newHeaders] {
    Ref<kit::Object> keep;
    HttpRequestDelegate* q = self->currentQueueDelegate(&keep);
    deliver(self.get(), self->currentDelegate(), self->didReceiveResponseHeadersSelector(), newHeaders.get(), q,
            HttpRequestDelegate::kRequestDidReceiveResponseHeaders,
            [&](HttpRequestDelegate& d) { d.requestDidReceiveResponseHeaders(self.get(), newHeaders.get()); });
    if (HeadersBlock b = self->blocks().headersReceived) b(newHeaders.get());
  });
}

void HttpRequest::requestWillRedirectToURL(Ref<kit::URL> newURL) {
  if (error() || mainRequest_) return;
  Ref<HttpRequest> self(this);
  performOnMainThread([self, newURL] {
    Ref<kit::Object> keep;
    HttpRequestDelegate* q = self->currentQueueDelegate(&keep);
    deliver(self.get(), self->currentDelegate(), self->willRedirectSelector(), newURL.get(), q,
            HttpRequestDelegate::kRequestWillRedirectToURL,
            [&](HttpRequestDelegate& d) { d.requestWillRedirectToURL(self.get(), newURL.get()); });
  });
}

void HttpRequest::requestFinished() {
  if (error() || mainRequest_) return;
  if (isPACFileRequest()) {
    reportFinished();
    return;
  }
  Ref<HttpRequest> self(this);
  performOnMainThread([self] { self->reportFinished(); });
}

void HttpRequest::reportFinished() {
  Ref<kit::Object> keep;
  HttpRequestDelegate* q = currentQueueDelegate(&keep);
  deliver(this, currentDelegate(), didFinishSelector(), nullptr, q, HttpRequestDelegate::kRequestFinished,
          [&](HttpRequestDelegate& d) { d.requestFinished(this); });
  if (Block b = blocks().completion) b();
}

void HttpRequest::reportFailure() {
  Ref<kit::Object> keep;
  HttpRequestDelegate* q = currentQueueDelegate(&keep);
  deliver(this, currentDelegate(), didFailSelector(), nullptr, q, HttpRequestDelegate::kRequestFailed,
          [&](HttpRequestDelegate& d) { d.requestFailed(this); });
  if (Block b = blocks().failed) b();
}

void HttpRequest::passOnReceivedData(Ref<kit::Data> data) {
  Ref<HttpRequest> self(this);
  performOnMainThread([self, data] {
    HttpRequestDelegate* d = self->currentDelegate();
    HttpSelector selector = self->didReceiveDataSelector();
    if (d && selector && d->respondsToSelector(selector.name())) selector(*d, self.get(), data.get());
    if (DataBlock b = self->blocks().dataReceived) b(data.get());
  });
}

}  // namespace tolva
