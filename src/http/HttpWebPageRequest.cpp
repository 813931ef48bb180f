#include "http/HttpWebPageRequest.h"

#include <libxml/HTMLparser.h>
#include <libxml/HTMLtree.h>
#include <libxml/xpath.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>

#include "http/HttpDataDecompressor.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Format.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/String.h"
#include "kit/security/Digest.h"

namespace tolva {

using kit::Ref;

namespace {

constexpr int kParseErrorCode = 101;
constexpr int kReadErrorCode = 100;

// The parser lock and the pages whose document is being worked on.
std::recursive_mutex& parserLock() {
  static std::recursive_mutex lock;
  return lock;
}
std::set<const HttpWebPageRequest*>& parsedPages() {
  static std::set<const HttpWebPageRequest*> pages;
  return pages;
}

Ref<kit::Error> archiveError(int code, const std::string& text, Ref<kit::Error> underlying = nullptr) {
  return kit::Error::errorWithDescription(kHttpRequestErrorDomain, code, text, std::move(underlying));
}

std::string lower(std::string s) {
  for (auto& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string trimmed(const std::string& s, const char* chars) {
  const size_t b = s.find_first_not_of(chars);
  if (b == std::string::npos) return {};
  const size_t e = s.find_last_not_of(chars);
  return s.substr(b, e - b + 1);
}

constexpr const char* kSpace = " \t\r\n\f\v";

// A url(...) value as written, without spaces and quotes.
std::string cleanCSSURL(const std::string& raw) { return trimmed(trimmed(trimmed(raw, kSpace), "\"'"), kSpace); }

std::string nodeName(const xmlNode* n) { return n && n->name ? reinterpret_cast<const char*>(n->name) : ""; }

std::string nodeContent(xmlNode* n) {
  xmlChar* c = xmlNodeGetContent(n);
  std::string out = c ? reinterpret_cast<const char*>(c) : "";
  xmlFree(c);
  return out;
}

std::string attribute(xmlNode* element, const char* name) {
  xmlChar* v = xmlGetProp(element, reinterpret_cast<const xmlChar*>(name));
  std::string out = v ? reinterpret_cast<const char*>(v) : "";
  xmlFree(v);
  return out;
}

void setNodeText(xmlNode* node, const std::string& text) {
  const auto* value = reinterpret_cast<const xmlChar*>(text.c_str());
  if (node->type == XML_ATTRIBUTE_NODE && node->parent) {
    xmlSetProp(node->parent, node->name, value);
  } else {
    xmlNodeSetContent(node, nullptr);
    xmlNodeAddContent(node, value);
  }
}

bool isSkippedMedia(const std::string& url) {
  std::string path = url.substr(0, url.find_first_of("?#"));
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return false;
  const std::string ext = lower(path.substr(dot + 1));
  return ext == "ogg" || ext == "ogv" || ext == "webm";
}

// Visits the query's nodes from the last to the first.
template <class Visit>
bool eachResourceNode(xmlDoc* doc, HttpRequest* request, Visit visit) {
  xmlXPathContext* context = xmlXPathNewContext(doc);
  if (!context) {
    request->failWithError(archiveError(kParseErrorCode, "Error: unable to create new XPath context"));
    return false;
  }
  xmlXPathObject* result =
      xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(HttpWebPageRequest::kResourceQuery), context);
  if (!result) {
    xmlXPathFreeContext(context);
    request->failWithError(archiveError(kParseErrorCode, "Error: unable to evaluate XPath expression!"));
    return false;
  }
  if (xmlNodeSet* nodes = result->nodesetval) {
    for (int i = nodes->nodeNr - 1; i >= 0; --i) visit(nodes->nodeTab[i]);
  }
  xmlXPathFreeObject(result);
  xmlXPathFreeContext(context);
  return true;
}

}  // namespace

HttpWebPageRequest::HttpWebPageRequest(Ref<kit::URL> url) : HttpRequest(std::move(url)) {}

HttpWebPageRequest::~HttpWebPageRequest() {
  if (externalResourceQueue_) {
    externalResourceQueue_->reset();
    externalResourceQueue_ = nullptr;
  }
  std::lock_guard<std::recursive_mutex> g(parserLock());
  if (doc_) xmlFreeDoc(doc_);
  parsedPages().erase(this);
}

Ref<HttpWebPageRequest> HttpWebPageRequest::requestWithURL(Ref<kit::URL> url) {
  return kit::make<HttpWebPageRequest>(std::move(url));
}

void HttpWebPageRequest::markAsFinished() {
  // Ends only when the resources are done, or at once on a failure (cancelling the children).
  if (error()) {
    if (Ref<HttpNetworkQueue> q = externalResourceQueue_) q->cancelAllOperations();
    HttpRequest::markAsFinished();
    return;
  }
  if (resourcesDone_) HttpRequest::markAsFinished();
}

bool HttpWebPageRequest::namesFilesRelativeToItself() const {
  // Resources' files live in the cache beside one another; only the top page's file moves.
  return !parentRequest_ && urlReplacementMode_ == UrlReplacementLocalFile;
}

void HttpWebPageRequest::finishNormally() {
  resourcesDone_ = true;
  HttpRequest::requestFinished();
  HttpRequest::markAsFinished();
}

void HttpWebPageRequest::requestFinished() {
  setComplete(false);
  // A page archived to local files names its resources relative to its own file, which may be
  // in another folder this time: answered from the cache, it is rewritten again like a fresh one.
  if (mainRequest() || (didUseCachedResponse() && !namesFilesRelativeToItself())) {
    finishNormally();
    return;
  }
  std::string type;
  if (Ref<kit::Dictionary> headers = responseHeaders()) {
    if (kit::Object* t = headers->objectForKey("Content-Type")) type = lower(t->description());
  }
  type = trimmed(type.substr(0, type.find(';')), kSpace);
  if (type == "text/html" || type == "text/xhtml" || type == "text/xhtml+xml" || type == "application/xhtml+xml") {
    parseAsHTML();
  } else if (type == "text/css") {
    parseAsCSS();
  } else {
    finishNormally();
  }
}

std::string HttpWebPageRequest::encodingName() const {
  switch (responseEncoding()) {
    case kASCIIStringEncoding: return "ASCII";
    case 3: return "EUC-JP";
    case kUTF8StringEncoding: return "UTF-8";
    case kISOLatin1StringEncoding: return "ISO-8859-1";
    case 8: return "Shift-JIS";
    case 9: return "ISO-8859-2";
    case 21: return "ISO-2022-JP";
    case 0x90000100: return "UTF-16BE";
    case 0x94000100: return "UTF-16LE";
    case 0x98000100: return "UCS-4BE";
    case 0x9c000100: return "UCS-4LE";
    default: return {};
  }
}

std::string HttpWebPageRequest::responseBytes() const {
  const std::string file = downloadDestinationPath();
  if (!file.empty()) {
    Ref<kit::Data> d = kit::FileManager::readFile(file);
    return d ? d->toString() : std::string();
  }
  Ref<kit::Data> d = responseData();
  return d ? d->toString() : std::string();
}

bool HttpWebPageRequest::writeResponseBytes(const std::string& bytes) {
  const std::string file = downloadDestinationPath();
  if (!file.empty()) return kit::FileManager::writeFile(file, bytes);
  auto data = kit::MutableData::data();
  data->appendBytes(bytes.data(), bytes.size());
  setRawResponseData(data);
  // The stored body is plain now.
  setShouldWaitToInflateCompressedResponses(false);
  return true;
}

void HttpWebPageRequest::leaveParsedPages() {
  std::lock_guard<std::recursive_mutex> g(parserLock());
  if (doc_) xmlFreeDoc(doc_);
  doc_ = nullptr;
  parsedPages().erase(this);
}

void HttpWebPageRequest::parseAsHTML() {
  webContentType_ = WebContentHTML;
  bool found = false;
  {
    std::lock_guard<std::recursive_mutex> g(parserLock());
    // Set up once; never torn down while the program runs (other parsers share it).
    xmlInitParser();
    parsedPages().insert(this);
    const std::string encoding = encodingName();
    const char* enc = encoding.empty() ? nullptr : encoding.c_str();
    const int options = HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET;
    // The downloaded file, too, is read the one safe way (a regular file, within the bound).
    const std::string bytes = responseBytes();
    doc_ = htmlReadMemory(bytes.data(), int(bytes.size()), "", enc, options);
    if (!doc_) {
      parsedPages().erase(this);
      failWithError(archiveError(kParseErrorCode, "Error: unable to parse reponse XML"));
      return;
    }
    resourceList_ = kit::MutableDictionary::dictionary();
    found = readResourceURLs() && resourceList_->count() > 0;
    if (!found) leaveParsedPages();
  }
  if (error()) return;
  if (!found) finishNormally();
  else startChildren();
}

bool HttpWebPageRequest::readResourceURLs() {
  return eachResourceNode(doc_, this, [this](xmlNode* node) {
    const std::string name = nodeName(node);
    const std::string parent = lower(nodeName(node->parent));
    const std::string value = nodeContent(node);
    if (parent == "link") {
      if (lower(trimmed(attribute(node->parent, "rel"), kSpace)) == "stylesheet") addURLToFetch(value);
    } else if (name == "style") {
      for (const std::string& u : CSSURLsFromString(value)) addURLToFetch(u);
    } else if (parent == "source" || parent == "audio") {
      if (!isSkippedMedia(value)) addURLToFetch(value);
    } else if (parent == "a") {
      // Links are not fetched.
    } else {
      addURLToFetch(value);
    }
  });
}

int HttpWebPageRequest::depth() const {
  int d = 0;
  for (const HttpWebPageRequest* p = parentRequest_.get(); p; p = p->parentRequest_.get()) ++d;
  return d;
}

void HttpWebPageRequest::addURLToFetch(const std::string& newURL) {
  const std::string trimmedURL = trimmed(newURL, kSpace);
  if (trimmedURL.size() < 5 || lower(trimmedURL.substr(0, 5)) == "data:") return;
  Ref<kit::URL> base = url();
  Ref<kit::URL> resolved = kit::URL::URLWithString(trimmedURL, base.get());
  if (!resolved) return;
  // Only web resources: never local files, scripts in URLs or other schemes.
  const std::string scheme = resolved->lowercaseScheme();
  if (scheme != "http" && scheme != "https") return;
  if (!resourceList_ || resourceList_->objectForKey(trimmedURL)) return;
  // A page, sheet or frame that refers to itself or to one that contains it is not fetched again.
  Ref<kit::URL> target = resolved->URLByDeletingFragment();
  for (const HttpWebPageRequest* p = this; p; p = p->parentRequest_.get()) {
    Ref<kit::URL> own = p->url();
    if (own && own->URLByDeletingFragment()->absoluteString() == target->absoluteString()) return;
  }
  if (depth() >= kMaximumDepth) return;
  resourceList_->setObject(kit::MutableDictionary::dictionary(), trimmedURL);
}

std::vector<std::string> HttpWebPageRequest::CSSURLsFromString(const std::string& string) {
  std::vector<std::string> out;
  replaceCSSURLs(string, [&out](const std::string& u) {
    out.push_back(u);
    return std::string();
  });
  return out;
}

std::string HttpWebPageRequest::replaceCSSURLs(const std::string& string,
                                               const std::function<std::string(const std::string&)>& replace) {
  const std::string folded = lower(string);
  std::string out;
  size_t at = 0;
  for (;;) {
    const size_t open = folded.find("url(", at);
    if (open == std::string::npos) break;
    const size_t inner = open + 4;
    const size_t close = folded.find(')', inner);
    if (close == std::string::npos) break;
    const std::string value = cleanCSSURL(string.substr(inner, close - inner));
    const std::string replacement = replace(value);
    out.append(string, at, inner - at);
    if (replacement.empty()) out.append(string, inner, close - inner);
    else out += "\"" + replacement + "\"";
    at = close;
  }
  out.append(string, at, std::string::npos);
  return out;
}

bool HttpWebPageRequest::readSheetText(std::string* text, Ref<kit::Error>* readError) const {
  Ref<kit::Data> bytes;
  const std::string file = downloadDestinationPath();
  if (!file.empty()) bytes = kit::FileManager::readFile(file, readError);
  else bytes = responseData();
  if (!bytes) return false;
  *text = decodeText(bytes, responseEncoding());
  // Bytes that do not read in the sheet's encoding are no text at all.
  return !text->empty() || bytes->length() == 0;
}

bool HttpWebPageRequest::writeSheetText(const std::string& text) {
  std::string bytes;
  // An encoding the engine reads but cannot write was read as ISO Latin-1: written back so too.
  if (!encodeText(text, responseEncoding(), &bytes) && !encodeText(text, kISOLatin1StringEncoding, &bytes)) return false;
  return writeResponseBytes(bytes);
}

void HttpWebPageRequest::parseAsCSS() {
  webContentType_ = WebContentCSS;
  std::string text;
  Ref<kit::Error> readError;
  if (!readSheetText(&text, &readError)) {
    failWithError(archiveError(kReadErrorCode, "Unable to read HTML string from response", readError));
    return;
  }
  resourceList_ = kit::MutableDictionary::dictionary();
  for (const std::string& u : CSSURLsFromString(text)) addURLToFetch(u);
  if (resourceList_->count() == 0) finishNormally();
  else startChildren();
}

std::string HttpWebPageRequest::cachePathForRequest(HttpRequest* request) {
  if (Ref<HttpCacheDelegate> cache = downloadCache()) return cache->pathToStoreCachedResponseDataForRequest(request);
  Ref<kit::URL> u = request->url();
  return kit::Paths::cachesDirectory() + "/" +
         kit::Digest::hex(kit::Digest::md5(u ? u->absoluteString() : std::string()), kit::Digest::HexCase::Upper) +
         ".html";
}

void HttpWebPageRequest::startChildren() {
  if (externalResourceQueue_) externalResourceQueue_->reset();
  Ref<HttpNetworkQueue> q = HttpNetworkQueue::queue();
  externalResourceQueue_ = q;
  // Login questions of the queue's own helper requests (the size-measuring HEADs) go up too.
  q->setDelegate(&childEvents_);
  q->setShowAccurateProgress(showAccurateProgress());
  kit::WeakRef<HttpWebPageRequest> weak(this);
  q->setQueueDidFinishSelector([weak](HttpNetworkQueue* queue) {
    if (Ref<HttpWebPageRequest> r = weak.lock()) r->finishedFetchingExternalResources(queue);
  });
  q->setRequestDidFinishSelector([weak](HttpRequest* child) {
    if (Ref<HttpWebPageRequest> r = weak.lock()) r->externalResourceFetchSucceeded(child);
  });
  q->setRequestDidFailSelector([weak](HttpRequest* child) {
    if (Ref<HttpWebPageRequest> r = weak.lock()) r->externalResourceFetchFailed(child);
  });

  // Each child makes its own credentials, cookies and ranges; the page's do not go along.
  Ref<kit::MutableDictionary> headers;
  if (Ref<kit::MutableDictionary> own = requestHeaders()) {
    headers = kit::cast<kit::MutableDictionary>(own->mutableCopy());
    for (const char* h : {"Cookie", "Authorization", "Proxy-Authorization", "Range", "If-Range", "If-None-Match",
                          "If-Modified-Since", "Content-Length", "Content-Type"}) {
      headers->removeObjectForKey(h);
    }
  }
  Ref<kit::URL> base = url();
  for (const Ref<kit::Object>& k : resourceList_->allKeys()) {
    const std::string key = k->description();
    Ref<kit::URL> u = kit::URL::URLWithString(key, base.get());
    if (!u) continue;
    Ref<HttpWebPageRequest> child = kit::make<HttpWebPageRequest>(u);
    if (headers) child->setRequestHeaders(kit::cast<kit::MutableDictionary>(headers->mutableCopy()));
    child->setDownloadCache(downloadCache());
    child->setCachePolicy(cachePolicy());
    child->setCacheStoragePolicy(cacheStoragePolicy());
    auto info = kit::MutableDictionary::dictionary();
    info->setObject(kit::str(key), "Path");
    child->setUserInfo(info);
    child->setParentRequest(Ref<HttpWebPageRequest>(this));
    child->setUrlReplacementMode(urlReplacementMode_);
    child->setShouldResetDownloadProgress(false);
    child->setDelegate(&childEvents_);
    child->setDownloadProgressDelegate(&childEvents_);
    child->setUploadProgressDelegate(&childEvents_);
    child->setTimeOutSeconds(timeOutSeconds());
    if (!downloadDestinationPath().empty()) child->setDownloadDestinationPath(cachePathForRequest(child));
    q->addOperation(child);
  }
  q->go();
}

void HttpWebPageRequest::externalResourceFetchSucceeded(HttpRequest* request) {
  kit::Dictionary* info = request->userInfo().get();
  kit::Object* path = info ? info->objectForKey("Path") : nullptr;
  if (!path || !resourceList_) return;
  auto* entry = resourceList_->get<kit::MutableDictionary>(path->description());
  if (!entry) return;
  std::string type = "application/octet-stream";
  if (Ref<kit::Dictionary> headers = request->responseHeaders()) {
    if (kit::Object* t = headers->objectForKey("Content-Type")) type = t->description();
  }
  entry->setObject(kit::str(type), "ContentType");
  if (!downloadDestinationPath().empty()) {
    entry->setObject(kit::str(request->downloadDestinationPath()), "DataPath");
  } else if (Ref<kit::Data> data = request->responseData()) {
    entry->setObject(data, "Data");
  }
}

void HttpWebPageRequest::externalResourceFetchFailed(HttpRequest* request) {
  Ref<HttpWebPageRequest> self(this);
  Ref<kit::Error> childError = request->error();
  performOnRequestThread([self, childError] {
    std::lock_guard<std::recursive_mutex> g(self->cancelledLock());
    self->childFailed_ = true;
    // The first failure is the archive's one report; the queue cancels the other children.
    self->failWithError(childError ? childError : archiveError(kParseErrorCode, "A resource could not be fetched"));
  });
}

void HttpWebPageRequest::finishedFetchingExternalResources(HttpNetworkQueue*) {
  Ref<HttpWebPageRequest> self(this);
  performOnRequestThread([self] {
    std::lock_guard<std::recursive_mutex> g(self->cancelledLock());
    HttpWebPageRequest& r = *self;
    if (r.error() || r.isCancelled() || r.childFailed_) {
      // Nothing is rewritten or stored after a failure; the request has reported it already.
      r.leaveParsedPages();
      r.resourcesDone_ = true;
      r.HttpRequest::markAsFinished();
      return;
    }
    const bool rewrite = r.urlReplacementMode_ != UrlReplacementNone;
    if (rewrite && r.webContentType_ == WebContentCSS) {
      std::string text;
      if (!r.readSheetText(&text, nullptr)) {
        r.failWithError(archiveError(kParseErrorCode, "Error: unable to read response CSS from disk"));
        return;
      }
      const std::string replaced =
          replaceCSSURLs(text, [&r](const std::string& u) { return r.contentForExternalURL(u); });
      if (!r.writeSheetText(replaced)) {
        r.failWithError(archiveError(kParseErrorCode, "Error: unable to write response CSS to disk"));
        return;
      }
    }
    if (r.webContentType_ == WebContentHTML) {
      std::lock_guard<std::recursive_mutex> parser(parserLock());
      if (rewrite && r.doc_ && r.updateResourceURLs()) {
        xmlChar* out = nullptr;
        int size = 0;
        htmlDocDumpMemoryFormat(r.doc_, &out, &size, 0);
        const bool written = out && r.writeResponseBytes(std::string(reinterpret_cast<const char*>(out), size_t(size)));
        xmlFree(out);
        if (!written) r.failWithError(archiveError(kParseErrorCode, "Error: unable to write response HTML to disk"));
      }
      r.leaveParsedPages();
    }
    if (r.error()) return;
    if (r.downloadDestinationPath().empty() && r.isResponseCompressed() && r.shouldWaitToInflateCompressedResponses()) {
      // Still compressed in memory (nothing was rewritten): inflated now, since the body handed
      // back is always the text.
      Ref<kit::Error> inflateError;
      Ref<kit::MutableData> raw = r.rawResponseData();
      Ref<kit::Data> plain = raw ? HttpDataDecompressor::uncompressData(raw, &inflateError) : nullptr;
      if (raw && raw->length() > 0 && !plain) {
        r.failWithError(inflateError ? inflateError : HttpDataDecompressor::inflateErrorWithCode(Z_DATA_ERROR));
        return;
      }
      r.writeResponseBytes(plain ? plain->toString() : std::string());
    }
    if (!r.parentRequest_) {
      // The whole archive is done: its progress shows full.
      const uint64_t length = std::max<uint64_t>(r.contentLength(), 1);
      kit::RunLoop::performOnMainThread([self, length] { updateProgressIndicator(self->downloadProgressDelegate(), length, length); }, false);
    }
    if (Ref<kit::Dictionary> headers = r.responseHeaders()) {
      Ref<kit::MutableDictionary> plain = kit::cast<kit::MutableDictionary>(headers->mutableCopy());
      plain->removeObjectForKey("Content-Encoding");
      r.setResponseHeaders(plain);
    }
    // The rewritten page is stored unless its paths hold only for this one file (the cache keeps
    // the page as it came then).
    if (rewrite && !r.namesFilesRelativeToItself()) {
      if (Ref<HttpCacheDelegate> cache = r.downloadCache()) cache->storeResponseForRequest(self, r.secondsToCache());
    }
    r.finishNormally();
  });
}

bool HttpWebPageRequest::updateResourceURLs() {
  Ref<kit::URL> base = url();
  return eachResourceNode(doc_, this, [this, &base](xmlNode* node) {
    const std::string name = nodeName(node);
    const std::string parent = lower(nodeName(node->parent));
    const std::string value = nodeContent(node);
    if (name == "style") {
      setNodeText(node, replaceCSSURLs(value, [this](const std::string& u) { return contentForExternalURL(u); }));
    } else if (urlReplacementMode_ == UrlReplacementLocalFile && parent == "a") {
      if (Ref<kit::URL> absolute = kit::URL::URLWithString(trimmed(value, kSpace), base.get())) {
        setNodeText(node, absolute->absoluteString());
      }
    } else {
      const std::string replacement = contentForExternalURL(trimmed(value, kSpace));
      if (!replacement.empty()) setNodeText(node, replacement);
    }
  });
}

std::string HttpWebPageRequest::contentForExternalURL(const std::string& theURL) {
  auto* entry = resourceList_ ? resourceList_->get<kit::Dictionary>(theURL) : nullptr;
  if (!entry) return {};
  auto* dataPath = entry->get<kit::String>("DataPath");
  if (urlReplacementMode_ == UrlReplacementLocalFile) {
    if (!dataPath) return {};
    return relativePathTo(dataPath->str(), downloadDestinationPath());
  }
  Ref<kit::Data> bytes;
  if (dataPath) bytes = kit::FileManager::readFile(dataPath->str());
  else bytes = Ref<kit::Data>(entry->get<kit::Data>("Data"));
  auto* type = entry->get<kit::String>("ContentType");
  if (!bytes || !type) return {};
  return kit::format("data:%@;base64,", type->str()) + base64forData(bytes);
}

std::string HttpWebPageRequest::relativePathTo(const std::string& path, const std::string& fromPath) {
  auto split = [](const std::string& p) {
    std::vector<std::string> parts;
    size_t b = 0;
    while (b <= p.size()) {
      size_t e = p.find('/', b);
      if (e == std::string::npos) e = p.size();
      if (e > b) parts.push_back(p.substr(b, e - b));
      b = e + 1;
    }
    return parts;
  };
  const std::vector<std::string> target = split(path), source = split(fromPath);
  for (size_t i = 0; i < target.size(); ++i) {
    if (i < source.size() && target[i] == source[i]) continue;
    std::string out;
    for (size_t k = i + 1; k < source.size(); ++k) out += "../";
    for (size_t k = i; k < target.size(); ++k) out += target[k] + (k + 1 < target.size() ? "/" : "");
    return out;
  }
  return {};
}

// ---- Children's events

const HttpWebPageRequest* HttpWebPageRequest::ChildEvents::top() const {
  const HttpWebPageRequest* t = owner_;
  while (t->parentRequest_) t = t->parentRequest_.get();
  return t;
}

HttpRequestDelegate* HttpWebPageRequest::ChildEvents::loginTarget(std::string_view selector) const {
  HttpRequestDelegate* d = top()->delegate();
  return d && d->respondsToSelector(selector) ? d : nullptr;
}

HttpProgressDelegate* HttpWebPageRequest::ChildEvents::progressTarget(std::string_view selector) const {
  const bool download = selector == kRequestDidReceiveBytes || selector == kRequestIncrementDownloadSizeBy;
  const bool upload = selector == kRequestDidSendBytes || selector == kRequestIncrementUploadSizeBy;
  HttpProgressDelegate* p = download ? top()->downloadProgressDelegate() : upload ? top()->uploadProgressDelegate() : nullptr;
  return p && p->respondsToSelector(selector) ? p : nullptr;
}

bool HttpWebPageRequest::ChildEvents::respondsToSelector(std::string_view selector) const {
  if (selector == kAuthenticationNeededForRequest || selector == kProxyAuthenticationNeededForRequest) {
    return loginTarget(selector) != nullptr;
  }
  return progressTarget(selector) != nullptr;
}

void HttpWebPageRequest::ChildEvents::authenticationNeededForRequest(HttpRequest* request) {
  if (HttpRequestDelegate* d = loginTarget(kAuthenticationNeededForRequest)) d->authenticationNeededForRequest(request);
}

void HttpWebPageRequest::ChildEvents::proxyAuthenticationNeededForRequest(HttpRequest* request) {
  if (HttpRequestDelegate* d = loginTarget(kProxyAuthenticationNeededForRequest)) {
    d->proxyAuthenticationNeededForRequest(request);
  }
}

void HttpWebPageRequest::ChildEvents::requestDidReceiveBytes(HttpRequest* request, int64_t bytes) {
  if (HttpProgressDelegate* p = progressTarget(kRequestDidReceiveBytes)) p->requestDidReceiveBytes(request, bytes);
}

void HttpWebPageRequest::ChildEvents::requestDidSendBytes(HttpRequest* request, int64_t bytes) {
  if (HttpProgressDelegate* p = progressTarget(kRequestDidSendBytes)) p->requestDidSendBytes(request, bytes);
}

void HttpWebPageRequest::ChildEvents::requestIncrementDownloadSizeBy(HttpRequest* request, int64_t newLength) {
  if (HttpProgressDelegate* p = progressTarget(kRequestIncrementDownloadSizeBy)) {
    p->requestIncrementDownloadSizeBy(request, newLength);
  }
}

void HttpWebPageRequest::ChildEvents::requestIncrementUploadSizeBy(HttpRequest* request, int64_t newLength) {
  if (HttpProgressDelegate* p = progressTarget(kRequestIncrementUploadSizeBy)) p->requestIncrementUploadSizeBy(request, newLength);
}

}  // namespace tolva
