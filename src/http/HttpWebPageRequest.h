#pragma once
// A request that archives an HTML page or a style sheet with what it refers to (style sheets,
// scripts, images, frames, media, and the URLs inside style sheets and style attributes), and
// can rewrite it so that it no longer needs the network: each reference becomes a "data:" URL
// or a relative path to a local copy. Resources are fetched by child requests of this class
// (a style sheet's own images too) through a network queue.
//
// Only http and https resources are fetched ("data:" stays as it is; file:, javascript: and the
// rest are left alone); a page, sheet or frame that refers to itself or to one containing it is
// not fetched again, and nesting stops at kMaximumDepth, so self-referencing sheets and frames end. References are
// replaced only where they were found (a whole attribute, or the inside of one url(...)). A
// failed or cancelled archive always ends and reports once.
//
// HTML goes through libxml2; every parse, rewrite and document release is under one class-wide
// lock. The parser is set up once and never torn down while the program runs.

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "http/HttpNetworkQueue.h"
#include "http/HttpProgressDelegate.h"
#include "http/HttpRequestDelegate.h"
#include "http/HttpRequest.h"

typedef struct _xmlDoc xmlDoc;

namespace tolva {

enum WebContentType : int { WebContentOther = 0, WebContentHTML = 1, WebContentCSS = 2 };
enum UrlReplacementMode : int { UrlReplacementNone = 0, UrlReplacementDataURL = 1, UrlReplacementLocalFile = 2 };

class HttpWebPageRequest : public HttpRequest {
 public:
  static constexpr const char* kResourceQuery =
      "//link/@href|//a/@href|//script/@src|//img/@src|//frame/@src|//iframe/@src|//style|//*/@style|"
      "//source/@src|//video/@poster|//audio/@src";
  // Pages, sheets and frames nested deeper than this are kept but not followed further.
  static constexpr int kMaximumDepth = 6;

  explicit HttpWebPageRequest(kit::Ref<kit::URL> url);
  ~HttpWebPageRequest() override;
  static kit::Ref<HttpWebPageRequest> requestWithURL(kit::Ref<kit::URL> url);

  void markAsFinished() override;
  void requestFinished() override;
  void parseAsCSS();
  // libxml2's name for the response's text encoding; empty lets the parser decide.
  std::string encodingName() const;
  void parseAsHTML();
  void externalResourceFetchSucceeded(HttpRequest* request);
  void externalResourceFetchFailed(HttpRequest* request);
  void finishedFetchingExternalResources(HttpNetworkQueue* queue);
  void addURLToFetch(const std::string& newURL);

  // Every url(...) of a style text, trimmed of spaces and quotes, in order.
  static std::vector<std::string> CSSURLsFromString(const std::string& string);
  // The style text with each url(...) whose value `replace` answers rewritten (only there).
  static std::string replaceCSSURLs(const std::string& string,
                                    const std::function<std::string(const std::string& url)>& replace);
  static std::string relativePathTo(const std::string& path, const std::string& fromPath);
  // The replacement for a listed URL (a data: URL or a relative path), or empty for none.
  std::string contentForExternalURL(const std::string& url);
  std::string cachePathForRequest(HttpRequest* request);

  HttpNetworkQueue* externalResourceQueue() const noexcept { return externalResourceQueue_.get(); }
  kit::MutableDictionary* resourceList() const noexcept { return resourceList_.get(); }
  HttpWebPageRequest* parentRequest() const noexcept { return parentRequest_.get(); }
  void setParentRequest(kit::Ref<HttpWebPageRequest> parent) { parentRequest_ = std::move(parent); }
  int urlReplacementMode() const noexcept { return urlReplacementMode_; }
  void setUrlReplacementMode(int mode) noexcept { urlReplacementMode_ = mode; }
  int webContentType() const noexcept { return webContentType_; }

  std::string className() const override { return "HttpWebPageRequest"; }
  kit::Ref<HttpRequest> newRequestOfThisClass(kit::Ref<kit::URL> url) const override {
    return kit::make<HttpWebPageRequest>(std::move(url));
  }

 private:
  bool readResourceURLs();
  bool updateResourceURLs();
  void startChildren();
  // Ends the request as the engine would (on the request's thread).
  void finishNormally();
  bool namesFilesRelativeToItself() const;
  // The bytes of the response (the downloaded file or memory).
  std::string responseBytes() const;
  bool writeResponseBytes(const std::string& bytes);
  void leaveParsedPages();
  int depth() const;

  // What the children tell their parent: their progress and their login questions go on to the
  // top request's delegates (so its progress delegates count every resource, and its delegate
  // answers every login); their other events stay with the archiver.
  class ChildEvents : public HttpRequestDelegate, public HttpProgressDelegate {
   public:
    explicit ChildEvents(HttpWebPageRequest* owner) : owner_(owner) {}
    bool respondsToSelector(std::string_view selector) const override;
    void authenticationNeededForRequest(HttpRequest* request) override;
    void proxyAuthenticationNeededForRequest(HttpRequest* request) override;
    void requestDidReceiveBytes(HttpRequest* request, int64_t bytes) override;
    void requestDidSendBytes(HttpRequest* request, int64_t bytes) override;
    void requestIncrementDownloadSizeBy(HttpRequest* request, int64_t newLength) override;
    void requestIncrementUploadSizeBy(HttpRequest* request, int64_t newLength) override;

   private:
    const HttpWebPageRequest* top() const;
    // The top request's receiver of the call, when it answers it.
    HttpRequestDelegate* loginTarget(std::string_view selector) const;
    HttpProgressDelegate* progressTarget(std::string_view selector) const;
    HttpWebPageRequest* owner_;
  };
  // The sheet's text in the response's encoding; false (with the read error, if any) when it
  // cannot be had.
  bool readSheetText(std::string* text, kit::Ref<kit::Error>* readError) const;
  bool writeSheetText(const std::string& text);

  ChildEvents childEvents_{this};
  kit::Ref<HttpNetworkQueue> externalResourceQueue_;
  kit::Ref<kit::MutableDictionary> resourceList_;
  xmlDoc* doc_ = nullptr;
  int webContentType_ = WebContentOther;
  kit::Ref<HttpWebPageRequest> parentRequest_;
  int urlReplacementMode_ = UrlReplacementNone;
  // The request may end only once its resources are done (or it failed).
  bool resourcesDone_ = false;
  bool childFailed_ = false;
};

}  // namespace tolva
