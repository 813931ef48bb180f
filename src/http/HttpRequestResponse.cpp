// The request engine's receiving side: response headers, redirects, body bytes into memory or a
// file, gzip, resuming, moving the finished file into place and completion.

#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>
#include <ctime>
#include <new>
#include <optional>

#include "http/HttpRequest.h"
#include "http/HttpRequestShared.h"
#include "kit/foundation/Clock.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Format.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UTF8.h"
#include "kit/net/HTTPCookieStorage.h"
#include "kit/net/NetError.h"

namespace tolva {

using kit::Data;
using kit::Error;
using kit::Ref;
using kit::RunLoop;

namespace {

constexpr int kMaximumRedirects = 5;

std::string lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

std::string headerValue(const kit::Dictionary* headers, const char* name) {
  if (!headers) return {};
  kit::Object* o = headers->objectForKey(name);
  return o ? o->description() : std::string();
}

// The range of "bytes FIRST-LAST/TOTAL"; a TOTAL of "*" (unknown) leaves *total 0.
bool parseContentRange(const std::string& text, uint64_t* first, uint64_t* last, uint64_t* total) {
  std::string t = lower(trim(text));
  if (t.rfind("bytes", 0) != 0) return false;
  size_t i = 5;
  while (i < t.size() && (t[i] == ' ' || t[i] == '=')) ++i;
  const size_t dash = t.find('-', i);
  const size_t slash = t.find('/', i);
  if (dash == std::string::npos || slash == std::string::npos || slash < dash) return false;
  const std::string_view v(t);
  if (!HttpRequest::parseDecimalLength(v.substr(i, dash - i), first) ||
      !HttpRequest::parseDecimalLength(v.substr(dash + 1, slash - dash - 1), last) || *last < *first) {
    return false;
  }
  *total = 0;
  const std::string_view whole = v.substr(slash + 1);
  return trim(whole) == "*" || (HttpRequest::parseDecimalLength(whole, total) && *total > *last);
}

int scanIntAfter(const std::string& text, const std::string& marker, size_t* position) {
  size_t at = text.find(marker, *position);
  if (at == std::string::npos) return 0;
  at += marker.size();
  int v = 0;
  bool negative = false;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
  while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
    if (v < 100000000) v = v * 10 + (text[at] - '0');
    ++at;
  }
  *position = at;
  return negative ? -v : v;
}

Ref<Error> moveError(const std::string& from, const std::string& to, Ref<Error> underlying) {
  return Error::errorWithDescription(kHttpRequestErrorDomain, kFileManagementError,
                                     kit::format("Failed to move file from '%@' to '%@'", from, to),
                                     std::move(underlying));
}

Ref<Error> writeError(const std::string& path, Ref<Error> underlying) {
  return Error::errorWithDescription(kHttpRequestErrorDomain, kFileManagementError,
                                     kit::format("Failed to write to file at path '%@'", path), std::move(underlying));
}

// Empties a file that is to be written from the start. One that is empty already (a new
// temporary file) is left alone: truncating it gains nothing, and ext4 then pushes the whole new
// body to disk when the file is closed (as it does for files truncated to nothing), which holds
// up the end of every download.
bool emptyFile(kit::FileHandle& file, Ref<Error>* error) {
  const std::optional<uint64_t> length = file.length();
  if (length && *length == 0) return true;
  return file.truncate(0, error);
}

// Below this a body's room is faulted in by the receiving itself.
constexpr size_t kPrefaultedFrom = size_t(8) << 20;
// From this size a body in memory is kept in pages of its own.
constexpr size_t kPagedBodyFrom = kit::MutableData::kPagedFrom;

bool sameOrigin(const kit::URL* a, const kit::URL* b) {
  if (!a || !b) return false;
  auto effectivePort = [](const kit::URL* u) {
    if (u->port()) return *u->port();
    return u->lowercaseScheme() == "https" ? 443 : 80;
  };
  return a->lowercaseScheme() == b->lowercaseScheme() && a->lowercaseHost() == b->lowercaseHost() &&
         effectivePort(a) == effectivePort(b);
}

}  // namespace

bool HttpRequest::parseDecimalLength(std::string_view text, uint64_t* out) {
  std::string t = trim(text);
  if (t.empty() || t.size() > 19) return false;
  uint64_t v = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  *out = v;
  return true;
}

// ---- Events

void HttpRequest::handleNetworkEvent(kit::InputStream::Event type) {
  // Reports posted below reach the main thread once the lock is let go: its handlers take it too.
  RunLoop::HoldMainWakeUps hold;
  Ref<HttpRequest> self(this);
  // This runs on the network thread: whatever throws here ends this request, not the process.
  try {
    {
      std::lock_guard<std::recursive_mutex> g(cancelledLock_);
      if (complete() || isCancelled()) return;
      if (type == kit::InputStream::kEventEndEncountered) {
        handleStreamComplete();
      } else if (type == kit::InputStream::kEventErrorOccurred) {
        handleStreamError();
      } else if (type == kit::InputStream::kEventHasBytesAvailable) {
        handleBytesAvailable();
      }
      performThrottling();
    }
    if (finishPending_) {
      finishPending_ = false;
      finishResponse();
      return;
    }

    if (downloadComplete() && needsRedirect()) {
      HttpRequestDelegate* d = currentDelegate();
      Ref<kit::Object> keep;
      HttpRequestDelegate* q = currentQueueDelegate(&keep);
      HttpSelector selector = willRedirectSelector();
      if ((d && selector && d->respondsToSelector(selector.name())) ||
          (q && q->respondsToSelector(HttpRequestDelegate::kRequestWillRedirectToURL))) {
        Ref<kit::URL> next = redirectURL();
        setRedirectURL(nullptr);
        requestWillRedirectToURL(next);
      } else {
        performRedirect();
      }
    } else if (downloadComplete() && authenticationNeeded()) {
      attemptToApplyCredentialsAndResume();
    }
  } catch (...) {
    std::lock_guard<std::recursive_mutex> g(cancelledLock_);
    failWithUnhandledException();
  }
}

// ---- Headers

void HttpRequest::readResponseHeaders() {
  setAuthenticationNeeded(0);
  Ref<kit::HTTPReadStream> stream = readStream();
  Ref<kit::HTTPMessage> message = stream ? stream->responseHeader() : nullptr;
  if (!message || !message->isHeaderComplete()) return;

  Ref<kit::Dictionary> headers = message->allHeaderFields();
  setResponseHeaders(headers);
  const int status = message->statusCode();
  setResponseStatusCode(status);
  setResponseStatusMessage(message->statusLine());

  if (Ref<HttpCacheDelegate> cache = downloadCache()) {
    // When the cache cannot answer after all, the live response is read as usual.
    if (cache->canUseCachedDataForRequest(this) && !useDataFromCache()) {
      cache->storeResponseForRequest(this, secondsToCache());
      return;
    }
  }

  if (status == 401) setAuthenticationNeeded(1);
  else if (status == 407) setAuthenticationNeeded(2);

  if (!authenticationNeeded() && !requestAuthentication_ && !username().empty() && !password().empty() &&
      useSessionPersistence() && ownCredentialsApplyHere()) {
    auto credentials = kit::MutableDictionary::dictionary();
    credentials->setObject(kit::str(username()), "Username");
    credentials->setObject(kit::str(password()), "Password");
    auto entry = kit::MutableDictionary::dictionary();
    entry->setObject(credentials, "Credentials");
    entry->setObject(url(), "URL");
    entry->setObject(kit::str(kAuthenticationSchemeBasic), "AuthenticationScheme");
    storeAuthenticationCredentialsInSessionStore(entry);
  }

  parseStringEncodingFromHeaders();

  Ref<kit::URL> current = url();
  auto cookies = kit::MutableArray::array();
  if (current) {
    std::vector<Ref<kit::HTTPCookie>> received =
        kit::HTTPCookie::cookiesWithSetCookieHeaders(message->setCookieHeaders(), *current);
    for (const auto& c : received) cookies->addObject(c);
    if (useCookiePersistence() && !received.empty()) {
      kit::HTTPCookieStorage::sharedHTTPCookieStorage().setCookies(received, *current, nullptr);
      for (const auto& c : received) addSessionCookie(c);
    }
  }
  setResponseCookies(cookies);

  // Redirects: only to http and https, and only with a Location that reads as a URL.
  const std::string location = headerValue(headers, "Location");
  Ref<kit::URL> next;
  if (shouldRedirect() && !location.empty() && (status == 301 || status == 302 || status == 303 || status == 307)) {
    next = kit::URL::URLWithString(location, current.get());
    if (!next) next = kit::URL::lenientURLWithString(location, current.get());
    if (next && next->lowercaseScheme() != "http" && next->lowercaseScheme() != "https") next = nullptr;
  }
  if (next) {
    if (status == 307 || (shouldUseRFC2616RedirectBehaviour() && status != 303)) {
      // Method and body stay; the cookies are rebuilt for the new URL when it is followed.
    } else {
      setRequestMethod("GET");
      setPostBody(nullptr);
      setCompressedPostBody(nullptr);
      setPostLength(0);
      // A body streamed from a file goes too (its files are removed with the rest at the end).
      setShouldStreamPostDataFromDisk(false);
      Ref<kit::MutableDictionary> old = requestHeaders();
      auto kept = kit::MutableDictionary::dictionary();
      for (const char* name : {"User-Agent", "Accept"}) {
        if (old) {
          if (kit::Object* v = old->objectForKey(name)) kept->setObject(kit::str(v->description()), name);
        }
      }
      setRequestHeaders(kept);
      setHaveBuiltRequestHeaders(false);
    }
    setRedirectURL(next);
    setNeedsRedirect(true);
    setRequestCookies(kit::MutableArray::array());
    requestRedirected();
  } else {
    // What this response does to a download file: 200 writes it from the start, a 206 that
    // continues the partial file appends, anything else leaves it alone.
    writesDownloadFile_ = false;
    if (!downloadDestinationPath().empty()) {
      if (status == 200) {
        writesDownloadFile_ = true;
        setPartialDownloadSize(0);
      } else if (status == 206) {
        // Only the rest of the file, from where the partial file ends to the end of the file,
        // continues it: any other range, or a length that contradicts it, would complete wrong.
        uint64_t start = 0, last = 0, total = 0, length = 0;
        const bool ranged = parseContentRange(headerValue(headers, "Content-Range"), &start, &last, &total);
        const bool hasLength = parseDecimalLength(headerValue(headers, "Content-Length"), &length);
        std::string problem;
        if (!ranged) {
          problem = "The partial response names no byte range it holds";
        } else if (start != partialDownloadSize()) {
          problem = kit::format("The partial response starts at byte %llu of the file, where the partial download "
                                "holds %llu bytes",
                                start, partialDownloadSize());
        } else if (total != 0 && last + 1 != total) {
          problem = kit::format("The partial response ends at byte %llu of a file of %llu bytes", last, total);
        } else if (hasLength && length != last - start + 1) {
          problem = kit::format("The partial response announces %llu bytes for a range of %llu", length,
                                last - start + 1);
        }
        rangeLength_ = ranged ? last - start + 1 : 0;
        if (!problem.empty()) {
          auto mismatch = kit::NetError::make(kit::NetError::kProtocolError, problem);
          cancelLoad();
          failWithError(Error::errorWithDescription(kHttpRequestErrorDomain, kConnectionFailureErrorType,
                                                    "A connection failure occurred", mismatch));
          return;
        }
        writesDownloadFile_ = true;
      }
    }

    HttpRequest* theRequest = mainRequest_ ? mainRequest_ : this;
    uint64_t length = 0;
    if (parseDecimalLength(headerValue(headers, "Content-Length"), &length)) {
      if (mainRequest_ && requestMethod() == "HEAD" && allowCompressedResponse() && showAccurateProgress() &&
          shouldResetDownloadProgress() && length == 20) {
        mainRequest_->setShowAccurateProgress(false);
        mainRequest_->incrementDownloadSizeBy(1);
      } else {
        theRequest->setContentLength(length);
        reserveResponseMemory(length);
        // A HEAD request measuring for its main request decides by its own flags: the main
        // request's reset is turned off by the queue that added the HEAD request.
        if (showAccurateProgress() && shouldResetDownloadProgress()) {
          theRequest->incrementDownloadSizeBy(
              static_cast<int64_t>(theRequest->contentLength() + theRequest->partialDownloadSize()));
        }
      }
    } else if (theRequest->showAccurateProgress() && theRequest->shouldResetDownloadProgress()) {
      theRequest->setShowAccurateProgress(false);
      theRequest->incrementDownloadSizeBy(1);
    }
  }

  if (shouldAttemptPersistentConnection()) {
    const std::string connection = lower(headerValue(headers, "Connection"));
    bool reusable = connection != "close";
    if (message->isVersion1_0() && connection != "keep-alive") reusable = false;
    if (reusable) {
      const std::string keepAlive = headerValue(headers, "Keep-Alive");
      if (!keepAlive.empty()) {
        size_t at = 0;
        const int timeout = scanIntAfter(keepAlive, "timeout=", &at);
        const int max = scanIntAfter(keepAlive, "max=", &at);
        if (max > 5) {
          setConnectionCanBeReused(true);
          setPersistentConnectionTimeoutSeconds(timeout);
        }
      } else {
        setConnectionCanBeReused(true);
      }
    }
  }

  requestReceivedResponseHeaders(kit::cast<kit::Dictionary>(headers->copy()));
  readBodyStraightIntoMemory();
}

void HttpRequest::parseStringEncodingFromHeaders() {
  unsigned encoding = 0;
  std::string mime;
  parseMimeType(&mime, &encoding, headerValue(responseHeaders(), "Content-Type"));
  setResponseEncoding(encoding ? encoding : defaultResponseEncoding());
}

void HttpRequest::parseMimeType(std::string* mimeType, unsigned* stringEncoding, const std::string& contentType) {
  if (contentType.empty()) return;
  const size_t semicolon = contentType.find(';');
  if (semicolon != std::string::npos && semicolon + 1 < contentType.size()) {
    *mimeType = trim(std::string_view(contentType).substr(0, semicolon));
    const std::string rest = contentType.substr(semicolon + 1);
    const size_t at = lower(rest).find("charset=");
    if (at != std::string::npos) {
      std::string name = rest.substr(at + 8);
      name = trim(name.substr(0, name.find(';')));
      if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
      if (unsigned e = encodingForCharsetName(name)) *stringEncoding = e;
    }
  } else {
    *mimeType = trim(semicolon == std::string::npos ? contentType : contentType.substr(0, semicolon));
  }
}

namespace {

// Charsets beyond the fixed numbers get numbers of their own, handed out once per name.
constexpr unsigned kFirstRegisteredEncoding = 0x7f000000;
std::mutex& registeredMutex() {
  static std::mutex m;
  return m;
}
std::vector<std::string>& registeredNames() {
  static std::vector<std::string> names;
  return names;
}

// The iconv name of an encoding number; empty when none.
std::string iconvName(unsigned encoding) {
  switch (encoding) {
    case 11: return "CP1251";
    case 13: return "CP1253";
    case 14: return "CP1254";
    case 15: return "CP1250";
    case 30: return "MACINTOSH";
    case 3: return "EUC-JP";
    case 8: return "SHIFT_JIS";
    case 9: return "ISO-8859-2";
    case 21: return "ISO-2022-JP";
    case 0x90000100: return "UTF-16BE";
    case 0x94000100: return "UTF-16LE";
    case 0x8c000100: return "UTF-32";
    case 0x98000100: return "UTF-32BE";
    case 0x9c000100: return "UTF-32LE";
    default: break;
  }
  if (encoding >= kFirstRegisteredEncoding) {
    std::lock_guard<std::mutex> g(registeredMutex());
    const size_t i = encoding - kFirstRegisteredEncoding;
    if (i < registeredNames().size()) return registeredNames()[i];
  }
  return {};
}

bool iconvKnows(const std::string& name) {
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(cd);
  return true;
}

// Decodes with iconv; a sequence the charset cannot read becomes U+FFFD and decoding goes on.
std::string iconvDecode(std::string_view bytes, const std::string& from) {
  iconv_t cd = iconv_open("UTF-8", from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  std::string out;
  std::vector<char> buffer(std::max<size_t>(bytes.size() * 4, 64));
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  while (inLeft > 0) {
    char* o = buffer.data();
    size_t oLeft = buffer.size();
    const size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(buffer.data(), size_t(o - buffer.data()));
    if (r != size_t(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL (cut short at the end): one byte is skipped for a replacement character.
    out += "\xEF\xBF\xBD";
    ++in;
    --inLeft;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  char* o = buffer.data();
  size_t oLeft = buffer.size();
  iconv(cd, nullptr, nullptr, &o, &oLeft);
  out.append(buffer.data(), size_t(o - buffer.data()));
  iconv_close(cd);
  return out;
}

// UTF-16 named without a byte order: the byte order mark decides, else where the zero bytes
// of ASCII text fall, else big-endian.
std::string decodeUTF16(std::string_view bytes) {
  if (bytes.size() >= 2) {
    const auto b0 = static_cast<unsigned char>(bytes[0]), b1 = static_cast<unsigned char>(bytes[1]);
    if (b0 == 0xff && b1 == 0xfe) return iconvDecode(bytes.substr(2), "UTF-16LE");
    if (b0 == 0xfe && b1 == 0xff) return iconvDecode(bytes.substr(2), "UTF-16BE");
  }
  size_t evenZeros = 0, oddZeros = 0;
  for (size_t i = 0; i < bytes.size(); ++i) (i % 2 ? oddZeros : evenZeros) += bytes[i] == 0;
  return iconvDecode(bytes, oddZeros > evenZeros ? "UTF-16LE" : "UTF-16BE");
}

// The iconv name text in the encoding is written with, and the charset name it is labelled with.
std::pair<std::string, std::string> writerNames(unsigned encoding) {
  switch (encoding) {
    case HttpRequest::kASCIIStringEncoding: return {"ASCII", "us-ascii"};
    case HttpRequest::kUTF8StringEncoding: return {"UTF-8", "utf-8"};
    case HttpRequest::kISOLatin1StringEncoding: return {"ISO-8859-1", "iso-8859-1"};
    case HttpRequest::kWindowsCP1252StringEncoding: return {"CP1252", "windows-1252"};
    case 10: return {"UTF-16", "utf-16"};
    default: break;
  }
  const std::string name = iconvName(encoding);
  // Windows code pages are labelled by their registered names.
  if (name.rfind("CP125", 0) == 0) return {name, "windows-" + name.substr(2)};
  return {name, lower(name)};
}

}  // namespace

std::string HttpRequest::charsetNameForEncoding(unsigned encoding) {
  const auto [writer, charset] = writerNames(encoding);
  if (writer.empty()) return {};
  iconv_t cd = iconv_open(writer.c_str(), "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  iconv_close(cd);
  return charset;
}

bool HttpRequest::encodeText(std::string_view utf8, unsigned encoding, std::string* out) {
  const std::string writer = writerNames(encoding).first;
  iconv_t cd = writer.empty() ? reinterpret_cast<iconv_t>(-1) : iconv_open(writer.c_str(), "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out->clear();
  std::vector<char> buffer(std::max<size_t>(utf8.size() * 4, 64));
  auto convert = [&](char** in, size_t* inLeft) {
    while (true) {
      char* o = buffer.data();
      size_t oLeft = buffer.size();
      const size_t r = iconv(cd, in, inLeft, &o, &oLeft);
      out->append(buffer.data(), size_t(o - buffer.data()));
      if (r != size_t(-1) || errno != E2BIG) return r != size_t(-1);
    }
  };
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  while (inLeft > 0 && !convert(&in, &inLeft)) {
    // A character the encoding has no place for (or a broken sequence) is written as "?".
    const auto lead = static_cast<unsigned char>(*in);
    size_t skip = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc0 ? 2 : 1;
    skip = std::min(skip, inLeft);
    in += skip;
    inLeft -= skip;
    char question[] = "?";
    char* q = question;
    size_t qLeft = 1;
    convert(&q, &qLeft);
  }
  char* o = buffer.data();
  size_t oLeft = buffer.size();
  iconv(cd, nullptr, nullptr, &o, &oLeft);
  out->append(buffer.data(), size_t(o - buffer.data()));
  iconv_close(cd);
  return true;
}

unsigned HttpRequest::encodingForCharsetName(const std::string& name) {
  const std::string n = lower(trim(name));
  if (n == "utf-8" || n == "utf8") return kUTF8StringEncoding;
  if (n == "iso-8859-1" || n == "latin1" || n == "iso_8859-1" || n == "l1") return kISOLatin1StringEncoding;
  if (n == "us-ascii" || n == "ascii") return kASCIIStringEncoding;
  if (n == "windows-1252" || n == "cp1252") return kWindowsCP1252StringEncoding;
  if (n == "utf-16") return 10;
  if (n == "utf-16be") return 0x90000100;
  if (n == "utf-16le") return 0x94000100;
  if (n == "utf-32") return 0x8c000100;
  if (n == "utf-32be") return 0x98000100;
  if (n == "utf-32le") return 0x9c000100;
  if (n == "iso-8859-2") return 9;
  if (n == "shift_jis") return 8;
  if (n == "euc-jp") return 3;
  if (n == "iso-2022-jp") return 21;
  // Any other charset the system can read gets a number of its own; names it cannot are unknown.
  if (n.empty() || n.size() > 64 || n.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-_.:()") != std::string::npos) {
    return 0;
  }
  std::lock_guard<std::mutex> g(registeredMutex());
  auto& names = registeredNames();
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == n) return kFirstRegisteredEncoding + unsigned(i);
  }
  if (!iconvKnows(n) || names.size() >= 4096) return 0;
  names.push_back(n);
  return kFirstRegisteredEncoding + unsigned(names.size() - 1);
}

std::string HttpRequest::decodeText(const Data* data, unsigned encoding) {
  if (!data) return {};
  std::string_view bytes = data->view();
  switch (encoding) {
    case kUTF8StringEncoding:
      return kit::utf8::isValid(bytes) ? std::string(bytes) : std::string();
    case kASCIIStringEncoding:
      for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) return {};
      }
      return std::string(bytes);
    case kWindowsCP1252StringEncoding: {
      static const uint16_t high[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                        0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
      std::string out;
      for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        kit::utf8::append(out, b >= 0x80 && b < 0xA0 ? high[b - 0x80] : b);
      }
      return out;
    }
    case 10:
      return decodeUTF16(bytes);
    default: {
      if (const std::string name = iconvName(encoding); !name.empty()) return iconvDecode(bytes, name);
      std::string out;
      out.reserve(bytes.size());
      for (char c : bytes) kit::utf8::append(out, static_cast<unsigned char>(c));
      return out;
    }
  }
}

// ---- Body

namespace {
std::atomic<uint64_t> gMaximumInMemoryBodyLength{HttpRequest::kDefaultMaximumInMemoryBodyLength};
}  // namespace

uint64_t HttpRequest::maximumInMemoryBodyLength() { return gMaximumInMemoryBodyLength.load(); }

void HttpRequest::setMaximumInMemoryBodyLength(uint64_t length) { gMaximumInMemoryBodyLength.store(length); }

Ref<Error> HttpRequest::tooLargeForMemoryError() const {
  return Error::errorWithDescription(
      kHttpRequestErrorDomain, kFileManagementError,
      kit::format("The response body is too large to be held in memory (more than %llu bytes)",
                  static_cast<unsigned long long>(maximumInMemoryBodyLength())));
}

bool HttpRequest::appendToMemoryBody(kit::MutableData& memory, const void* bytes, size_t length) {
  const uint64_t bound = keepsUnstoredBody_ ? kMaximumUnstoredBodyLength : maximumInMemoryBodyLength();
  if (memory.length() + length > bound) {
    if (!keepsUnstoredBody_) {
      cancelLoad();
      failWithError(tooLargeForMemoryError());
      return false;
    }
    // An error page beside a download: what is beyond the bound is not kept.
    length = memory.length() < bound ? static_cast<size_t>(bound - memory.length()) : 0;
    if (length == 0) return true;
  }
  // Storage about to move: the faulting ahead of the old place stops first.
  if (memory.capacity() < memory.length() + length) prefaulter_.reset();
  try {
    // A large body moves into pages of its own, which then grow without copying what is there.
    const bool paging = memory.length() + length >= kPagedBodyFrom && memory.capacity() < memory.length() + length;
    if (paging) memory.reserveTail(length);
    memory.appendBytes(bytes, length);
    if (paging) readBodyStraightIntoMemory();
  } catch (const std::bad_alloc&) {
    cancelLoad();
    failWithError(tooLargeForMemoryError());
    return false;
  }
  return true;
}

Ref<Error> HttpRequest::inflateMemoryBody() {
  Ref<kit::MutableData> raw = rawResponseData();
  // A gzip label on an empty body is an empty body.
  if (!raw || raw->length() == 0) return nullptr;
  // Fed in small slices, so that no single step can make more than the bound allows by much.
  constexpr size_t kSlice = 16384;
  const uint64_t bound = maximumInMemoryBodyLength();
  Ref<HttpDataDecompressor> decompressor = HttpDataDecompressor::decompressor();
  auto out = kit::MutableData::data();
  try {
    for (size_t at = 0; at < raw->length() && !decompressor->streamEnded(); at += kSlice) {
      if (cancelRequested_.load()) return HttpRequestShared::get().requestCancelledError;
      Ref<Error> e;
      Ref<Data> piece = decompressor->uncompressBytes(raw->bytes() + at, std::min(kSlice, raw->length() - at), &e);
      if (!piece) return e;
      if (out->length() + piece->length() > bound) return tooLargeForMemoryError();
      out->appendData(*piece);
    }
  } catch (const std::bad_alloc&) {
    return tooLargeForMemoryError();
  }
  if (!decompressor->streamEnded()) return HttpDataDecompressor::inflateErrorWithCode(Z_BUF_ERROR);
  if (Ref<Error> e = decompressor->closeStream()) return e;
  storeProperty(inflatedResponseData_, Ref<Data>(out));
  return nullptr;
}

void HttpRequest::reserveResponseMemory(uint64_t length) {
  // A body kept in memory gets its room at once instead of growing by copies; the announced
  // length is not trusted beyond a bound.
  constexpr uint64_t kMostReserved = uint64_t(1) << 30;
  Ref<kit::MutableData> memory = rawResponseData();
  if (!memory || memory->length() != 0 || length == 0 || !downloadDestinationPath().empty()) return;
  if (isResponseCompressed() && !shouldWaitToInflateCompressedResponses()) return;
  const size_t wanted = static_cast<size_t>(std::min(length, kMostReserved));
  Ref<kit::MutableData> body;
  try {
    if (wanted >= kPagedBodyFrom) {
      // Pages of its own: untouched until filled, and grown without copying should more come.
      body = kit::MutableData::data();
      body->reserveTail(wanted);
    } else {
      std::vector<uint8_t> room;
      room.reserve(wanted);
      body = kit::make<kit::MutableData>(std::move(room));
    }
  } catch (const std::bad_alloc&) {
    return;
  }
  // Faulting in fresh memory (the kernel clears each page) costs as much as receiving it; done
  // on a thread of its own it overlaps with the receiving.
  prefaulter_.reset();
  if (body->capacity() >= kPrefaultedFrom && !body->appendsThroughKernel()) {
    prefaulter_ = std::make_unique<kit::PagePrefaulter>(body->mutableBytes(), body->capacity());
  }
  setRawResponseData(body);
}

bool HttpRequest::openDownloadFile(bool* append) {
  *append = false;
  if (temporaryFileDownloadPath().empty()) {
    setTemporaryFileDownloadPath(HttpRequestShared::temporaryPath());
    madeTemporaryDownloadPath_ = true;
  } else if (allowResumeForFileDownloads() && responseStatusCode() == 206) {
    *append = true;
  }
  Ref<Error> e;
  Ref<kit::FileHandle> out = kit::FileHandle::fileHandleForAppending(temporaryFileDownloadPath(), &e);
  if (!out || (!*append && !emptyFile(*out, &e))) {
    failWithError(writeError(temporaryFileDownloadPath(), e));
    return false;
  }
  setFileDownloadOutputStream(out);
  if (isResponseCompressed() && !shouldWaitToInflateCompressedResponses()) {
    if (temporaryUncompressedDataDownloadPath().empty()) {
      setTemporaryUncompressedDataDownloadPath(HttpRequestShared::temporaryPath());
    }
    Ref<kit::FileHandle> inflated =
        kit::FileHandle::fileHandleForAppending(temporaryUncompressedDataDownloadPath(), &e);
    if (!inflated || (!*append && !emptyFile(*inflated, &e))) {
      failWithError(writeError(temporaryUncompressedDataDownloadPath(), e));
      return false;
    }
    setInflatedFileDownloadOutputStream(inflated);
  }
  downloadFileOpened_ = true;
  return true;
}

void HttpRequest::writeToDownloadFile(std::string_view raw, const Data* inflated) {
  bool append = false;
  if (!downloadFileOpened_ && !openDownloadFile(&append)) return;
  Ref<Error> e;
  if (Ref<kit::FileHandle> out = fileDownloadOutputStream(); out && !out->write(raw, &e)) {
    cancelLoad();
    failWithError(writeError(out->path(), e));
    return;
  }
  if (inflated && inflated->length()) {
    if (Ref<kit::FileHandle> out = inflatedFileDownloadOutputStream(); out && !out->write(inflated->view(), &e)) {
      cancelLoad();
      failWithError(writeError(out->path(), e));
    }
  }
}

void HttpRequest::handleBytesAvailable() {
  if (!responseHeaders()) readResponseHeaders();
  // Everything waiting is taken in one go, a buffer at a time, unless the throttle says stop:
  // the stream is then detached and looks at what is left when it is attached again.
  while (!complete()) {
    Ref<kit::HTTPReadStream> stream = readStream();
    if (!stream || !stream->hasBytesAvailable()) return;
    if (!readChunk(stream)) return;
    if (isBandwidthThrottled()) {
      measureBandwidthUsage();
      if (isThrottleWakeUpPending()) return;
    }
  }
}

bool HttpRequest::takesDataItself() const {
  HttpRequestDelegate* d = currentDelegate();
  HttpSelector dataSelector = didReceiveDataSelector();
  {
    std::lock_guard<std::mutex> p(propertyMutex_);
    if (blocks_.dataReceived) return true;
  }
  return d && dataSelector && d->respondsToSelector(dataSelector.name());
}

void HttpRequest::readBodyStraightIntoMemory() {
  Ref<kit::HTTPReadStream> stream = readStream();
  Ref<kit::MutableData> memory = rawResponseData();
  if (readsIntoMemory_ || !stream || !memory || memory->capacity() < kPagedBodyFrom || keepsUnstoredBody_ ||
      !downloadDestinationPath().empty() || needsRedirect() || authenticationNeeded() || isBandwidthThrottled() ||
      (isResponseCompressed() && !shouldWaitToInflateCompressedResponses()) || takesDataItself()) {
    return;
  }
  readsIntoMemory_ = true;
  kit::WeakRef<HttpRequest> weak(this);
  const kit::HTTPReadStream* from = stream.get();
  stream->setBodySink(
      [weak, from](size_t* length) -> char* {
        Ref<HttpRequest> r = weak.lock();
        return r && r->readStream().get() == from ? r->bodyRoom(length) : nullptr;
      },
      [weak, from](size_t length) {
        Ref<HttpRequest> r = weak.lock();
        if (r && r->readStream().get() == from) r->bodyFilled(length);
      });
}

char* HttpRequest::bodyRoom(size_t* length) {
  std::lock_guard<std::recursive_mutex> g(cancelledLock_);
  Ref<kit::MutableData> memory = rawResponseData();
  const uint64_t bound = maximumInMemoryBodyLength();
  // Nothing here: the stream keeps the bytes, and the usual path takes (or refuses) them.
  if (!memory || complete() || isCancelled() || memory->length() >= bound) return nullptr;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(kBodyBounceLength, bound - memory->length()));
  // Pages a memory file holds are filled by appending from a small buffer that stays in cache.
  if (memory->appendsThroughKernel()) {
    if (!bodyBounce_) bodyBounce_ = std::make_unique<char[]>(kBodyBounceLength);
    *length = n;
    return bodyBounce_.get();
  }
  if (memory->capacity() < memory->length() + n) prefaulter_.reset();
  try {
    char* room = reinterpret_cast<char*>(memory->reserveTail(n));
    *length = n;
    return room;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void HttpRequest::bodyFilled(size_t length) {
  std::lock_guard<std::recursive_mutex> g(cancelledLock_);
  Ref<kit::MutableData> memory = rawResponseData();
  if (!memory) return;
  if (memory->appendsThroughKernel()) {
    // Only bytes bodyRoom handed out come back here: the buffer holds them.
    if (!bodyBounce_ || !appendToMemoryBody(*memory, bodyBounce_.get(), length)) return;
  } else {
    memory->commitTail(length);
  }
  setTotalBytesRead(totalBytesRead() + static_cast<uint64_t>(length));
  setLastActivityTime(kit::Date::date());
  incrementBandwidthUsedInLastSecond(static_cast<unsigned long>(length));
  if (prefaulter_) {
    if (prefaulter_->base() == memory->bytes() && memory->length() < memory->capacity()) prefaulter_->writerReached(memory->length());
    else prefaulter_.reset();
  }
}

bool HttpRequest::readChunk(const Ref<kit::HTTPReadStream>& stream) {
  const uint64_t expected = contentLength();
  const size_t bufferSize =
      throttledReadBufferSize(expected > 262144 ? 262144 : expected > 65536 ? 65536 : 16384);
  // The bytes are used where the stream holds them and taken from it afterwards: no copy.
  std::string_view raw = stream->peekBytes();
  if (raw.empty()) return false;
  if (raw.size() > bufferSize) raw = raw.substr(0, bufferSize);
  const bool more = takeChunk(raw);
  stream->skipBytes(raw.size());
  return more;
}

bool HttpRequest::takeChunk(std::string_view raw) {
  const size_t n = raw.size();

  Ref<Data> inflated;
  if (isResponseCompressed() && !shouldWaitToInflateCompressedResponses()) {
    Ref<HttpDataDecompressor> decompressor = dataDecompressor();
    if (!decompressor) {
      decompressor = HttpDataDecompressor::decompressor();
      setDataDecompressor(decompressor);
    }
    Ref<Error> e;
    try {
      inflated = decompressor->uncompressBytes(reinterpret_cast<const uint8_t*>(raw.data()), raw.size(), &e);
    } catch (const std::bad_alloc&) {
      e = tooLargeForMemoryError();
    }
    if (!inflated) {
      cancelLoad();
      failWithError(e);
      return false;
    }
  }

  setTotalBytesRead(totalBytesRead() + static_cast<uint64_t>(n));
  setLastActivityTime(kit::Date::date());
  incrementBandwidthUsedInLastSecond(static_cast<unsigned long>(n));

  // The body of a redirect never reaches a partial file.
  if (needsRedirect() && shouldRedirect() && allowResumeForFileDownloads()) return true;

  if (takesDataItself()) {
    passedBodyOn_ = true;
    passOnReceivedData(inflated ? inflated : Data::dataWithBytes(raw.data(), raw.size()));
    return true;
  }

  if (!downloadDestinationPath().empty() && writesDownloadFile_) {
    writeToDownloadFile(raw, inflated);
    return !complete();
  }
  Ref<kit::MutableData> memory = rawResponseData();
  if (!memory) {
    // A download that got an answer it does not store (an error page): kept in memory instead.
    memory = kit::MutableData::data();
    setRawResponseData(memory);
    keepsUnstoredBody_ = !downloadDestinationPath().empty();
  }
  if (!(inflated ? appendToMemoryBody(*memory, inflated->bytes(), inflated->length())
                 : appendToMemoryBody(*memory, raw.data(), raw.size()))) {
    return false;
  }
  if (prefaulter_) {
    if (prefaulter_->base() == memory->bytes() && memory->length() < memory->capacity()) prefaulter_->writerReached(memory->length());
    else prefaulter_.reset();  // moved or full: nothing left ahead to fault in
  }
  return true;
}

// ---- End of the response

Ref<Error> HttpRequest::decompressorEndError() {
  Ref<HttpDataDecompressor> decompressor = dataDecompressor();
  if (decompressor && !decompressor->streamEnded()) return HttpDataDecompressor::inflateErrorWithCode(Z_BUF_ERROR);
  return nullptr;
}

namespace {

// Only a file (or a link) at the destination is replaced: a folder, or anything else the request
// did not write, stays where it is, and the request fails.
bool clearDestination(const std::string& destination, Ref<Error>* fileError) {
  struct stat st {};
  if (::lstat(destination.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
    *fileError = Error::errorWithDescription(
        kHttpRequestErrorDomain, kFileManagementError,
        S_ISDIR(st.st_mode) ? kit::format("The download destination '%@' is a folder; it was left as it is", destination)
                            : kit::format("The download destination '%@' is not a file; it was left as it is", destination));
    return false;
  }
  return HttpRequest::removeFileAtPath(destination, fileError);
}

}  // namespace

bool HttpRequest::inflateDownloadAtEnd(Ref<Error>* fileError) {
  const std::string temp = temporaryFileDownloadPath();
  const std::string destination = downloadDestinationPath();
  if (temporaryUncompressedDataDownloadPath().empty()) {
    setTemporaryUncompressedDataDownloadPath(HttpRequestShared::temporaryPath());
  }
  const std::string inflatedPath = temporaryUncompressedDataDownloadPath();
  Ref<Error> e;
  const std::function<bool()> stop = [this] { return cancelRequested_.load(); };
  if (!HttpDataDecompressor::uncompressDataFromFile(temp, inflatedPath, &e, stop)) {
    if (cancelRequested_.load()) e = HttpRequestShared::get().requestCancelledError;
    // The compressed file stays for another try; the half-inflated one goes.
    removeFileAtPath(inflatedPath, nullptr);
    setTemporaryUncompressedDataDownloadPath({});
    *fileError = e;
    return false;
  }
  if (!clearDestination(destination, fileError)) return false;
  if (!kit::FileManager::moveItem(inflatedPath, destination, &e)) {
    *fileError = moveError(inflatedPath, destination, e);
    return false;
  }
  setTemporaryUncompressedDataDownloadPath({});
  removeTemporaryDownloadFile();
  return true;
}

void HttpRequest::finishDownloadFile(Ref<Error>* fileError) {
  if (auto out = fileDownloadOutputStream()) out->close();
  if (auto out = inflatedFileDownloadOutputStream()) out->close();
  setFileDownloadOutputStream(nullptr);
  setInflatedFileDownloadOutputStream(nullptr);
  if (needsRedirect() && shouldRedirect() && allowResumeForFileDownloads()) return;

  const std::string temp = temporaryFileDownloadPath();
  const std::string destination = downloadDestinationPath();
  if (isResponseCompressed() && totalBytesRead() == 0) {
    // A gzip label on an empty body: the empty file is the body.
    removeTemporaryUncompressedDownloadFile();
  } else if (isResponseCompressed()) {
    if (shouldWaitToInflateCompressedResponses()) {
      inflateDownloadAtEnd(fileError);
      return;
    }
    const std::string inflatedPath = temporaryUncompressedDataDownloadPath();
    if (!clearDestination(destination, fileError)) return;
    Ref<Error> e;
    if (!kit::FileManager::moveItem(inflatedPath, destination, &e)) {
      *fileError = moveError(inflatedPath, destination, e);
      return;
    }
    setTemporaryUncompressedDataDownloadPath({});
    removeTemporaryDownloadFile();
    return;
  }
  if (!clearDestination(destination, fileError)) return;
  Ref<Error> e;
  if (!kit::FileManager::moveItem(temp, destination, &e)) {
    *fileError = moveError(temp, destination, e);
    return;
  }
  setTemporaryFileDownloadPath({});
}

void HttpRequest::storeInCache() {
  // A body handed to the delegate was kept nowhere: storing the response would keep it empty.
  if (passedBodyOn_) return;
  if (Ref<HttpCacheDelegate> cache = downloadCache(); cache && !didUseCachedResponse()) {
    cache->storeResponseForRequest(this, secondsToCache());
  }
}

void HttpRequest::handleStreamComplete() {
  Ref<HttpRequest> self(this);
  setStatusTimer(nullptr);
  setDownloadComplete(true);
  if (!responseHeaders()) readResponseHeaders();
  // A response refused while its headers were read has already failed the request.
  if (error()) return;

  // Only a response reported here has its body finished later; the others finish it now.
  const bool reportsHere = !needsRedirect() && !authenticationNeeded() && !didUseCachedResponse();
  Ref<Error> fileError;
  {
    std::lock_guard<std::recursive_mutex> g(HttpRequestShared::get().progressLock);
    Ref<kit::HTTPReadStream> stream = readStream();
    setLastBytesSent(totalBytesSent());
    if (stream) setTotalBytesSent(stream->requestBytesWritten());
    setComplete(true);
    if (contentLength() == 0) setContentLength(totalBytesRead());
    updateProgressIndicators();
    if (Ref<kit::InputStream> body = postBodyReadStream()) {
      body->close();
      setPostBodyReadStream(nullptr);
    }
    // A gzip body inflated on the fly must have reached its end, or the file is cut short.
    if (isResponseCompressed() && !shouldWaitToInflateCompressedResponses()) fileError = decompressorEndError();
    // A partial answer continues the file only when it brought the very range it named.
    if (!fileError && writesDownloadFile_ && responseStatusCode() == 206 && totalBytesRead() != rangeLength_) {
      fileError = Error::errorWithDescription(
          kHttpRequestErrorDomain, kConnectionFailureErrorType, "A connection failure occurred",
          kit::NetError::make(kit::NetError::kProtocolError,
                              kit::format("The partial response brought %llu bytes for a range of %llu",
                                          totalBytesRead(), rangeLength_)));
      // What this answer appended goes again: the partial file is what it was before.
      if (::truncate(temporaryFileDownloadPath().c_str(), static_cast<off_t>(partialDownloadSize())) != 0) {
        removeTemporaryDownloadFile();
      }
    }
    setDataDecompressor(nullptr);
    // A retry with credentials, or a redirect that keeps the method, sends the same body again
    // from the same files; a redirect that turns into a GET has stopped streaming from them.
    if (!authenticationNeeded() && !(needsRedirect() && shouldStreamPostDataFromDisk())) removeBodyFiles();

    if (!reportsHere && !finishBody(&fileError)) return;
  }

  HttpRequestShared& shared = HttpRequestShared::get();
  {
    std::lock_guard<std::recursive_mutex> g(shared.connectionLock);
    if (!connectionCanBeReused()) unscheduleReadStream();
    if (Ref<kit::MutableDictionary> record = connectionInfo()) {
      record->removeObjectForKey("request");
      record->setObject(kit::Date::dateWithTimeIntervalSinceNow(persistentConnectionTimeoutSeconds()), "expires");
    }
  }
  if (!authenticationNeeded()) destroyReadStream();

  if (reportsHere) {
    // The body's last steps grow with its size: they run once the request's lock is let go.
    pendingFileError_ = fileError;
    finishPending_ = true;
  } else if (authenticationNeeded()) {
    RunLoop::current().stop();
  }
}

bool HttpRequest::finishBody(Ref<Error>* fileError) {
  if (!downloadDestinationPath().empty() && writesDownloadFile_ && !needsRedirect()) {
    if (!*fileError && !downloadFileOpened_ && totalBytesRead() == 0) {
      // An empty body still makes (or empties) the file; a body handed to the delegate does not.
      bool append = false;
      if (!openDownloadFile(&append)) return false;
    }
    if (!downloadFileOpened_) {
      // Nothing of this response went to the file.
    } else if (*fileError) {
      if (auto out = fileDownloadOutputStream()) out->close();
      if (auto out = inflatedFileDownloadOutputStream()) out->close();
      setFileDownloadOutputStream(nullptr);
      setInflatedFileDownloadOutputStream(nullptr);
      removeTemporaryUncompressedDownloadFile();
    } else {
      finishDownloadFile(fileError);
    }
  }
  // A gzip body kept in memory is inflated now: one that does not inflate fails here, as it
  // would to a file, instead of passing for an empty body later.
  if (!*fileError && !needsRedirect() && !authenticationNeeded() && rawResponseData() && isResponseCompressed() &&
      shouldWaitToInflateCompressedResponses()) {
    Ref<Error> inflateError = inflateMemoryBody();
    // An error page beside a download does not fail the request; it just has no text.
    if (inflateError && keepsUnstoredBody_ && inflateError != HttpRequestShared::get().requestCancelledError) {
      storeProperty(inflatedResponseData_, Ref<Data>(kit::make<Data>()));
    } else {
      *fileError = inflateError;
    }
  }
  if (!*fileError) storeInCache();
  return true;
}

void HttpRequest::finishResponse() {
  Ref<HttpRequest> self(this);
  Ref<Error> fileError = std::move(pendingFileError_);
  // Without the lock: the main thread's progress delivery, pause and removal take it and must
  // not wait for an inflate or a copy. A cancel asked for meanwhile stops the work.
  if (!finishBody(&fileError)) return;
  std::lock_guard<std::recursive_mutex> g(cancelledLock_);
  if (fileError && fileError == HttpRequestShared::get().requestCancelledError) {
    // Stopped half-way: the request ends as cancelled, as it would have before its end.
    setComplete(false);
    cancelOnRequestThread();
    return;
  }
  if (fileError) failWithError(fileError);
  else requestFinished();
  markAsFinished();
}

// The body files the engine made go; a file the caller named stays, only its compressed copy goes.
void HttpRequest::removeBodyFiles() {
  if (didCreateTemporaryPostDataFile()) {
    removeTemporaryUploadFile();
    setDidCreateTemporaryPostDataFile(false);
  }
  removeTemporaryCompressedUploadFile();
}

// ---- Redirects

void HttpRequest::redirectToURL(Ref<kit::URL> newURL) {
  setRedirectURL(std::move(newURL));
  Ref<HttpRequest> self(this);
  performOnRequestThread([self] { self->performRedirect(); });
}

void HttpRequest::performRedirect() {
  Ref<HttpRequest> self(this);
  Ref<kit::URL> previous = url();
  Ref<kit::URL> next = redirectURL();
  setURL(next);
  setRedirectURL(nullptr);
  setComplete(true);
  setNeedsRedirect(false);
  setRedirectCount(redirectCount() + 1);
  if (redirectCount() > kMaximumRedirects) {
    removeBodyFiles();
    failWithError(HttpRequestShared::get().tooMuchRedirectionError);
    return;
  }
  // Credentials and cookies of one origin never go to another; cookies follow the new URL.
  if (Ref<kit::MutableDictionary> headers = requestHeaders()) {
    if (!sameOrigin(previous, next)) headers->removeObjectForKey("Authorization");
    headers->removeObjectForKey("Cookie");
  }
  if (haveBuiltRequestHeaders()) applyCookieHeader();
  main();
}

// ---- Cache

Ref<Error> HttpRequest::useDataFromCache() {
  HttpRequest* theRequest = mainRequest_ ? mainRequest_ : this;
  Ref<HttpCacheDelegate> cache = downloadCache();
  Ref<kit::URL> target = url();
  Ref<kit::Dictionary> headers = cache && target ? cache->cachedResponseHeadersForURL(target) : nullptr;
  const std::string dataPath = headers ? cache->pathToCachedResponseDataForURL(target) : std::string();
  // A cache that said yes may hold nothing (a policy that never loads, or files gone since): the
  // caller fails the request rather than leave it waiting for an answer that never comes.
  if (!headers || dataPath.empty()) {
    return Error::errorWithDescription(
        kHttpRequestErrorDomain, kConnectionFailureErrorType,
        kit::format("No response for '%@' is stored in the cache, and the request may not load it",
                    target ? target->absoluteString() : std::string()));
  }

  // The caller's own file is written from the cache (the cache's file stays the cache's).
  const std::string destination = theRequest->downloadDestinationPath();
  if (!destination.empty() && destination != dataPath && !cache->writeCachedResponseDataForURL(target, destination)) {
    return writeError(destination, nullptr);
  }
  Ref<Data> body = destination.empty() ? cache->cachedResponseDataForURL(target) : nullptr;
  if (body && lower(headerValue(headers, "Content-Encoding")).find("gzip") != std::string::npos) {
    // The cache keeps bodies inflated; one stored still compressed is inflated here, within the
    // bound of a body in memory. One that does not inflate is a damaged entry, not an empty page.
    bool tooLarge = false;
    Ref<Error> e;
    try {
      body = HttpDataDecompressor::uncompressData(body.get(), maximumInMemoryBodyLength(), &tooLarge, &e);
    } catch (const std::bad_alloc&) {
      body = nullptr;
      tooLarge = true;
    }
    if (!body && (tooLarge || e)) {
      cache->removeCachedDataForRequest(this);
      return tooLarge ? tooLargeForMemoryError() : e;
    }
    Ref<kit::MutableDictionary> plain = kit::cast<kit::MutableDictionary>(headers->mutableCopy());
    plain->removeObjectForKey("Content-Encoding");
    if (body) plain->setObject(kit::str(std::to_string(body->length())), "Content-Length");
    headers = plain;
  }
  theRequest->setResponseStatusCode(200);
  theRequest->setDidUseCachedResponse(true);
  theRequest->setResponseHeaders(headers);
  if (body) {
    auto copy = kit::MutableData::data();
    copy->appendData(*body);
    theRequest->setRawResponseData(copy);
  }
  uint64_t length = 0;
  parseDecimalLength(headerValue(headers, "Content-Length"), &length);
  theRequest->setContentLength(length);
  theRequest->setTotalBytesRead(length);
  theRequest->parseStringEncodingFromHeaders();
  theRequest->setResponseCookies(kit::make<kit::Array>());
  if (Ref<kit::URL> u = theRequest->url()) {
    auto cookies = kit::MutableArray::array();
    for (const auto& c : kit::HTTPCookie::cookiesWithResponseHeaderFields(headers, *u)) cookies->addObject(c);
    theRequest->setResponseCookies(cookies);
  }
  theRequest->setComplete(true);
  theRequest->setDownloadComplete(true);
  if (theRequest->redirectCount() == 0) theRequest->setOriginalURL(theRequest->url());
  theRequest->updateProgressIndicators();
  theRequest->requestFinished();
  theRequest->markAsFinished();
  if (mainRequest_) {
    setComplete(true);
    markAsFinished();
  }
  return nullptr;
}

// ---- Dates

Ref<kit::Date> HttpRequest::dateFromRFC1123String(const std::string& text) {
  std::string t = trim(text);
  if (t.find(',') != std::string::npos) {
    // "EEE, " comes first.
    const size_t comma = t.find(',');
    t = trim(std::string_view(t).substr(comma + 1));
  }
  static const char* months[] = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  int day = 0, year = 0, hour = 0, minute = 0, second = 0;
  char monthName[4] = {0};
  char zone[16] = {0};
  int consumed = 0;
  const bool withSeconds = std::count(t.begin(), t.end(), ':') == 2;
  if (withSeconds) {
    if (std::sscanf(t.c_str(), "%2d %3s %4d %2d:%2d:%2d %15s%n", &day, monthName, &year, &hour, &minute, &second,
                    zone, &consumed) != 7) {
      return nullptr;
    }
  } else if (std::sscanf(t.c_str(), "%2d %3s %4d %2d:%2d %15s%n", &day, monthName, &year, &hour, &minute, zone,
                         &consumed) != 6) {
    return nullptr;
  }
  if (static_cast<size_t>(consumed) != t.size()) return nullptr;
  int month = -1;
  for (int i = 0; i < 12; ++i) {
    if (lower(monthName) == months[i]) month = i;
  }
  if (month < 0 || day < 1 || day > 31 || year < 0 || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
      second > 60) {
    return nullptr;
  }
  long offset = 0;
  const std::string z = lower(zone);
  static const struct {
    const char* name;
    long hours;
  } kNamedZones[] = {{"est", -5}, {"edt", -4}, {"cst", -6}, {"cdt", -5}, {"mst", -7}, {"mdt", -6}, {"pst", -8}, {"pdt", -7}};
  bool named = false;
  for (const auto& zone : kNamedZones) {
    if (z == zone.name) offset = zone.hours * 3600, named = true;
  }
  if (named) {
    // The zone names of older mail and HTTP peers.
  } else if (z == "gmt" || z == "utc" || z == "ut" || z == "z") {
    offset = 0;
  } else if (z.size() == 5 && (z[0] == '+' || z[0] == '-') &&
             std::all_of(z.begin() + 1, z.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    const long hh = (z[1] - '0') * 10 + (z[2] - '0'), mm = (z[3] - '0') * 10 + (z[4] - '0');
    if (hh > 23 || mm > 59) return nullptr;
    offset = (hh * 3600 + mm * 60) * (z[0] == '-' ? -1 : 1);
  } else {
    return nullptr;
  }
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  const time_t utc = timegm(&tm);
  return kit::Date::dateWithTimeIntervalSince1970(static_cast<double>(utc - offset));
}

}  // namespace tolva
