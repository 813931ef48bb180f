// Proxy choice before a request starts: the proxy set on the request, the system's settings
// (the program's or the environment's), or the answer of a proxy auto-configuration script read
// from a file or over HTTP. A script may name several proxies: when the one in use cannot be
// reached, the next one is tried.

#include "http/HttpRequest.h"
#include "http/HttpRequestShared.h"
#include "kit/foundation/Format.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/UTF8.h"
#include "kit/net/PACEvaluator.h"
#include "kit/net/ProxySettings.h"

namespace tolva {

using kit::ProxySettings;
using kit::Ref;

namespace {

constexpr size_t kPACReadLength = 16384;

void useProxy(HttpRequest* r, const ProxySettings::Proxy& p) {
  switch (p.type) {
    case ProxySettings::Proxy::Type::Direct:
      r->setProxyHost({});
      r->setProxyPort(0);
      r->setProxyType({});
      break;
    case ProxySettings::Proxy::Type::SOCKS:
      r->setProxyHost(p.host);
      r->setProxyPort(p.port);
      r->setProxyType(HttpRequest::kProxyTypeSOCKS);
      break;
    default:
      r->setProxyHost(p.host);
      r->setProxyPort(p.port);
      r->setProxyType(HttpRequest::kProxyTypeHTTP);
      break;
  }
}

// A proxy over TLS is not spoken; such entries are passed over.
std::vector<ProxySettings::Proxy> usable(std::vector<ProxySettings::Proxy> list) {
  std::erase_if(list, [](const ProxySettings::Proxy& p) { return p.type == ProxySettings::Proxy::Type::HTTPS; });
  return list;
}

}  // namespace

bool HttpRequest::configureProxies() {
  if (isPACFileRequest() || !proxyHost().empty() || proxyPort() != 0) return true;
  if (PACurl()) {
    fetchPACFile();
    return false;
  }
  Ref<kit::URL> target = url();
  if (!target) return true;
  std::optional<std::vector<ProxySettings::Proxy>> proxies =
      ProxySettings::proxiesForURL(*target, ProxySettings::systemSettings());
  if (!proxies) {
    destroyReadStream();
    failWithError(kit::Error::errorWithDescription(kHttpRequestErrorDomain, kInternalErrorWhileBuildingRequestType,
                                                   "Unable to obtain information on proxy servers needed for request"));
    return false;
  }
  if (proxies->empty()) return true;
  const ProxySettings::Proxy& first = proxies->front();
  if (first.type == ProxySettings::Proxy::Type::AutoConfiguration) {
    Ref<kit::URL> pac = kit::URL::URLWithString(first.autoConfigurationURL);
    if (!pac) return true;
    setPACurl(pac);
    fetchPACFile();
    return false;
  }
  std::vector<ProxySettings::Proxy> list = usable(*proxies);
  if (list.empty()) return true;
  useProxy(this, list.front());
  return true;
}

void HttpRequest::fetchPACFile() {
  Ref<kit::URL> pac = PACurl();
  const std::string scheme = pac ? pac->lowercaseScheme() : std::string();
  Ref<HttpRequest> self(this);
  if (scheme == "file") {
    Ref<kit::InputStream> stream = kit::InputStream::inputStreamWithFileAtPath(pac->path());
    setPACFileReadStream(stream);
    setPACFileData(kit::MutableData::data());
    kit::WeakRef<HttpRequest> weak(this);
    stream->setClient(kit::InputStream::kEventHasBytesAvailable | kit::InputStream::kEventErrorOccurred |
                          kit::InputStream::kEventEndEncountered,
                      [weak](kit::InputStream& s, kit::InputStream::Event event) {
                        if (Ref<HttpRequest> r = weak.lock()) r->handlePACFileEvent(s, event);
                      });
    stream->scheduleInRunLoop(kit::RunLoop::current(), runLoopMode());
    stream->open();
    Ref<kit::Timer> timer = kit::Timer::timer(timeOutSeconds() > 0 ? timeOutSeconds() : defaultTimeOutSeconds(), false,
                                              [weak](kit::Timer&) {
                                                if (Ref<HttpRequest> r = weak.lock()) r->timeOutPACRead();
                                              });
    kit::RunLoop::current().addTimer(timer, runLoopMode());
    pacTimer_ = timer;
    return;
  }
  if (scheme == "http" || scheme == "https") {
    Ref<HttpRequest> fetch = requestWithURL(pac);
    fetch->setIsPACFileRequest(true);
    fetch->setTimeOutSeconds(timeOutSeconds());
    fetch->setDownloadCache(nullptr);
    if (isSynchronous()) {
      fetch->startSynchronous();
      if (!fetch->error()) runPACScript(fetch->responseString());
      startRequest();
      return;
    }
    setPACFileRequest(fetch);
    fetch->setQueuePriority(kit::Operation::kHigh);
    kit::WeakRef<HttpRequest> weak(this);
    auto done = [weak, fetch = fetch.get()] {
      if (Ref<HttpRequest> r = weak.lock()) {
        Ref<HttpRequest> keep(fetch);
        r->performOnRequestThread([r, keep] { r->finishedDownloadingPACFile(keep.get()); });
      }
    };
    fetch->setCompletionBlock(done);
    fetch->setFailedBlock(done);
    HttpRequestShared& shared = HttpRequestShared::get();
    {
      // The script's request may run even while every slot is taken by requests waiting for it.
      std::lock_guard<std::recursive_mutex> g(shared.connectionLock);
      kit::OperationQueue* q = sharedQueue();
      q->setMaxConcurrentOperationCount(q->maxConcurrentOperationCount() + 1);
    }
    fetch->startAsynchronous();
    return;
  }
  startRequest();
}

void HttpRequest::handlePACFileEvent(kit::InputStream& stream, kit::InputStream::Event event) {
  if (PACFileReadStream().get() != &stream) return;
  if (event == kit::InputStream::kEventHasBytesAvailable) {
    uint8_t buffer[kPACReadLength];
    const long n = stream.read(buffer, sizeof buffer);
    if (n > 0) {
      if (Ref<kit::MutableData> data = PACFileData()) data->appendBytes(buffer, size_t(n));
    }
    return;
  }
  if (pacTimer_) pacTimer_->invalidate();
  pacTimer_ = nullptr;
  stream.close();
  stream.setClient(0, nullptr);
  stream.unscheduleFromRunLoop(kit::RunLoop::current(), runLoopMode());
  Ref<kit::MutableData> data = PACFileData();
  setPACFileReadStream(nullptr);
  setPACFileData(nullptr);
  if (event == kit::InputStream::kEventEndEncountered && data) {
    const std::string_view bytes = data->view();
    if (kit::utf8::isValid(bytes)) runPACScript(std::string(bytes));
    else runPACScript(decodeText(data, kISOLatin1StringEncoding));
  }
  startRequest();
}

void HttpRequest::timeOutPACRead() {
  if (Ref<kit::InputStream> stream = PACFileReadStream()) handlePACFileEvent(*stream, kit::InputStream::kEventErrorOccurred);
}

void HttpRequest::runPACScript(const std::string& script) {
  if (script.empty()) return;
  Ref<kit::URL> target = url();
  if (!target) return;
  std::optional<std::string> answer = kit::PACEvaluator::findProxyForURL(
      script, target->absoluteString(), target->host(), timeOutSeconds() > 0 ? timeOutSeconds() : defaultTimeOutSeconds());
  if (!answer) return;
  std::vector<ProxySettings::Proxy> list = usable(ProxySettings::proxiesFromPACResult(*answer));
  if (list.empty()) return;
  useProxy(this, list.front());
  proxyFallbacks_.assign(list.begin() + 1, list.end());
}

void HttpRequest::finishedDownloadingPACFile(HttpRequest* pacRequest) {
  Ref<HttpRequest> self(this);
  if (PACFileRequest().get() != pacRequest) return;
  if (pacRequest && !pacRequest->error()) runPACScript(pacRequest->responseString());
  HttpRequestShared& shared = HttpRequestShared::get();
  {
    std::lock_guard<std::recursive_mutex> g(shared.connectionLock);
    kit::OperationQueue* q = sharedQueue();
    q->setMaxConcurrentOperationCount(q->maxConcurrentOperationCount() - 1);
  }
  setPACFileRequest(nullptr);
  if (isCancelled() || error()) return;
  startRequest();
}

bool HttpRequest::tryNextProxy() {
  if (proxyFallbacks_.empty() || error()) return false;
  ProxySettings::Proxy next = proxyFallbacks_.front();
  proxyFallbacks_.erase(proxyFallbacks_.begin());
  destroyReadStream();
  useProxy(this, next);
  startRequest();
  return true;
}

}  // namespace tolva
