// Authentication and proxy choice, in their smallest form: no credentials are found anywhere,
// nobody is asked, and no proxy is looked up beyond the one set on the request. A challenge
// therefore ends the request with the shared "Authentication needed" error. The session stores
// keep what they are given.

#include "http/HttpRequest.h"
#include "http/HttpRequestShared.h"
#include "kit/foundation/Format.h"
#include "kit/security/Base64.h"

namespace tolva {

using kit::Ref;

void HttpRequest::applyAuthorizationHeader() {}

void HttpRequest::addBasicAuthenticationHeaderWithUsername(const std::string& user, const std::string& pass) {
  addRequestHeader("Authorization", kit::format("Basic %@", kit::Base64::encode(user + ":" + pass)));
}

void HttpRequest::attemptToApplyCredentialsAndResume() {
  if (error() || isCancelled()) return;
  if (authenticationNeeded() == 2) {
    attemptToApplyProxyCredentialsAndResume();
    return;
  }
  cancelLoad();
  failWithError(HttpRequestShared::get().authenticationError);
}

void HttpRequest::attemptToApplyProxyCredentialsAndResume() {
  if (error() || isCancelled()) return;
  cancelLoad();
  failWithError(HttpRequestShared::get().authenticationError);
}

bool HttpRequest::configureProxies() { return true; }

Ref<kit::Dictionary> HttpRequest::findCredentials() { return nullptr; }
Ref<kit::Dictionary> HttpRequest::findProxyCredentials() { return nullptr; }
Ref<kit::Dictionary> HttpRequest::findSessionAuthenticationCredentials() { return nullptr; }
Ref<kit::Dictionary> HttpRequest::findSessionProxyAuthenticationCredentials() { return nullptr; }

// Without a challenge object nothing can be applied; each attempt still counts.
bool HttpRequest::applyCredentials(Ref<kit::Dictionary>) {
  setAuthenticationRetryCount(authenticationRetryCount() + 1);
  return false;
}

bool HttpRequest::applyProxyCredentials(Ref<kit::Dictionary>) {
  setProxyAuthenticationRetryCount(proxyAuthenticationRetryCount() + 1);
  return false;
}

void HttpRequest::saveCredentialsToKeychain(Ref<kit::Dictionary>) {}
void HttpRequest::saveProxyCredentialsToKeychain(Ref<kit::Dictionary>) {}
bool HttpRequest::willAskDelegateForCredentials() { return false; }
bool HttpRequest::willAskDelegateForProxyCredentials() { return false; }
void HttpRequest::askDelegateForCredentials() {}
void HttpRequest::askDelegateForProxyCredentials() {}
bool HttpRequest::showAuthenticationDialog() { return false; }
bool HttpRequest::showProxyAuthenticationDialog() { return false; }

// No proxy script is read: the request goes without a proxy.
void HttpRequest::fetchPACFile() { startRequest(); }
void HttpRequest::timeOutPACRead() {}
void HttpRequest::runPACScript(const std::string&) {}
void HttpRequest::finishedDownloadingPACFile(HttpRequest*) { startRequest(); }

void HttpRequest::saveCredentials(Ref<kit::Dictionary>, const std::string&, int, const std::string&,
                                  const std::string&) {}
void HttpRequest::saveCredentials(Ref<kit::Dictionary>, const std::string&, int, const std::string&) {}
Ref<kit::Dictionary> HttpRequest::savedCredentialsForHost(const std::string&, int, const std::string&,
                                                          const std::string&) {
  return nullptr;
}
Ref<kit::Dictionary> HttpRequest::savedCredentialsForProxy(const std::string&, int, const std::string&,
                                                           const std::string&) {
  return nullptr;
}
void HttpRequest::removeCredentialsForHost(const std::string&, int, const std::string&, const std::string&) {}
void HttpRequest::removeCredentialsForProxy(const std::string&, int, const std::string&) {}

void HttpRequest::retryUsingSuppliedCredentials() {
  Ref<HttpRequest> self(this);
  performOnRequestThread([self] {
    std::lock_guard<std::recursive_mutex> g(self->cancelledLock_);
    if (self->request_) self->attemptToApplyCredentialsAndResume();
    else self->main();
  });
}

void HttpRequest::cancelAuthentication() {
  Ref<HttpRequest> self(this);
  performOnRequestThread([self] { self->failAuthentication(); });
}

void HttpRequest::failAuthentication() { failWithError(HttpRequestShared::get().authenticationError); }

Ref<kit::MutableArray> HttpRequest::sessionCredentialsStore() {
  HttpRequestShared& s = HttpRequestShared::get();
  std::lock_guard<std::recursive_mutex> g(s.sessionCredentialsLock);
  if (!s.sessionCredentialsStore) s.sessionCredentialsStore = kit::MutableArray::array();
  return s.sessionCredentialsStore;
}

Ref<kit::MutableArray> HttpRequest::sessionProxyCredentialsStore() {
  HttpRequestShared& s = HttpRequestShared::get();
  std::lock_guard<std::recursive_mutex> g(s.sessionCredentialsLock);
  if (!s.sessionProxyCredentialsStore) s.sessionProxyCredentialsStore = kit::MutableArray::array();
  return s.sessionProxyCredentialsStore;
}

namespace {

// Entries are told apart by the identity of their "Credentials" object.
void removeEntry(kit::MutableArray* store, const kit::Dictionary* entry) {
  if (!entry) return;
  kit::Object* credentials = entry->objectForKey("Credentials");
  for (size_t i = 0; i < store->count(); ++i) {
    auto* e = store->get<kit::Dictionary>(i);
    if (e && e->objectForKey("Credentials") == credentials) {
      store->removeObjectAtIndex(i);
      return;
    }
  }
}

}  // namespace

void HttpRequest::storeAuthenticationCredentialsInSessionStore(Ref<kit::Dictionary> credentials) {
  if (!credentials) return;
  std::lock_guard<std::recursive_mutex> g(HttpRequestShared::get().sessionCredentialsLock);
  Ref<kit::MutableArray> store = sessionCredentialsStore();
  removeEntry(store, credentials);
  store->addObject(credentials);
}

void HttpRequest::storeProxyAuthenticationCredentialsInSessionStore(Ref<kit::Dictionary> credentials) {
  if (!credentials) return;
  std::lock_guard<std::recursive_mutex> g(HttpRequestShared::get().sessionCredentialsLock);
  Ref<kit::MutableArray> store = sessionProxyCredentialsStore();
  removeEntry(store, credentials);
  store->addObject(credentials);
}

void HttpRequest::removeAuthenticationCredentialsFromSessionStore(kit::Dictionary* credentials) {
  std::lock_guard<std::recursive_mutex> g(HttpRequestShared::get().sessionCredentialsLock);
  removeEntry(sessionCredentialsStore(), credentials);
}

void HttpRequest::removeProxyAuthenticationCredentialsFromSessionStore(kit::Dictionary* credentials) {
  std::lock_guard<std::recursive_mutex> g(HttpRequestShared::get().sessionCredentialsLock);
  removeEntry(sessionProxyCredentialsStore(), credentials);
}

}  // namespace tolva
