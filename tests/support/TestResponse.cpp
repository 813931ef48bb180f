#include "support/TestResponse.h"

namespace tolvatest {

TestResponse TestResponse::ok(std::string body, std::string contentType) {
  TestResponse r;
  r.body = std::move(body);
  if (!contentType.empty()) r.headers.add("Content-Type", std::move(contentType));
  return r;
}

TestResponse TestResponse::withStatus(int status, std::string body) {
  TestResponse r;
  r.status = status;
  r.body = std::move(body);
  if (!r.body.empty()) r.headers.add("Content-Type", "text/plain");
  return r;
}

TestResponse TestResponse::html(std::string body) { return ok(std::move(body), "text/html; charset=utf-8"); }

TestResponse TestResponse::redirect(int status, std::string location) {
  TestResponse r;
  r.status = status;
  r.headers.add("Location", std::move(location));
  return r;
}

TestResponse TestResponse::generated(std::shared_ptr<const TestBodySource> source, std::string contentType) {
  TestResponse r;
  r.source = std::move(source);
  if (!contentType.empty()) r.headers.add("Content-Type", std::move(contentType));
  return r;
}

TestResponse TestResponse::rawBytes(std::string bytes, bool keepAlive) {
  TestResponse r;
  r.raw = std::move(bytes);
  r.rawKeepAlive = keepAlive;
  return r;
}

TestResponse TestResponse::drop() {
  TestResponse r;
  r.dropConnection = true;
  return r;
}

TestResponse TestResponse::resetNow() {
  TestResponse r;
  r.resetConnection = true;
  return r;
}

TestResponse& TestResponse::header(std::string name, std::string value) {
  headers.add(std::move(name), std::move(value));
  return *this;
}

TestResponse& TestResponse::contentType(std::string value) {
  headers.set("Content-Type", std::move(value));
  return *this;
}

TestResponse& TestResponse::setCookie(std::string cookie) { return header("Set-Cookie", std::move(cookie)); }

TestResponse& TestResponse::withReason(std::string text) {
  reason = std::move(text);
  return *this;
}

TestResponse& TestResponse::chunked(std::vector<size_t> sizes) {
  framing = Framing::Chunked;
  chunkSizes = std::move(sizes);
  return *this;
}

TestResponse& TestResponse::closeDelimited() {
  framing = Framing::CloseDelimited;
  return *this;
}

TestResponse& TestResponse::http10() {
  framing = Framing::HTTP10;
  return *this;
}

TestResponse& TestResponse::gzip() {
  coding = ContentCoding::Gzip;
  return *this;
}

TestResponse& TestResponse::deflate() {
  coding = ContentCoding::Deflate;
  return *this;
}

TestResponse& TestResponse::trailer(std::string name, std::string value) {
  trailers.add(std::move(name), std::move(value));
  return *this;
}

TestResponse& TestResponse::stallBeforeHead(std::chrono::milliseconds duration) {
  stall = Stall{Stall::At::BeforeHead, 0, duration};
  return *this;
}

TestResponse& TestResponse::stallAfterHead(std::chrono::milliseconds duration) {
  stall = Stall{Stall::At::AfterHead, 0, duration};
  return *this;
}

TestResponse& TestResponse::stallAfterBody(uint64_t bytes, std::chrono::milliseconds duration) {
  stall = Stall{Stall::At::AfterBodyBytes, bytes, duration};
  return *this;
}

TestResponse& TestResponse::trickleBy(size_t bytes, std::chrono::milliseconds interval, bool includeHead) {
  trickle = Trickle{bytes == 0 ? 1 : bytes, interval, includeHead};
  return *this;
}

TestResponse& TestResponse::close() {
  closeConnection = true;
  return *this;
}

TestResponse& TestResponse::abortAfter(uint64_t bodyBytes) {
  abortAfterBodyBytes = bodyBytes;
  return *this;
}

const char* TestResponse::reasonPhrase(int status) {
  switch (status) {
    case 100: return "Continue";
    case 101: return "Switching Protocols";
    case 200: return "OK";
    case 201: return "Created";
    case 202: return "Accepted";
    case 204: return "No Content";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 407: return "Proxy Authentication Required";
    case 408: return "Request Timeout";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 416: return "Range Not Satisfiable";
    case 417: return "Expectation Failed";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    case 505: return "HTTP Version Not Supported";
    default: return "Status";
  }
}

}  // namespace tolvatest
