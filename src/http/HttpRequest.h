#pragma once
// One HTTP or HTTPS exchange as a concurrent operation: builds the request, sends it over a
// kit::HTTPReadStream, reads the response into memory or into a file (resuming a partial one,
// inflating gzip), follows redirects, reuses persistent connections and reports every event to
// its delegate, to an optional queue object and to callback blocks.
//
// Threads: the caller's thread creates and configures a request; startAsynchronous() hands it to
// the shared operation queue (width 4), whose worker calls start(), which moves the work to the
// one network thread; everything that touches the stream runs there (for startSynchronous(), on
// the calling thread instead, in the private run-loop mode). Every delegate, queue and block call
// is made on the main thread; delegates are read again there, so clearing them stops calls that
// are already queued.
//
// Locks: each request's recursive cancelledLock orders a cancel against the work on the stream;
// class-wide state has its own locks (connection, progress, bandwidth, session cookies, session
// credentials, delegate authentication). Properties may be read from any thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "http/HttpCacheDelegate.h"
#include "http/HttpDataDecompressor.h"
#include "http/HttpErrorType.h"
#include "http/HttpProgressDelegate.h"
#include "http/HttpRequestDelegate.h"
#include "http/HttpSelector.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Date.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Error.h"
#include "kit/foundation/FileHandle.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/Operation.h"
#include "kit/foundation/PagePrefaulter.h"
#include "kit/foundation/Thread.h"
#include "kit/foundation/Timer.h"
#include "kit/foundation/URL.h"
#include "kit/net/HTTPCookie.h"
#include "kit/net/HTTPMessage.h"
#include "kit/net/HTTPReadStream.h"
#include "kit/net/InputStream.h"
#include "kit/net/ProxySettings.h"

namespace kit {
class Bundle;
class OperationQueue;
}  // namespace kit

namespace tolva {

class Reachability;

// Accessors of one stored property: an atomic value, or an object or text read and written whole
// under the request's property mutex.
#define TOLVA_HTTP_VALUE(Type, getter, setter)                           \
 public:                                                                 \
  Type getter() const noexcept { return getter##_.load(); }              \
  void setter(Type value) noexcept { getter##_.store(value); }           \
                                                                         \
 private:                                                                \
  std::atomic<Type> getter##_{};

#define TOLVA_HTTP_OBJECT(Type, getter, setter)                          \
 public:                                                                 \
  kit::Ref<Type> getter() const {                                        \
    std::lock_guard<std::mutex> g(propertyMutex_);                       \
    return getter##_;                                                    \
  }                                                                      \
  void setter(kit::Ref<Type> value) { storeProperty(getter##_, std::move(value)); } \
                                                                         \
 private:                                                                \
  kit::Ref<Type> getter##_;

#define TOLVA_HTTP_TEXT(getter, setter)                                  \
 public:                                                                 \
  std::string getter() const {                                           \
    std::lock_guard<std::mutex> g(propertyMutex_);                       \
    return getter##_;                                                    \
  }                                                                      \
  void setter(std::string value) { storeProperty(getter##_, std::move(value)); } \
                                                                         \
 private:                                                                \
  std::string getter##_;

class HttpRequest : public kit::Operation {
 public:
  static constexpr const char* kRunLoopMode = "HttpRequestRunLoopMode";
  // proxyType values.
  static constexpr const char* kProxyTypeHTTP = "HTTP";
  static constexpr const char* kProxyTypeHTTPS = "HTTPS";
  static constexpr const char* kProxyTypeSOCKS = "SOCKS";
  // The "Basic" authentication scheme name.
  static constexpr const char* kAuthenticationSchemeBasic = "Basic";
  // Text encoding numbers (responseEncoding, defaultResponseEncoding).
  static constexpr unsigned kASCIIStringEncoding = 1;
  static constexpr unsigned kUTF8StringEncoding = 4;
  static constexpr unsigned kISOLatin1StringEncoding = 5;
  static constexpr unsigned kWindowsCP1252StringEncoding = 12;

  using Block = std::function<void()>;
  using HeadersBlock = std::function<void(kit::Dictionary* responseHeaders)>;
  using ProgressBlock = std::function<void(uint64_t size, uint64_t total)>;
  using SizeBlock = std::function<void(int64_t size)>;
  using DataBlock = std::function<void(kit::Data* data)>;

  // ---- Creating
  explicit HttpRequest(kit::Ref<kit::URL> url);
  ~HttpRequest() override;
  static kit::Ref<HttpRequest> requestWithURL(kit::Ref<kit::URL> url);
  static kit::Ref<HttpRequest> requestWithURL(kit::Ref<kit::URL> url, kit::Ref<HttpCacheDelegate> cache);
  static kit::Ref<HttpRequest> requestWithURL(kit::Ref<kit::URL> url, kit::Ref<HttpCacheDelegate> cache,
                                              int cachePolicy);
  // A new request for the same URL with the configuration copied (no state, no blocks), of
  // the request's own class.
  kit::Ref<HttpRequest> copyRequest() const;
  // An unconfigured request of this request's own class (each subclass answers its own).
  virtual kit::Ref<HttpRequest> newRequestOfThisClass(kit::Ref<kit::URL> url) const;
  // Copies the configuration (not the state) into another request, of this class or a subclass.
  void copyConfigurationTo(HttpRequest& target) const;
  kit::Ref<kit::Object> copy() const override { return copyRequest(); }

  // ---- Request content
  void addRequestHeader(const std::string& header, const std::string& value);
  void appendPostData(const kit::Data* data);
  void appendPostDataFromFile(const std::string& file);
  void setupPostBody();
  // Subclasses build their own bodies and then call this one.
  virtual void buildPostBody();
  void buildRequestHeaders();
  void applyCookieHeader();
  void applyAuthorizationHeader();
  void updatePartialDownloadSize();
  void addBasicAuthenticationHeaderWithUsername(const std::string& username, const std::string& password);

  // ---- Starting and stopping
  void startSynchronous();
  void startAsynchronous();
  void start() override;
  void main() override;
  void cancel() override;
  void clearDelegatesAndCancel();
  bool isConcurrent() const override { return true; }
  bool isFinished() const override { return finished_.load(); }
  bool isExecuting() const override { return inProgress_.load(); }
  bool isCancelled() const override;
  // The delegate continues a redirect it was told of.
  void redirectToURL(kit::Ref<kit::URL> newURL);
  // A HEAD request for the same URL that works for this one.
  kit::Ref<HttpRequest> HEADRequest();

  // ---- Response
  // The most a body kept in memory may hold (raw, or inflated): 2 GiB. A larger body, or one whose
  // room cannot be had, ends the request with code 8 "The response body is too large to be held in
  // memory (more than %llu bytes)"; bigger bodies go to a file. Tests lower it.
  static constexpr uint64_t kDefaultMaximumInMemoryBodyLength = uint64_t(2) << 30;
  static uint64_t maximumInMemoryBodyLength();
  static void setMaximumInMemoryBodyLength(uint64_t length);
  // The most of an answer a file download does not store (an error page) that is kept in
  // memory; the rest is read and dropped.
  static constexpr uint64_t kMaximumUnstoredBodyLength = uint64_t(1) << 20;
  // For a gzip body kept in memory, inflated once when the response ends (a body that does not
  // inflate fails the request there).
  kit::Ref<kit::Data> responseData() const;
  std::string responseString() const;
  bool isResponseCompressed() const;

  // ---- Properties with their own rules
  kit::Ref<kit::URL> url() const;
  // A different URL also drops the built message, the challenge objects and any pending redirect.
  void setURL(kit::Ref<kit::URL> url);
  HttpRequestDelegate* delegate() const;
  void setDelegate(HttpRequestDelegate* delegate);
  // Answers HttpRequestDelegate and/or HttpProgressDelegate (a network queue does both).
  kit::Ref<kit::Object> queue() const;
  void setQueue(kit::Ref<kit::Object> queue);
  HttpProgressDelegate* uploadProgressDelegate() const;
  void setUploadProgressDelegate(HttpProgressDelegate* delegate);
  HttpProgressDelegate* downloadProgressDelegate() const;
  void setDownloadProgressDelegate(HttpProgressDelegate* delegate);
  HttpRequest* mainRequest() const noexcept { return mainRequest_; }
  void setMainRequest(HttpRequest* request) noexcept { mainRequest_ = request; }
  bool isSynchronous() const noexcept { return isSynchronous_.load(); }
  void setSynchronous(bool synchronous) noexcept { isSynchronous_.store(synchronous); }
  bool inProgress() const noexcept { return inProgress_.load(); }
  // The number of the pooled connection record in use, or null.
  kit::Ref<kit::Number> connectionID() const;
  // A client certificate identity (kit::TLSIdentity), offered to servers that ask for one.
  kit::Ref<kit::Object> clientCertificateIdentity() const;
  void setClientCertificateIdentity(kit::Ref<kit::Object> identity);

  HttpSelector didStartSelector() const;
  void setDidStartSelector(HttpSelector selector);
  HttpSelector didReceiveResponseHeadersSelector() const;
  void setDidReceiveResponseHeadersSelector(HttpSelector selector);
  HttpSelector willRedirectSelector() const;
  void setWillRedirectSelector(HttpSelector selector);
  HttpSelector didFinishSelector() const;
  void setDidFinishSelector(HttpSelector selector);
  HttpSelector didFailSelector() const;
  void setDidFailSelector(HttpSelector selector);
  HttpSelector didReceiveDataSelector() const;
  void setDidReceiveDataSelector(HttpSelector selector);

  // ---- Callback blocks (called on the main thread beside the delegate calls)
  void setStartedBlock(Block block);
  void setHeadersReceivedBlock(HeadersBlock block);
  void setCompletionBlock(Block block);
  void setFailedBlock(Block block);
  void setBytesReceivedBlock(ProgressBlock block);
  void setBytesSentBlock(ProgressBlock block);
  void setDownloadSizeIncrementedBlock(SizeBlock block);
  void setUploadSizeIncrementedBlock(SizeBlock block);
  void setDataReceivedBlock(DataBlock block);
  void setAuthenticationNeededBlock(Block block);
  void setProxyAuthenticationNeededBlock(Block block);
  void setRequestRedirectedBlock(Block block);

  // ---- Authentication (called by a delegate or a login dialog, any thread)
  void retryUsingSuppliedCredentials();
  void cancelAuthentication();

  // ---- Class-wide
  static kit::OperationQueue* sharedQueue();
  static kit::Thread* threadForRequest(HttpRequest* request);
  static double defaultTimeOutSeconds();
  static void setDefaultTimeOutSeconds(double seconds);
  static kit::Ref<HttpCacheDelegate> defaultCache();
  static void setDefaultCache(kit::Ref<HttpCacheDelegate> cache);
  static bool isMultitaskingSupported();
  static void expirePersistentConnections();
  // The pooled connection records (copies), for diagnostics and tests.
  static std::vector<kit::Ref<kit::Dictionary>> persistentConnections();

  static kit::Ref<kit::MutableArray> sessionCookies();
  static void setSessionCookies(kit::Ref<kit::MutableArray> cookies);
  static void addSessionCookie(kit::Ref<kit::HTTPCookie> cookie);
  static void clearSession();

  static kit::Ref<kit::MutableArray> sessionCredentialsStore();
  static kit::Ref<kit::MutableArray> sessionProxyCredentialsStore();
  static void storeAuthenticationCredentialsInSessionStore(kit::Ref<kit::Dictionary> credentials);
  static void storeProxyAuthenticationCredentialsInSessionStore(kit::Ref<kit::Dictionary> credentials);
  static void removeAuthenticationCredentialsFromSessionStore(kit::Dictionary* credentials);
  static void removeProxyAuthenticationCredentialsFromSessionStore(kit::Dictionary* credentials);

  // Empty when the bundle names no application.
  static std::string defaultUserAgentString();
  static std::string userAgentForBundle(kit::Bundle* bundle);
  // Empty when no file is at the path.
  static std::string mimeTypeForFileAtPath(const std::string& path);
  static std::string base64forData(const kit::Data* data);
  static kit::Ref<kit::Date> dateFromRFC1123String(const std::string& text);
  // A length header's value: decimal digits only, spaces around them allowed (a leading zero is
  // not octal, "0x" not hexadecimal); false when it is not one.
  static bool parseDecimalLength(std::string_view text, uint64_t* out);
  // Sets what the content type names; leaves the out values alone when it names nothing.
  static void parseMimeType(std::string* mimeType, unsigned* stringEncoding, const std::string& contentType);
  // The text encoding number of an IANA charset name, or 0 when unknown.
  static unsigned encodingForCharsetName(const std::string& name);
  // Decodes bytes in one of the encodings above (unknown ones as ISO Latin-1) to UTF-8.
  static std::string decodeText(const kit::Data* data, unsigned encoding);
  // The charset name text written in the encoding is labelled with; empty when the system
  // cannot write that encoding.
  static std::string charsetNameForEncoding(unsigned encoding);
  // Writes UTF-8 text in the encoding (a character it has no place for becomes "?"); false when
  // the encoding cannot be written.
  static bool encodeText(std::string_view utf8, unsigned encoding, std::string* out);
  // Answers whether there was nothing to delete or it was deleted; otherwise error code 8.
  static bool removeFileAtPath(const std::string& path, kit::Ref<kit::Error>* error);

  // Bandwidth and activity (class-wide).
  static bool isBandwidthThrottled();
  // The read buffer allowed now (at least 1 byte while throttled).
  static size_t throttledReadBufferSize(size_t bufferSize);
  // Whether throttled streams must stay detached for now.
  static bool isThrottleWakeUpPending();
  // Back to no limit, no history and no mobile-data rule.
  static void resetBandwidthForTesting();
  static unsigned long maxBandwidthPerSecond();
  static void setMaxBandwidthPerSecond(unsigned long bytes);
  static void incrementBandwidthUsedInLastSecond(unsigned long bytes);
  static void recordBandwidthUsage();
  static unsigned long averageBandwidthUsedPerSecond();
  static void measureBandwidthUsage();
  static unsigned long maxUploadReadLength();
  static void setShouldThrottleBandwidthForWWAN(bool throttle);
  static void throttleBandwidthForWWANUsingLimit(unsigned long limit);
  static void registerForNetworkReachabilityNotifications();
  static void unsubscribeFromNetworkReachabilityNotifications();
  static bool isNetworkReachableViaWWAN();
  static void reachabilityChanged();
  static bool isNetworkInUse();
  static void setShouldUpdateNetworkActivityIndicator(bool update);
  static void showNetworkActivityIndicator();
  static void hideNetworkActivityIndicator();
  static void hideNetworkActivityIndicatorAfterDelay();
  static void hideNetworkActivityIndicatorIfNeeeded();
  // Whether the network activity indicator is showing; changed on the main thread only.
  static bool isNetworkActivityIndicatorVisible();
  // Called on the main thread whenever the indicator changes (the application shows it).
  static void setNetworkActivityIndicatorHandler(std::function<void(bool visible)> handler);

  std::string className() const override { return "HttpRequest"; }
  std::string description() const override;

  // ---- Stored properties
  TOLVA_HTTP_OBJECT(kit::URL, originalURL, setOriginalURL)
  TOLVA_HTTP_OBJECT(kit::URL, redirectURL, setRedirectURL)
  TOLVA_HTTP_TEXT(requestMethod, setRequestMethod)
  TOLVA_HTTP_VALUE(bool, useHTTPVersionOne, setUseHTTPVersionOne)
  TOLVA_HTTP_OBJECT(kit::Number, requestID, setRequestID)
  TOLVA_HTTP_OBJECT(kit::Dictionary, userInfo, setUserInfo)

  TOLVA_HTTP_OBJECT(kit::MutableDictionary, requestHeaders, setRequestHeaders)
  TOLVA_HTTP_VALUE(bool, haveBuiltRequestHeaders, setHaveBuiltRequestHeaders)
  TOLVA_HTTP_OBJECT(kit::MutableArray, requestCookies, setRequestCookies)
  TOLVA_HTTP_VALUE(bool, useCookiePersistence, setUseCookiePersistence)
  TOLVA_HTTP_OBJECT(kit::MutableData, postBody, setPostBody)
  TOLVA_HTTP_VALUE(uint64_t, postLength, setPostLength)
  TOLVA_HTTP_TEXT(postBodyFilePath, setPostBodyFilePath)
  TOLVA_HTTP_VALUE(bool, shouldStreamPostDataFromDisk, setShouldStreamPostDataFromDisk)
  TOLVA_HTTP_VALUE(bool, didCreateTemporaryPostDataFile, setDidCreateTemporaryPostDataFile)
  TOLVA_HTTP_OBJECT(kit::FileHandle, postBodyWriteStream, setPostBodyWriteStream)
  TOLVA_HTTP_OBJECT(kit::InputStream, postBodyReadStream, setPostBodyReadStream)
  TOLVA_HTTP_VALUE(bool, haveBuiltPostBody, setHaveBuiltPostBody)
  TOLVA_HTTP_VALUE(uint64_t, uploadBufferSize, setUploadBufferSize)
  TOLVA_HTTP_VALUE(bool, shouldCompressRequestBody, setShouldCompressRequestBody)
  TOLVA_HTTP_OBJECT(kit::Data, compressedPostBody, setCompressedPostBody)
  TOLVA_HTTP_TEXT(compressedPostBodyFilePath, setCompressedPostBodyFilePath)

  TOLVA_HTTP_VALUE(int, responseStatusCode, setResponseStatusCode)
  TOLVA_HTTP_TEXT(responseStatusMessage, setResponseStatusMessage)
  TOLVA_HTTP_OBJECT(kit::Dictionary, responseHeaders, setResponseHeaders)
  TOLVA_HTTP_OBJECT(kit::Array, responseCookies, setResponseCookies)
  TOLVA_HTTP_OBJECT(kit::MutableData, rawResponseData, setRawResponseData)
  TOLVA_HTTP_VALUE(uint64_t, contentLength, setContentLength)
  TOLVA_HTTP_VALUE(unsigned, responseEncoding, setResponseEncoding)
  TOLVA_HTTP_VALUE(unsigned, defaultResponseEncoding, setDefaultResponseEncoding)
  TOLVA_HTTP_VALUE(bool, allowCompressedResponse, setAllowCompressedResponse)
  TOLVA_HTTP_VALUE(bool, shouldWaitToInflateCompressedResponses, setShouldWaitToInflateCompressedResponses)
  TOLVA_HTTP_OBJECT(HttpDataDecompressor, dataDecompressor, setDataDecompressor)

  TOLVA_HTTP_TEXT(downloadDestinationPath, setDownloadDestinationPath)
  TOLVA_HTTP_TEXT(temporaryFileDownloadPath, setTemporaryFileDownloadPath)
  TOLVA_HTTP_TEXT(temporaryUncompressedDataDownloadPath, setTemporaryUncompressedDataDownloadPath)
  TOLVA_HTTP_OBJECT(kit::FileHandle, fileDownloadOutputStream, setFileDownloadOutputStream)
  TOLVA_HTTP_OBJECT(kit::FileHandle, inflatedFileDownloadOutputStream, setInflatedFileDownloadOutputStream)
  TOLVA_HTTP_VALUE(bool, allowResumeForFileDownloads, setAllowResumeForFileDownloads)
  TOLVA_HTTP_VALUE(uint64_t, partialDownloadSize, setPartialDownloadSize)
  TOLVA_HTTP_VALUE(bool, downloadComplete, setDownloadComplete)

  TOLVA_HTTP_TEXT(username, setUsername)
  TOLVA_HTTP_TEXT(password, setPassword)
  TOLVA_HTTP_TEXT(domain, setDomain)
  TOLVA_HTTP_VALUE(bool, useKeychainPersistence, setUseKeychainPersistence)
  TOLVA_HTTP_VALUE(bool, useSessionPersistence, setUseSessionPersistence)
  TOLVA_HTTP_OBJECT(kit::Dictionary, requestCredentials, setRequestCredentials)
  TOLVA_HTTP_TEXT(authenticationScheme, setAuthenticationScheme)
  TOLVA_HTTP_TEXT(authenticationRealm, setAuthenticationRealm)
  TOLVA_HTTP_VALUE(int, authenticationRetryCount, setAuthenticationRetryCount)
  TOLVA_HTTP_VALUE(int, authenticationNeeded, setAuthenticationNeeded)
  TOLVA_HTTP_VALUE(bool, shouldPresentCredentialsBeforeChallenge, setShouldPresentCredentialsBeforeChallenge)
  TOLVA_HTTP_VALUE(bool, shouldPresentAuthenticationDialog, setShouldPresentAuthenticationDialog)
  TOLVA_HTTP_TEXT(proxyUsername, setProxyUsername)
  TOLVA_HTTP_TEXT(proxyPassword, setProxyPassword)
  TOLVA_HTTP_TEXT(proxyDomain, setProxyDomain)
  TOLVA_HTTP_OBJECT(kit::Dictionary, proxyCredentials, setProxyCredentials)
  TOLVA_HTTP_TEXT(proxyAuthenticationScheme, setProxyAuthenticationScheme)
  TOLVA_HTTP_TEXT(proxyAuthenticationRealm, setProxyAuthenticationRealm)
  TOLVA_HTTP_VALUE(int, proxyAuthenticationRetryCount, setProxyAuthenticationRetryCount)
  TOLVA_HTTP_VALUE(bool, shouldPresentProxyAuthenticationDialog, setShouldPresentProxyAuthenticationDialog)

  TOLVA_HTTP_TEXT(proxyHost, setProxyHost)
  TOLVA_HTTP_VALUE(int, proxyPort, setProxyPort)
  TOLVA_HTTP_TEXT(proxyType, setProxyType)
  TOLVA_HTTP_OBJECT(kit::URL, PACurl, setPACurl)
  TOLVA_HTTP_VALUE(bool, isPACFileRequest, setIsPACFileRequest)
  TOLVA_HTTP_OBJECT(HttpRequest, PACFileRequest, setPACFileRequest)
  TOLVA_HTTP_OBJECT(kit::InputStream, PACFileReadStream, setPACFileReadStream)
  TOLVA_HTTP_OBJECT(kit::MutableData, PACFileData, setPACFileData)

  // NO skips the certificate checks for this request only (nothing in the browser sets it).
  TOLVA_HTTP_VALUE(bool, validatesSecureCertificate, setValidatesSecureCertificate)
  // Extra certificates (kit::Data of PEM or DER) sent after the client identity's own, e.g. its
  // intermediates; unused without an identity.
  TOLVA_HTTP_OBJECT(kit::Array, clientCertificates, setClientCertificates)

  TOLVA_HTTP_VALUE(bool, shouldRedirect, setShouldRedirect)
  TOLVA_HTTP_VALUE(bool, needsRedirect, setNeedsRedirect)
  TOLVA_HTTP_VALUE(int, redirectCount, setRedirectCount)
  TOLVA_HTTP_VALUE(bool, shouldUseRFC2616RedirectBehaviour, setShouldUseRFC2616RedirectBehaviour)

  TOLVA_HTTP_VALUE(double, timeOutSeconds, setTimeOutSeconds)
  TOLVA_HTTP_OBJECT(kit::Date, lastActivityTime, setLastActivityTime)
  TOLVA_HTTP_VALUE(int, numberOfTimesToRetryOnTimeout, setNumberOfTimesToRetryOnTimeout)
  TOLVA_HTTP_VALUE(int, retryCount, setRetryCount)
  TOLVA_HTTP_VALUE(bool, shouldAttemptPersistentConnection, setShouldAttemptPersistentConnection)
  TOLVA_HTTP_VALUE(double, persistentConnectionTimeoutSeconds, setPersistentConnectionTimeoutSeconds)
  TOLVA_HTTP_VALUE(bool, connectionCanBeReused, setConnectionCanBeReused)
  TOLVA_HTTP_OBJECT(kit::MutableDictionary, connectionInfo, setConnectionInfo)
  TOLVA_HTTP_OBJECT(kit::HTTPReadStream, readStream, setReadStream)
  TOLVA_HTTP_VALUE(bool, readStreamIsScheduled, setReadStreamIsScheduled)
  TOLVA_HTTP_TEXT(runLoopMode, setRunLoopMode)
  TOLVA_HTTP_OBJECT(kit::Timer, statusTimer, setStatusTimerField)

  TOLVA_HTTP_VALUE(bool, showAccurateProgress, setShowAccurateProgress)
  TOLVA_HTTP_VALUE(bool, shouldResetDownloadProgress, setShouldResetDownloadProgress)
  TOLVA_HTTP_VALUE(bool, shouldResetUploadProgress, setShouldResetUploadProgress)
  TOLVA_HTTP_VALUE(bool, updatedProgress, setUpdatedProgress)
  TOLVA_HTTP_VALUE(uint64_t, totalBytesRead, setTotalBytesRead)
  TOLVA_HTTP_VALUE(uint64_t, totalBytesSent, setTotalBytesSent)
  TOLVA_HTTP_VALUE(uint64_t, lastBytesRead, setLastBytesRead)
  TOLVA_HTTP_VALUE(uint64_t, lastBytesSent, setLastBytesSent)

  TOLVA_HTTP_VALUE(bool, complete, setComplete)
  TOLVA_HTTP_OBJECT(kit::Error, error, setError)
  TOLVA_HTTP_VALUE(bool, shouldContinueWhenAppEntersBackground, setShouldContinueWhenAppEntersBackground)

  TOLVA_HTTP_OBJECT(HttpCacheDelegate, downloadCache, setDownloadCache)
  TOLVA_HTTP_VALUE(int, cachePolicy, setCachePolicy)
  TOLVA_HTTP_VALUE(int, cacheStoragePolicy, setCacheStoragePolicy)
  TOLVA_HTTP_VALUE(bool, didUseCachedResponse, setDidUseCachedResponse)
  TOLVA_HTTP_VALUE(double, secondsToCache, setSecondsToCache)

 public:
  std::recursive_mutex& cancelledLock() const noexcept { return cancelledLock_; }

  // ---- The engine's steps (run on the request's thread)
  void startRequest();
  void setStatusTimer(kit::Ref<kit::Timer> timer);
  void updateStatus();
  void performRedirect();
  bool shouldTimeOut();
  void checkRequestStatus();
  void cancelLoad();
  void cancelOnRequestThread();
  // Virtual for requests that end later than the engine would end them (the page archiver).
  virtual void markAsFinished();
  void failWithError(kit::Ref<kit::Error> error);
  // Fails the request with the exception being handled (call only inside a catch block), so that
  // nothing a peer sends, and nothing a cache or delegate throws, gets past the request.
  void failWithUnhandledException() noexcept;
  void handleNetworkEvent(kit::InputStream::Event type);
  void readResponseHeaders();
  void parseStringEncodingFromHeaders();
  void handleBytesAvailable();
  void handleStreamComplete();
  void handleStreamError();
  bool retryUsingNewConnection();
  // Completes the request from the cache; the error when the cache could not answer it.
  kit::Ref<kit::Error> useDataFromCache();
  void scheduleReadStream();
  void unscheduleReadStream();
  void destroyReadStream();
  bool removeTemporaryDownloadFile();
  bool removeTemporaryUncompressedDownloadFile();
  bool removeTemporaryUploadFile();
  bool removeTemporaryCompressedUploadFile();
  void removeBodyFiles();

  // Authentication and proxies.
  void attemptToApplyCredentialsAndResume();
  void attemptToApplyProxyCredentialsAndResume();
  bool configureProxies();
  void failAuthentication();
  kit::Ref<kit::Dictionary> findCredentials();
  kit::Ref<kit::Dictionary> findProxyCredentials();
  kit::Ref<kit::Dictionary> findSessionAuthenticationCredentials();
  kit::Ref<kit::Dictionary> findSessionProxyAuthenticationCredentials();
  bool applyCredentials(kit::Ref<kit::Dictionary> credentials);
  bool applyProxyCredentials(kit::Ref<kit::Dictionary> credentials);
  void saveCredentialsToKeychain(kit::Ref<kit::Dictionary> credentials);
  void saveProxyCredentialsToKeychain(kit::Ref<kit::Dictionary> credentials);
  bool willAskDelegateForCredentials();
  bool willAskDelegateForProxyCredentials();
  void askDelegateForCredentials();
  void askDelegateForProxyCredentials();
  bool showAuthenticationDialog();
  bool showProxyAuthenticationDialog();
  void fetchPACFile();
  void timeOutPACRead();
  void runPACScript(const std::string& script);
  void finishedDownloadingPACFile(HttpRequest* pacRequest);
  // The PAC file stream's events.
  void handlePACFileEvent(kit::InputStream& stream, kit::InputStream::Event event);
  // Moves on to the next proxy a script named, after the one in use could not be reached.
  bool tryNextProxy();
  // Whether the request is still at the origin it was made for (before any redirect).
  bool isAtCallerOrigin() const;
  // Whether username and password were given for the origin the request is at now: the
  // caller's, or the one the delegate or the login dialog was last asked about.
  bool ownCredentialsApplyHere() const;
  void askingForCredentialsHere();
  // The platform credential storage (a permanent store for servers and proxies).
  static void saveCredentials(kit::Ref<kit::Dictionary> credentials, const std::string& host, int port,
                              const std::string& protocol, const std::string& realm);
  static void saveCredentials(kit::Ref<kit::Dictionary> credentials, const std::string& proxy, int port,
                              const std::string& realm);
  static kit::Ref<kit::Dictionary> savedCredentialsForHost(const std::string& host, int port,
                                                           const std::string& protocol, const std::string& realm);
  static kit::Ref<kit::Dictionary> savedCredentialsForProxy(const std::string& proxy, int port,
                                                            const std::string& protocol, const std::string& realm);
  static void removeCredentialsForHost(const std::string& host, int port, const std::string& protocol,
                                       const std::string& realm);
  static void removeCredentialsForProxy(const std::string& proxy, int port, const std::string& realm);

  // Progress and throttling.
  void updateProgressIndicators();
  void updateDownloadProgress();
  void updateUploadProgress();
  void incrementDownloadSizeBy(int64_t length);
  void incrementUploadSizeBy(int64_t length);
  void removeUploadProgressSoFar();
  // Sets the upload and/or download progress bars to 0 of 1 (on the main thread).
  void resetProgressFractions(bool upload, bool download);
  void performThrottling();
  // Tells a progress bar the fraction progress/total: 0 for a total of 0, never above 1.
  static void updateProgressIndicator(HttpProgressDelegate* delegate, uint64_t progress, uint64_t total);
  static float progressFraction(int64_t progress, int64_t total);

  // Main-thread reports.
  void requestStarted();
  void requestRedirected();
  void requestReceivedResponseHeaders(kit::Ref<kit::Dictionary> newHeaders);
  void requestWillRedirectToURL(kit::Ref<kit::URL> newURL);
  virtual void requestFinished();
  void reportFinished();
  void reportFailure();
  void passOnReceivedData(kit::Ref<kit::Data> data);
  // Runs `fn` on the main thread, waiting only when already there.
  static void performOnMainThread(std::function<void()> fn);
  // Runs `fn` on the thread that drives this request, in its run-loop mode (not waiting).
  void performOnRequestThread(std::function<void()> fn);
  void releaseBlocksOnMainThread();

 private:
  // The part of the configuration that says how to reach the server and sign in (headers, cookies,
  // credentials, proxy, timeouts, certificates, connection reuse): what a request made to work for
  // this one (a copy, its HEAD request) must share with it.
  void copyConnectionSetupTo(HttpRequest& target) const;

  struct Blocks {
    Block started;
    HeadersBlock headersReceived;
    Block completion;
    Block failed;
    ProgressBlock bytesReceived;
    ProgressBlock bytesSent;
    SizeBlock downloadSizeIncremented;
    SizeBlock uploadSizeIncremented;
    DataBlock dataReceived;
    Block authenticationNeeded;
    Block proxyAuthenticationNeeded;
    Block requestRedirected;
  };
  struct Selectors {
    HttpSelector didStart;
    HttpSelector didReceiveResponseHeaders;
    HttpSelector willRedirect;
    HttpSelector didFinish;
    HttpSelector didFail;
    HttpSelector didReceiveData;
  };

  template <class T>
  void storeProperty(T& field, T value) {
    T old;
    {
      std::lock_guard<std::mutex> g(propertyMutex_);
      old = std::move(field);
      field = std::move(value);
    }
  }
  Blocks blocks() const;
  Selectors selectors() const;
  // The delegates and queue as they are now (read under cancelledLock).
  HttpRequestDelegate* currentDelegate() const;
  HttpRequestDelegate* currentQueueDelegate(kit::Ref<kit::Object>* keep) const;
  // Whether the delegate, the queue or a block would take a report now.
  bool anyoneWants(const HttpSelector& selector, const char* queueSelector, bool hasBlock) const;
  kit::Ref<kit::Thread> requestThread() const;
  void setRequestThread(kit::Ref<kit::Thread> thread);
  void announceFinished();
  // Whether a progress delegate, a queue or a progress block would hear a report now.
  bool hasProgressListener() const;
  // Posts this request's waiting progress to the main thread (one post at a time).
  void deliverPendingProgress();
  // Pieces of the engine.
  bool openDownloadFile(bool* append);
  void finishDownloadFile(kit::Ref<kit::Error>* fileError);
  // The body's last steps at the end of the response: the download file moved (or inflated)
  // into place, a gzip body in memory inflated, the response stored in the cache. False when
  // the request failed already.
  bool finishBody(kit::Ref<kit::Error>* fileError);
  // Runs finishBody without the request's lock, then reports the outcome (request thread).
  void finishResponse();
  bool inflateDownloadAtEnd(kit::Ref<kit::Error>* fileError);
  kit::Ref<kit::Error> decompressorEndError();
  void applyPersistentConnection(const kit::Ref<kit::HTTPReadStream>& stream, const kit::Ref<kit::URL>& target,
                                 kit::Ref<kit::HTTPReadStream>* oldStream);
  void registerStreamClient(const kit::Ref<kit::HTTPReadStream>& stream);
  void writeToDownloadFile(std::string_view raw, const kit::Data* inflated);
  // Reads and stores one buffer; false when nothing more should be read now.
  bool readChunk(const kit::Ref<kit::HTTPReadStream>& stream);
  // Stores one buffer of the body (inflated, passed on, written or kept); false as readChunk.
  bool takeChunk(std::string_view raw);
  void reserveResponseMemory(uint64_t length);
  // Whether the delegate or a block takes the body in pieces (nothing is stored then).
  bool takesDataItself() const;
  // Lets the stream read a large plain body kept in memory straight into its pages.
  void readBodyStraightIntoMemory();
  char* bodyRoom(size_t* length);
  void bodyFilled(size_t length);
  // Appends to the body in memory within the bound; false when the request failed instead.
  bool appendToMemoryBody(kit::MutableData& memory, const void* bytes, size_t length);
  // Inflates a gzip body held in memory at the end of the response; the error when it cannot.
  kit::Ref<kit::Error> inflateMemoryBody();
  kit::Ref<kit::Error> tooLargeForMemoryError() const;
  void storeInCache();
  // Makes or updates the challenge object of the response (proxy or server); false when the
  // request failed instead.
  bool takeChallenge(bool proxy);
  void answerChallenge(bool proxy);

  mutable std::mutex propertyMutex_;
  mutable std::recursive_mutex cancelledLock_;
  kit::Ref<kit::URL> url_;
  HttpRequestDelegate* delegate_ = nullptr;
  kit::Ref<kit::Object> queue_;
  HttpProgressDelegate* uploadProgressDelegate_ = nullptr;
  HttpProgressDelegate* downloadProgressDelegate_ = nullptr;
  HttpRequest* mainRequest_ = nullptr;
  kit::Ref<kit::Object> clientCertificateIdentity_;
  Blocks blocks_;
  Selectors selectors_;
  kit::Ref<kit::HTTPMessage> request_;
  // Challenge objects of the server and the proxy (none are made yet).
  kit::Ref<kit::Object> requestAuthentication_;
  kit::Ref<kit::Object> proxyAuthentication_;
  // The response the challenge objects last read, so one response is read once.
  kit::Ref<kit::HTTPMessage> lastChallengeResponse_;
  // The proxies a script named after the one in use (request thread).
  std::vector<kit::ProxySettings::Proxy> proxyFallbacks_;
  kit::Ref<kit::Timer> pacTimer_;
  kit::Ref<kit::Thread> requestThread_;
  std::atomic<bool> inProgress_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> isSynchronous_{false};
  // Set by the destructor: nothing may take a new reference any more.
  bool destroying_ = false;
  // Whether this attempt's response may write the download file (200, or a 206 that continues it).
  bool writesDownloadFile_ = false;
  bool downloadFileOpened_ = false;
  // Set by cancel() on any thread: the body's last steps stop at the next block.
  std::atomic<bool> cancelRequested_{false};
  // The end of the response is to be reported once the lock is let go, with this error (request thread).
  bool finishPending_ = false;
  kit::Ref<kit::Error> pendingFileError_;
  // Whether the engine named the download's partial file itself (request thread).
  bool madeTemporaryDownloadPath_ = false;
  // The length of the byte range a partial (206) answer named (request thread).
  uint64_t rangeLength_ = 0;
  // The origin the delegate or the dialog last supplied credentials for (request thread).
  kit::Ref<kit::URL> credentialsOrigin_;
  // Login questions put to the delegate or the dialog (request thread).
  int authenticationQuestions_ = 0;
  // A gzip body held in memory, inflated when the response ended (null until then).
  kit::Ref<kit::Data> inflatedResponseData_;
  // Whether the body in memory is a file download's unstored answer (bounded, not failed).
  bool keepsUnstoredBody_ = false;
  // Whether body bytes of this response went to the delegate or the data block (request thread).
  bool passedBodyOn_ = false;
  // Whether the stream reads the body straight into rawResponseData (request thread).
  bool readsIntoMemory_ = false;
  // Faults in the room reserved for a large body ahead of the bytes coming in (network thread).
  std::unique_ptr<kit::PagePrefaulter> prefaulter_;
  // Where the stream puts body bytes that are appended to a body in a memory file (request thread).
  static constexpr size_t kBodyBounceLength = 262144;
  std::unique_ptr<char[]> bodyBounce_;
};

#undef TOLVA_HTTP_VALUE
#undef TOLVA_HTTP_OBJECT
#undef TOLVA_HTTP_TEXT

}  // namespace tolva
