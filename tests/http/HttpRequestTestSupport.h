#pragma once
// Shared pieces of the request engine's suites: a delegate that records every call, and a
// fixture with a fresh home, clean cookies and helpers that run the main loop until a request
// has reported.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "http/HttpRequest.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/RunLoop.h"
#include "kit/net/HTTPCookieStorage.h"
#include "support/TempHome.h"

namespace tolvatest {

class RecordingDelegate : public tolva::HttpRequestDelegate {
 public:
  bool respondsToSelector(std::string_view selector) const override {
    if (!takesData && selector == kRequestDidReceiveData) return false;
    if (!followsRedirectsItself && selector == kRequestWillRedirectToURL) return false;
    if (!answersAuthentication &&
        (selector == kAuthenticationNeededForRequest || selector == kProxyAuthenticationNeededForRequest)) {
      return false;
    }
    return true;
  }
  void requestStarted(tolva::HttpRequest*) override { calls.push_back("started"); }
  void requestDidReceiveResponseHeaders(tolva::HttpRequest*, kit::Dictionary* headers) override {
    calls.push_back("headers");
    lastHeaders = headers;
  }
  void requestWillRedirectToURL(tolva::HttpRequest*, kit::URL* url) override {
    calls.push_back("willRedirect");
    redirectTarget = url;
  }
  void requestRedirected(tolva::HttpRequest*) override { calls.push_back("redirected"); }
  void requestFinished(tolva::HttpRequest*) override {
    calls.push_back("finished");
    ++finished;
  }
  void requestFailed(tolva::HttpRequest*) override {
    calls.push_back("failed");
    ++failed;
  }
  void requestDidReceiveData(tolva::HttpRequest*, kit::Data* data) override { received += data->toString(); }

  bool done() const { return finished + failed > 0; }
  size_t count(const std::string& call) const {
    size_t n = 0;
    for (const auto& c : calls) n += c == call;
    return n;
  }

  bool takesData = false;
  bool followsRedirectsItself = false;
  bool answersAuthentication = false;
  std::vector<std::string> calls;
  int finished = 0;
  int failed = 0;
  std::string received;
  kit::Ref<kit::Dictionary> lastHeaders;
  kit::Ref<kit::URL> redirectTarget;
};

class HttpRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kit::HTTPCookieStorage::sharedHTTPCookieStorage().deleteAllCookies();
    tolva::HttpRequest::setSessionCookies(nullptr);
    tolva::HttpRequest::expirePersistentConnections();
  }
  void TearDown() override { kit::HTTPCookieStorage::sharedHTTPCookieStorage().deleteAllCookies(); }

  static kit::Ref<kit::URL> U(const std::string& s) { return kit::URL::URLWithString(s); }

  // Starts the request on the shared queue and runs the main loop until it reported.
  static bool runAsync(tolva::HttpRequest* request, RecordingDelegate& delegate, double timeout = 20) {
    request->setDelegate(&delegate);
    request->startAsynchronous();
    return kit::RunLoop::main().runUntil([&] { return delegate.done() && request->isFinished(); }, timeout);
  }
  // Lets calls already queued for the main thread run.
  static void settle(double seconds = 0.2) {
    kit::RunLoop::main().runUntil([] { return false; }, seconds);
  }
  std::string tmp(const std::string& name) const { return kit::Paths::temporaryDirectory() + "/" + name; }
  static std::string read(const std::string& path) {
    kit::Ref<kit::Data> d = kit::FileManager::readFile(path);
    return d ? d->toString() : std::string("<missing>");
  }

  TempHome home;
};

}  // namespace tolvatest
