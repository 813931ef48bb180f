// http_get: fetches one URL through the request engine, with its logins, proxies, proxy
// scripts, response cache and form bodies, and prints "status=<code> bytes=<n> sha256=<hex>".
//
//   http_get [--user U --password P] [--proxy URL] [--pac FILE|URL] [--cache DIR]
//            [--post k=v ...] URL [OUT]
//
// Exit 0 when the request finished (whatever its status), 1 with the error text when it failed,
// 2 for a bad command line.

#include <openssl/evp.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "http/HttpDownloadCache.h"
#include "http/HttpFormDataRequest.h"
#include "http/HttpRequest.h"
#include "kit/foundation/FileManager.h"
#include "kit/security/Digest.h"

using kit::Ref;

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: http_get [--user U --password P] [--proxy URL] [--pac FILE|URL] [--cache DIR]\n"
               "                [--post k=v ...] URL [OUT]\n");
  return 2;
}

std::string sha256(std::string_view bytes) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned len = 0;
  EVP_Digest(bytes.data(), bytes.size(), out, &len, EVP_sha256(), nullptr);
  return kit::Digest::hex(std::span<const uint8_t>(out, len));
}

}  // namespace

int main(int argc, char** argv) {
  std::string user, password, proxy, pac, cacheDir, target, out;
  std::vector<std::pair<std::string, std::string>> fields;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string* into) {
      if (i + 1 >= argc) return false;
      *into = argv[++i];
      return true;
    };
    if (a == "--user") {
      if (!value(&user)) return usage();
    } else if (a == "--password") {
      if (!value(&password)) return usage();
    } else if (a == "--proxy") {
      if (!value(&proxy)) return usage();
    } else if (a == "--pac") {
      if (!value(&pac)) return usage();
    } else if (a == "--cache") {
      if (!value(&cacheDir)) return usage();
    } else if (a == "--post") {
      std::string kv;
      if (!value(&kv)) return usage();
      const size_t eq = kv.find('=');
      if (eq == std::string::npos) return usage();
      fields.emplace_back(kv.substr(0, eq), kv.substr(eq + 1));
    } else if (a.rfind("--", 0) == 0) {
      return usage();
    } else if (target.empty()) {
      target = a;
    } else if (out.empty()) {
      out = a;
    } else {
      return usage();
    }
  }
  Ref<kit::URL> url = kit::URL::URLWithString(target);
  if (!url) return usage();

  Ref<tolva::HttpRequest> request;
  if (!fields.empty()) {
    Ref<tolva::HttpFormDataRequest> form = tolva::HttpFormDataRequest::requestWithURL(url);
    for (const auto& [k, v] : fields) form->addPostValue(v, k);
    request = form;
  } else {
    request = tolva::HttpRequest::requestWithURL(url);
  }
  request->setTimeOutSeconds(60);
  if (!user.empty()) {
    request->setUsername(user);
    request->setPassword(password);
  }
  if (!proxy.empty()) {
    Ref<kit::URL> p = kit::URL::URLWithString(proxy.find("://") == std::string::npos ? "http://" + proxy : proxy);
    if (!p || p->host().empty()) return usage();
    request->setProxyHost(p->host());
    request->setProxyPort(p->port().value_or(p->lowercaseScheme().rfind("socks", 0) == 0 ? 1080 : 80));
    if (p->lowercaseScheme().rfind("socks", 0) == 0) request->setProxyType(tolva::HttpRequest::kProxyTypeSOCKS);
    if (!p->user().empty()) {
      request->setProxyUsername(p->user());
      request->setProxyPassword(p->password());
    }
  }
  if (!pac.empty()) {
    Ref<kit::URL> p = pac.find("://") == std::string::npos ? kit::URL::fileURLWithPath(pac) : kit::URL::URLWithString(pac);
    if (!p) return usage();
    request->setPACurl(p);
  }
  if (!cacheDir.empty()) {
    kit::FileManager::createDirectory(cacheDir);
    auto cache = kit::make<tolva::HttpDownloadCache>();
    cache->setStoragePath(cacheDir);
    request->setDownloadCache(cache);
    request->setCacheStoragePolicy(tolva::CacheStoragePermanent);
  }
  if (!out.empty()) request->setDownloadDestinationPath(out);

  request->startSynchronous();
  if (Ref<kit::Error> e = request->error()) {
    std::fprintf(stderr, "http_get: %s\n", e->localizedDescription().c_str());
    return 1;
  }
  std::string body;
  if (!out.empty()) {
    Ref<kit::Data> d = kit::FileManager::readFile(request->downloadDestinationPath());
    if (d) body = d->toString();
  } else if (Ref<kit::Data> d = request->responseData()) {
    body = d->toString();
  }
  std::printf("status=%d bytes=%zu sha256=%s\n", request->responseStatusCode(), body.size(), sha256(body).c_str());
  return 0;
}
