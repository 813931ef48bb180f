#include "share/notes/EDAMClientFactory.h"

#include <thrift/protocol/TBinaryProtocol.h>
#include <thrift/transport/THttpClient.h>
#include <thrift/transport/TSSLSocket.h>
#include <thrift/transport/TSocket.h>

#include <mutex>

namespace tolva {
namespace {

using apache::thrift::TException;
using apache::thrift::protocol::TBinaryProtocol;
using apache::thrift::protocol::TProtocol;
using apache::thrift::transport::DefaultClientAccessManager;
using apache::thrift::transport::THttpClient;
using apache::thrift::transport::TSocket;
using apache::thrift::transport::TSSLSocketFactory;

std::mutex gMutex;
EDAMClientFactory::Timeouts gTimeouts;
std::string gExtraRoots;
std::shared_ptr<TSSLSocketFactory> gTLS;  // one per process: it sets up OpenSSL

std::shared_ptr<TSSLSocketFactory> tlsFactory() {
  std::lock_guard<std::mutex> lock(gMutex);
  if (!gTLS) {
    auto factory = std::make_shared<TSSLSocketFactory>();
    factory->authenticate(true);
    factory->access(std::make_shared<DefaultClientAccessManager>());
    for (const char* bundle : {"/etc/ssl/certs/ca-certificates.crt", "/etc/pki/tls/certs/ca-bundle.crt"}) {
      try {
        factory->loadTrustedCertificates(bundle);
        break;
      } catch (const TException&) {
      }
    }
    if (!gExtraRoots.empty()) factory->loadTrustedCertificates(gExtraRoots.c_str());
    gTLS = factory;
  }
  return gTLS;
}

}  // namespace

void EDAMClientFactory::setTimeouts(Timeouts t) {
  std::lock_guard<std::mutex> lock(gMutex);
  gTimeouts = t;
}

EDAMClientFactory::Timeouts EDAMClientFactory::timeouts() {
  std::lock_guard<std::mutex> lock(gMutex);
  return gTimeouts;
}

void EDAMClientFactory::setExtraTrustedCertificates(std::string pemPath) {
  std::lock_guard<std::mutex> lock(gMutex);
  gExtraRoots = std::move(pemPath);
  gTLS.reset();  // made again with the new roots
}

std::shared_ptr<TProtocol> EDAMClientFactory::openProtocol(const kit::URL& url, std::string* error) {
  const std::string scheme = url.lowercaseScheme();
  const bool tls = scheme == "https";
  if ((!tls && scheme != "http") || url.host().empty()) {
    if (error) *error = "not an http(s) URL: " + url.absoluteString();
    return nullptr;
  }
  const int port = url.port().value_or(tls ? 443 : 80);
  std::string path = url.percentEncodedPath();
  if (path.empty()) path = "/";
  if (url.hasQuery()) path += "?" + url.query();
  Timeouts t = timeouts();
  try {
    std::shared_ptr<TSocket> socket = tls ? std::shared_ptr<TSocket>(tlsFactory()->createSocket(url.host(), port))
                                          : std::make_shared<TSocket>(url.host(), port);
    socket->setConnTimeout(t.connectMs);
    socket->setSendTimeout(t.sendMs);
    socket->setRecvTimeout(t.receiveMs);
    std::string hostHeader = url.host() + (url.port() ? ":" + std::to_string(port) : std::string());
    auto http = std::make_shared<THttpClient>(socket, hostHeader, path);
    http->open();
    // Non-strict headers on write, as the service's own clients send them; both read.
    return std::make_shared<TBinaryProtocol>(http, 0, 0, false, false);
  } catch (const TException& e) {
    if (error) *error = e.what();
    return nullptr;
  }
}

std::shared_ptr<edam::EDAMUserStoreClient> EDAMClientFactory::userStore(const kit::URL& url, std::string* error) {
  auto protocol = openProtocol(url, error);
  return protocol ? std::make_shared<edam::EDAMUserStoreClient>(protocol) : nullptr;
}

std::shared_ptr<edam::EDAMNoteStoreClient> EDAMClientFactory::noteStore(const kit::URL& url, std::string* error) {
  auto protocol = openProtocol(url, error);
  return protocol ? std::make_shared<edam::EDAMNoteStoreClient>(protocol) : nullptr;
}

}  // namespace tolva
