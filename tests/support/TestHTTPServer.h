#pragma once
// A scriptable HTTP/1.1 (or HTTPS) server on 127.0.0.1 for tests and
// benchmarks. Routes by method and path answer with TestResponses; every
// request is recorded. It listens from construction to stop() or destruction.
//
//   TestHTTPServer server;
//   server.route("GET", "/hello", TestResponse::ok("hi").gzip());
//   ... fetch server.url("/hello") ...
//   EXPECT_EQ(server.requests().at(0).headers.value("Accept-Encoding"), "gzip");

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "support/LoopbackListener.h"
#include "support/RecordedRequest.h"
#include "support/TestCertificateAuthority.h"
#include "support/TestResponse.h"
#include "support/TestServerLimits.h"

typedef struct ssl_ctx_st SSL_CTX;

namespace tolvatest {

struct TestHTTPServerOptions {
  bool tls = false;
  // The certificate served over TLS; the shared CA's localhost one when unset.
  std::optional<TestCertificate> certificate{};
  TestServerLimits limits{};
  // TLS: ask the client for a certificate (any is accepted) and record the ones it sends.
  bool requestClientCertificate = false;

  static TestHTTPServerOptions https(std::optional<TestCertificate> certificate = std::nullopt);
};

struct RangeOptions {
  // false: Range is ignored and the whole body sent with 200.
  bool honorRange = true;
  std::string etag;          // sent as ETag; If-Range compares against it
  std::string lastModified;  // sent as Last-Modified; If-Range compares too
  std::string contentType = "application/octet-stream";
  bool advertiseRanges = true;  // "Accept-Ranges: bytes"
};

class TestHTTPServer {
 public:
  // Runs on the connection's thread.
  using Handler = std::function<TestResponse(const RecordedRequest&)>;

  explicit TestHTTPServer(TestHTTPServerOptions options = {});
  ~TestHTTPServer();
  TestHTTPServer(const TestHTTPServer&) = delete;
  TestHTTPServer& operator=(const TestHTTPServer&) = delete;

  uint16_t port() const;
  bool isTLS() const { return tls_ != nullptr; }
  // "http://127.0.0.1:PORT" (https when TLS).
  std::string origin() const;
  std::string url(const std::string& path) const;
  // The same URL with another host name, e.g. "localhost".
  std::string url(const std::string& host, const std::string& path) const;

  // Routes. Method "*" matches any; a GET route also answers HEAD (without
  // the body). An exact path beats a prefix; the longest prefix wins; a later
  // route for the same method and path replaces the earlier one. Unrouted
  // requests get the fallback (404 by default).
  void route(const std::string& method, const std::string& path, TestResponse response);
  void route(const std::string& method, const std::string& path, Handler handler);
  void routePrefix(const std::string& method, const std::string& prefix, TestResponse response);
  void routePrefix(const std::string& method, const std::string& prefix, Handler handler);
  void setFallback(Handler handler);
  void removeRoutes();

  // `from` answers `status` with Location: `to` (as given).
  void redirect(const std::string& from, const std::string& to, int status = 302);
  // paths[0] → paths[1] → … → paths.back(), which answers `final`. Locations
  // are paths, or full URLs when absolute.
  void redirectChain(const std::vector<std::string>& paths, TestResponse final, int status = 302,
                     bool absolute = false);
  // GET/HEAD on `path` serve a fixed body with byte ranges (single range:
  // 206 + Content-Range; several: the whole body; unsatisfiable: 416).
  void rangeRoute(const std::string& path, std::string body, RangeOptions options = {});
  void rangeRoute(const std::string& path, std::shared_ptr<const TestBodySource> body, RangeOptions options = {});

  // Behaviour of the connections (changeable at any time).
  // Closes a kept-alive connection after this long without a new request.
  void setIdleTimeout(std::chrono::milliseconds timeout);
  // Closes each connection after its n-th response (0: never). Unless
  // announce, that response does not say "Connection: close", so a client
  // reusing the socket finds it dead.
  void setMaxRequestsPerConnection(unsigned n, bool announce = false);
  // "Connection: close" on every response.
  void setAlwaysClose(bool close);
  // Answers "Expect: 100-continue" with 100 before reading the body (default on).
  void setAutoContinue(bool on);
  // Computes RecordedRequest::bodySHA256 for every request body.
  void setHashRequestBodies(bool on);

  // Records.
  std::vector<RecordedRequest> requests() const;
  size_t requestCount() const;
  std::optional<RecordedRequest> lastRequest() const;
  // Requests to this path (without the query), in order.
  std::vector<RecordedRequest> requestsFor(const std::string& path) const;
  // Waits until at least n requests have been recorded; false on time-out.
  bool waitForRequests(size_t n, std::chrono::milliseconds timeout = std::chrono::milliseconds(10000)) const;
  void clearRequests();
  // Sockets accepted so far (a new number for each).
  uint64_t connectionCount() const;
  size_t openConnectionCount() const;

  // Interrupts everything (stalls and trickles included) and joins all
  // threads; idempotent. The destructor stops.
  void stop();

 private:
  struct Route;
  struct Settings;
  struct Connection;
  friend struct Connection;

  void serve(AcceptedConnection& accepted);
  TestResponse respond(const RecordedRequest& request);
  void addRoute(const std::string& method, const std::string& path, bool prefix, Handler handler);
  Settings settings() const;

  std::shared_ptr<SSL_CTX> tls_;
  mutable std::mutex mutex_;
  mutable std::condition_variable recorded_;
  std::vector<Route> routes_;
  Handler fallback_;
  std::unique_ptr<Settings> settings_;
  std::vector<RecordedRequest> requests_;
  // Last, so that it stops before anything it uses goes away.
  std::unique_ptr<LoopbackListener> listener_;
};

}  // namespace tolvatest
