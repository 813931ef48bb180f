// Authentication: credentials sent before a challenge, the answers to server (401) and proxy
// (407) challenges from the session store, the URL, the main request, the request, the keychain,
// the delegate and the login dialog, in that order, and the class-wide credential stores.
//
// Credentials a caller gave (in the URL, on the request or on its main request) belong to the
// origin the request was made for: a redirect to another origin never carries them along. Those a
// delegate or the login dialog supplies belong to the origin they were asked for.

#include <mutex>

#include "http/HttpAuthenticationDialog.h"
#include "http/HttpRequest.h"
#include "http/HttpRequestShared.h"
#include "kit/foundation/Format.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/String.h"
#include "kit/net/HTTPAuthentication.h"
#include "kit/net/URLCredentialStorage.h"
#include "kit/security/Base64.h"

namespace tolva {

using kit::HTTPAuthentication;
using kit::Ref;

namespace {

// Applications of credentials per request before it gives up (an NTLM login takes two).
constexpr int kMaximumAuthenticationAttempts = 6;

int effectivePort(const kit::URL* u) {
  if (u->port()) return *u->port();
  return u->lowercaseScheme() == "https" ? 443 : 80;
}

bool sameOrigin(const kit::URL* a, const kit::URL* b) {
  return a && b && a->lowercaseScheme() == b->lowercaseScheme() && a->lowercaseHost() == b->lowercaseHost() &&
         effectivePort(a) == effectivePort(b);
}

Ref<kit::Error> applyError(const char* text) {
  return kit::Error::errorWithDescription(kHttpRequestErrorDomain, kInternalErrorWhileApplyingCredentialsType, text);
}

Ref<kit::Dictionary> makeCredentials(const std::string& user, const std::string& password,
                                     const std::string* domain) {
  auto d = kit::MutableDictionary::dictionary();
  d->setObject(kit::str(user), HTTPAuthentication::kUsername);
  d->setObject(kit::str(password), HTTPAuthentication::kPassword);
  if (domain) d->setObject(kit::str(*domain), HTTPAuthentication::kAccountDomain);
  return d;
}

std::string text(const kit::Dictionary* d, const char* key) {
  kit::Object* o = d ? d->objectForKey(key) : nullptr;
  return o ? o->description() : std::string();
}

// The account domain for a scheme that needs one: the given one, else DOMAIN of "DOMAIN\user"
// (whose user part is then used), else empty.
Ref<kit::Dictionary> credentialsFor(const HTTPAuthentication* auth, std::string user, const std::string& password,
                                    const std::string& domain) {
  if (user.empty() || password.empty()) return nullptr;
  if (!auth || !auth->requiresAccountDomain()) return makeCredentials(user, password, nullptr);
  std::string d = domain;
  if (d.empty()) {
    const size_t slash = user.find('\\');
    if (slash != std::string::npos) {
      d = user.substr(0, slash);
      user = user.substr(slash + 1);
    }
  }
  return makeCredentials(user, password, &d);
}

HTTPAuthentication* authOf(const Ref<kit::Object>& o) { return dynamic_cast<HTTPAuthentication*>(o.get()); }

}  // namespace

bool HttpRequest::isAtCallerOrigin() const {
  Ref<kit::URL> current = url();
  Ref<kit::URL> origin = originalURL();
  return !origin || sameOrigin(current, origin);
}

bool HttpRequest::ownCredentialsApplyHere() const {
  if (!credentialsOrigin_) return isAtCallerOrigin();
  Ref<kit::URL> current = url();
  return sameOrigin(current, credentialsOrigin_);
}

// Whatever the delegate or the dialog answers is for the origin being asked; credentials that
// belong elsewhere are taken off the request first, so they cannot be sent here by mistake.
void HttpRequest::askingForCredentialsHere() {
  if (!ownCredentialsApplyHere()) {
    setUsername({});
    setPassword({});
    setDomain({});
  }
  credentialsOrigin_ = url();
}

void HttpRequest::applyAuthorizationHeader() {
  if (!shouldPresentCredentialsBeforeChallenge() || !request_) return;
  Ref<kit::Dictionary> entry;
  if (useSessionPersistence()) entry = findSessionAuthenticationCredentials();

  if (!username().empty() && !password().empty() && domain().empty() &&
      authenticationScheme() == kAuthenticationSchemeBasic && ownCredentialsApplyHere()) {
    addBasicAuthenticationHeaderWithUsername(username(), password());
  }

  Ref<kit::MutableDictionary> headers = requestHeaders();
  const bool haveHeader = (headers && headers->objectForKey("Authorization")) || request_->hasHeaderField("Authorization");
  if (entry && !haveHeader) {
    auto* credentials = entry->get<kit::Dictionary>("Credentials");
    if (auto* auth = dynamic_cast<HTTPAuthentication*>(entry->objectForKey("Authentication"))) {
      // A connection-based scheme cannot be answered ahead of its own challenge.
      if (auth->schemeName() != HTTPAuthentication::kSchemeNTLM && !auth->applyCredentials(*request_, credentials)) {
        removeAuthenticationCredentialsFromSessionStore(credentials);
      }
    } else if (credentials) {
      addBasicAuthenticationHeaderWithUsername(text(credentials, HTTPAuthentication::kUsername),
                                               text(credentials, HTTPAuthentication::kPassword));
    }
  }

  if (useSessionPersistence()) {
    if (Ref<kit::Dictionary> proxyEntry = findSessionProxyAuthenticationCredentials()) {
      auto* credentials = proxyEntry->get<kit::Dictionary>("Credentials");
      auto* auth = dynamic_cast<HTTPAuthentication*>(proxyEntry->objectForKey("Authentication"));
      if (auth && auth->schemeName() != HTTPAuthentication::kSchemeNTLM &&
          !auth->applyCredentials(*request_, credentials)) {
        removeProxyAuthenticationCredentialsFromSessionStore(credentials);
      }
    }
  }
}

void HttpRequest::addBasicAuthenticationHeaderWithUsername(const std::string& user, const std::string& pass) {
  addRequestHeader("Authorization", kit::format("Basic %@", kit::Base64::encode(user + ":" + pass)));
}

// ---- Session store

Ref<kit::Dictionary> HttpRequest::findSessionAuthenticationCredentials() {
  std::lock_guard<std::recursive_mutex> g(HttpRequestShared::get().sessionCredentialsLock);
  Ref<kit::MutableArray> store = sessionCredentialsStore();
  Ref<kit::URL> target = url();
  if (!target) return nullptr;
  const std::string realm = authenticationRealm();
  auto realmFits = [&](kit::Dictionary* entry) {
    auto* r = entry->get<kit::String>("AuthenticationRealm");
    return responseStatusCode() == 0 || !r || r->str() == realm;
  };
  for (size_t i = 0; i < store->count(); ++i) {
    auto* entry = store->get<kit::Dictionary>(i);
    auto* u = entry ? entry->get<kit::URL>("URL") : nullptr;
    if (u && kit::isEqual(u, target.get()) && realmFits(entry)) return Ref<kit::Dictionary>(entry);
  }
  for (size_t i = 0; i < store->count(); ++i) {
    auto* entry = store->get<kit::Dictionary>(i);
    auto* u = entry ? entry->get<kit::URL>("URL") : nullptr;
    if (!u || u->lowercaseHost() != target->lowercaseHost() || u->port() != target->port() ||
        u->lowercaseScheme() != target->lowercaseScheme()) {
      continue;
    }
    if (realmFits(entry)) return Ref<kit::Dictionary>(entry);
  }
  return nullptr;
}

Ref<kit::Dictionary> HttpRequest::findSessionProxyAuthenticationCredentials() {
  std::lock_guard<std::recursive_mutex> g(HttpRequestShared::get().sessionCredentialsLock);
  Ref<kit::MutableArray> store = sessionProxyCredentialsStore();
  const std::string host = proxyHost();
  const int port = proxyPort();
  for (size_t i = 0; i < store->count(); ++i) {
    auto* entry = store->get<kit::Dictionary>(i);
    auto* h = entry ? entry->get<kit::String>("Host") : nullptr;
    auto* p = entry ? entry->get<kit::Number>("Port") : nullptr;
    if (h && p && h->str() == host && p->intValue() == port) return Ref<kit::Dictionary>(entry);
  }
  return nullptr;
}

// ---- Finding credentials for a challenge

Ref<kit::Dictionary> HttpRequest::findCredentials() {
  HTTPAuthentication* auth = authOf(requestAuthentication_);
  Ref<kit::URL> target = url();
  std::string user, pass;
  if (target && !target->user().empty() && !target->password().empty()) {
    user = target->user();
    pass = target->password();
  } else if (isAtCallerOrigin() && mainRequest_ && !mainRequest_->username().empty() &&
             !mainRequest_->password().empty()) {
    user = mainRequest_->username();
    pass = mainRequest_->password();
  } else if (ownCredentialsApplyHere() && !username().empty()) {
    user = username();
    pass = password();
  } else if (useKeychainPersistence() && target) {
    if (Ref<kit::Dictionary> saved = savedCredentialsForHost(target->lowercaseHost(), effectivePort(target),
                                                             target->lowercaseScheme(), authenticationRealm())) {
      user = text(saved, HTTPAuthentication::kUsername);
      pass = text(saved, HTTPAuthentication::kPassword);
      if (domain().empty() && saved->objectForKey(HTTPAuthentication::kAccountDomain)) {
        return credentialsFor(auth, user, pass, text(saved, HTTPAuthentication::kAccountDomain));
      }
    }
  }
  return credentialsFor(auth, user, pass, domain());
}

Ref<kit::Dictionary> HttpRequest::findProxyCredentials() {
  HTTPAuthentication* auth = authOf(proxyAuthentication_);
  std::string user = proxyUsername(), pass = proxyPassword();
  if (user.empty() || pass.empty()) {
    user.clear(), pass.clear();
    if (mainRequest_ && !mainRequest_->proxyUsername().empty() && !mainRequest_->proxyPassword().empty()) {
      user = mainRequest_->proxyUsername();
      pass = mainRequest_->proxyPassword();
    } else if (useKeychainPersistence()) {
      if (Ref<kit::Dictionary> saved = savedCredentialsForProxy(proxyHost(), proxyPort(), "http", proxyAuthenticationRealm())) {
        user = text(saved, HTTPAuthentication::kUsername);
        pass = text(saved, HTTPAuthentication::kPassword);
      }
    }
  }
  return credentialsFor(auth, user, pass, proxyDomain());
}

// ---- Applying

bool HttpRequest::applyCredentials(Ref<kit::Dictionary> credentials) {
  setAuthenticationRetryCount(authenticationRetryCount() + 1);
  HTTPAuthentication* auth = authOf(requestAuthentication_);
  if (!credentials || !auth || !request_) return false;
  if (!auth->applyCredentials(*request_, credentials)) {
    removeAuthenticationCredentialsFromSessionStore(credentials);
    return false;
  }
  if (useKeychainPersistence()) saveCredentialsToKeychain(credentials);
  if (useSessionPersistence()) {
    auto entry = kit::MutableDictionary::dictionary();
    entry->setObject(credentials, "Credentials");
    entry->setObject(requestAuthentication_, "Authentication");
    if (Ref<kit::URL> u = url()) entry->setObject(u, "URL");
    entry->setObject(kit::str(auth->schemeName()), "AuthenticationScheme");
    if (auth->realm()) entry->setObject(kit::str(*auth->realm()), "AuthenticationRealm");
    storeAuthenticationCredentialsInSessionStore(entry);
  }
  setRequestCredentials(credentials);
  return true;
}

bool HttpRequest::applyProxyCredentials(Ref<kit::Dictionary> credentials) {
  setProxyAuthenticationRetryCount(proxyAuthenticationRetryCount() + 1);
  HTTPAuthentication* auth = authOf(proxyAuthentication_);
  if (!credentials || !auth || !request_) return false;
  if (!auth->applyCredentials(*request_, credentials)) {
    removeProxyAuthenticationCredentialsFromSessionStore(credentials);
    return false;
  }
  if (useKeychainPersistence()) saveProxyCredentialsToKeychain(credentials);
  if (useSessionPersistence()) {
    auto entry = kit::MutableDictionary::dictionary();
    entry->setObject(credentials, "Credentials");
    entry->setObject(proxyAuthentication_, "Authentication");
    entry->setObject(kit::str(proxyHost()), "Host");
    entry->setObject(kit::num(proxyPort()), "Port");
    entry->setObject(kit::str(auth->schemeName()), "AuthenticationScheme");
    storeProxyAuthenticationCredentialsInSessionStore(entry);
  }
  setProxyCredentials(credentials);
  return true;
}

// ---- Answering challenges

bool HttpRequest::takeChallenge(bool proxy) {
  Ref<kit::Object>& slot = proxy ? proxyAuthentication_ : requestAuthentication_;
  Ref<kit::HTTPReadStream> stream = readStream();
  Ref<kit::HTTPMessage> response = stream ? stream->responseHeader() : nullptr;
  if (!slot) {
    if (response) slot = HTTPAuthentication::authenticationFromResponse(*response);
    if (!slot) {
      cancelLoad();
      failWithError(applyError("Failed to get authentication object from response headers"));
      return false;
    }
    if (proxy) setProxyAuthenticationScheme(authOf(slot)->schemeName());
    else setAuthenticationScheme(authOf(slot)->schemeName());
  } else if (response && response != lastChallengeResponse_) {
    authOf(slot)->updateFromResponse(*response);
  }
  lastChallengeResponse_ = response;
  HTTPAuthentication* auth = authOf(slot);
  const std::string realm = !auth->requiresAccountDomain() && auth->realm() ? *auth->realm() : std::string();
  if (proxy) setProxyAuthenticationRealm(realm);
  else setAuthenticationRealm(realm);
  if ((proxy ? proxyAuthenticationRetryCount() : authenticationRetryCount()) >= kMaximumAuthenticationAttempts) {
    cancelLoad();
    failWithError(HttpRequestShared::get().authenticationError);
    return false;
  }
  return true;
}

void HttpRequest::attemptToApplyCredentialsAndResume() {
  if (error() || isCancelled()) return;
  answerChallenge(authenticationNeeded() == 2);
}

void HttpRequest::attemptToApplyProxyCredentialsAndResume() {
  if (error() || isCancelled()) return;
  answerChallenge(true);
}

// The server and the proxy flows differ only in the fields and calls they use.
void HttpRequest::answerChallenge(bool proxy) {
  Ref<HttpRequest> self(this);
  if (!takeChallenge(proxy)) return;
  HTTPAuthentication* auth = authOf(proxy ? proxyAuthentication_ : requestAuthentication_);
  HttpRequestShared& shared = HttpRequestShared::get();
  const char* applyFailure =
      proxy ? "Failed to apply proxy credentials to request" : "Failed to apply credentials to request";
  auto applied = [&] { return proxy ? proxyCredentials() : requestCredentials(); };
  auto apply = [&](Ref<kit::Dictionary> c) { return proxy ? applyProxyCredentials(c) : applyCredentials(c); };
  auto sessionEntry = [&] {
    return proxy ? findSessionProxyAuthenticationCredentials() : findSessionAuthenticationCredentials();
  };
  auto applySession = [&] {
    Ref<kit::Dictionary> entry = useSessionPersistence() ? sessionEntry() : nullptr;
    return entry && apply(Ref<kit::Dictionary>(entry->get<kit::Dictionary>("Credentials")));
  };
  auto askSomebody = [&] {
    // A delegate that answers every question without settling it is asked a bounded number of times.
    if (++authenticationQuestions_ > kMaximumAuthenticationAttempts) return false;
    if (proxy) return willAskDelegateForProxyCredentials() || showProxyAuthenticationDialog();
    askingForCredentialsHere();
    return willAskDelegateForCredentials() || showAuthenticationDialog();
  };

  HTTPAuthentication::Failure failure;
  if (!auth->isValid(&failure)) {
    if (failure == HTTPAuthentication::Failure::BadPassword) {
      std::unique_lock<std::recursive_mutex> lock(shared.delegateAuthenticationLock);
      if (proxy) {
        removeProxyAuthenticationCredentialsFromSessionStore(proxyCredentials());
        setProxyCredentials(nullptr);
      } else {
        removeAuthenticationCredentialsFromSessionStore(requestCredentials());
        setRequestCredentials(nullptr);
      }
      // The refused credentials are forgotten; whatever comes next starts the exchange afresh.
      auth->reset();
      if (error() || isCancelled()) return;
      if (applySession()) {
        lock.unlock();
        cancelLoad();
        startRequest();
        return;
      }
      // No time-out while a person types.
      setLastActivityTime(nullptr);
      if (askSomebody()) return;
    }
    cancelLoad();
    failWithError(shared.authenticationError);
    return;
  }

  cancelLoad();
  if (Ref<kit::Dictionary> previous = applied()) {
    const bool ntlm = (proxy ? proxyAuthenticationScheme() : authenticationScheme()) == HTTPAuthentication::kSchemeNTLM;
    const int tries = proxy ? proxyAuthenticationRetryCount() : authenticationRetryCount();
    if (!(ntlm && tries > 1)) {
      if (apply(previous)) startRequest();
      else failWithError(applyError(applyFailure));
    } else if (ntlm && tries == 2) {
      failWithError(shared.authenticationError);
    } else {
      failWithError(applyError(applyFailure));
    }
    return;
  }

  if (!auth->requiresUserNameAndPassword()) {
    // Nothing could answer such a challenge; the request does not wait for ever.
    failWithError(shared.authenticationError);
    return;
  }
  std::unique_lock<std::recursive_mutex> lock(shared.delegateAuthenticationLock);
  if (error() || isCancelled()) return;
  if (applySession()) {
    lock.unlock();
    startRequest();
    return;
  }
  if (Ref<kit::Dictionary> found = proxy ? findProxyCredentials() : findCredentials()) {
    const bool ok = apply(found);
    lock.unlock();
    if (ok) startRequest();
    else failWithError(applyError(applyFailure));
    return;
  }
  if (askSomebody()) return;
  lock.unlock();
  failWithError(shared.authenticationError);
}

// ---- Keychain

void HttpRequest::saveCredentialsToKeychain(Ref<kit::Dictionary> credentials) {
  Ref<kit::URL> target = url();
  if (!target) return;
  saveCredentials(credentials, target->lowercaseHost(), effectivePort(target), target->lowercaseScheme(),
                  authenticationRealm());
}

void HttpRequest::saveProxyCredentialsToKeychain(Ref<kit::Dictionary> credentials) {
  saveCredentials(credentials, proxyHost(), proxyPort(), proxyAuthenticationRealm());
}

namespace {

kit::URLCredentialStorage::Credential storable(const kit::Dictionary* credentials) {
  return {text(credentials, HTTPAuthentication::kUsername), text(credentials, HTTPAuthentication::kPassword),
          text(credentials, HTTPAuthentication::kAccountDomain)};
}

Ref<kit::Dictionary> fromStorage(const std::optional<kit::URLCredentialStorage::Credential>& c) {
  if (!c) return nullptr;
  return makeCredentials(c->user, c->password, c->domain.empty() ? nullptr : &c->domain);
}

}  // namespace

void HttpRequest::saveCredentials(Ref<kit::Dictionary> credentials, const std::string& host, int port,
                                  const std::string& protocol, const std::string& realm) {
  if (!credentials) return;
  kit::URLCredentialStorage::setDefaultCredential(storable(credentials), {host, port, protocol, realm, false});
}

void HttpRequest::saveCredentials(Ref<kit::Dictionary> credentials, const std::string& proxy, int port,
                                  const std::string& realm) {
  if (!credentials) return;
  kit::URLCredentialStorage::setDefaultCredential(storable(credentials), {proxy, port, "http", realm, true});
}

Ref<kit::Dictionary> HttpRequest::savedCredentialsForHost(const std::string& host, int port,
                                                          const std::string& protocol, const std::string& realm) {
  return fromStorage(kit::URLCredentialStorage::defaultCredential({host, port, protocol, realm, false}));
}

Ref<kit::Dictionary> HttpRequest::savedCredentialsForProxy(const std::string& proxy, int port,
                                                           const std::string& protocol, const std::string& realm) {
  return fromStorage(kit::URLCredentialStorage::defaultCredential({proxy, port, protocol, realm, true}));
}

void HttpRequest::removeCredentialsForHost(const std::string& host, int port, const std::string& protocol,
                                           const std::string& realm) {
  kit::URLCredentialStorage::removeDefaultCredential({host, port, protocol, realm, false});
}

void HttpRequest::removeCredentialsForProxy(const std::string& proxy, int port, const std::string& realm) {
  kit::URLCredentialStorage::removeDefaultCredential({proxy, port, "http", realm, true});
}

// ---- Delegate and dialog

bool HttpRequest::willAskDelegateForCredentials() {
  Ref<kit::Object> keep;
  HttpRequestDelegate* target = currentDelegate();
  if (!target) target = currentQueueDelegate(&keep);
  const bool answers = target && target->respondsToSelector(HttpRequestDelegate::kAuthenticationNeededForRequest);
  if (!answers && !blocks().authenticationNeeded) return false;
  Ref<HttpRequest> self(this);
  kit::RunLoop::performOnMainThread([self] { self->askDelegateForCredentials(); }, false);
  return true;
}

bool HttpRequest::willAskDelegateForProxyCredentials() {
  Ref<kit::Object> keep;
  HttpRequestDelegate* target = currentDelegate();
  if (!target) target = currentQueueDelegate(&keep);
  const bool answers = target && target->respondsToSelector(HttpRequestDelegate::kProxyAuthenticationNeededForRequest);
  if (!answers && !blocks().proxyAuthenticationNeeded) return false;
  Ref<HttpRequest> self(this);
  kit::RunLoop::performOnMainThread([self] { self->askDelegateForProxyCredentials(); }, false);
  return true;
}

void HttpRequest::askDelegateForCredentials() {
  Ref<kit::Object> keep;
  HttpRequestDelegate* target = currentDelegate();
  if (!target) target = currentQueueDelegate(&keep);
  if (target && target->respondsToSelector(HttpRequestDelegate::kAuthenticationNeededForRequest)) {
    target->authenticationNeededForRequest(this);
  } else if (Block b = blocks().authenticationNeeded) {
    b();
  }
}

void HttpRequest::askDelegateForProxyCredentials() {
  Ref<kit::Object> keep;
  HttpRequestDelegate* target = currentDelegate();
  if (!target) target = currentQueueDelegate(&keep);
  if (target && target->respondsToSelector(HttpRequestDelegate::kProxyAuthenticationNeededForRequest)) {
    target->proxyAuthenticationNeededForRequest(this);
  } else if (Block b = blocks().proxyAuthenticationNeeded) {
    b();
  }
}

bool HttpRequest::showAuthenticationDialog() {
  if (!shouldPresentAuthenticationDialog() || !HttpAuthenticationDialog::canBeAnswered()) return false;
  Ref<HttpRequest> self(this);
  performOnMainThread([self] { HttpAuthenticationDialog::presentAuthenticationDialogForRequest(self); });
  return true;
}

bool HttpRequest::showProxyAuthenticationDialog() {
  if (!shouldPresentProxyAuthenticationDialog() || !HttpAuthenticationDialog::canBeAnswered()) return false;
  Ref<HttpRequest> self(this);
  performOnMainThread([self] { HttpAuthenticationDialog::presentAuthenticationDialogForRequest(self); });
  return true;
}

// ---- Hand-back from the delegate or the dialog

void HttpRequest::retryUsingSuppliedCredentials() {
  Ref<HttpRequest> self(this);
  performOnRequestThread([self] {
    std::lock_guard<std::recursive_mutex> g(self->cancelledLock_);
    if (self->complete() && self->error()) return;
    if (self->request_) self->attemptToApplyCredentialsAndResume();
    else self->main();
  });
}

void HttpRequest::cancelAuthentication() {
  Ref<HttpRequest> self(this);
  performOnRequestThread([self] {
    std::lock_guard<std::recursive_mutex> g(self->cancelledLock_);
    self->failAuthentication();
  });
}

void HttpRequest::failAuthentication() {
  if (error() || isCancelled()) return;
  cancelLoad();
  failWithError(HttpRequestShared::get().authenticationError);
}

// ---- Class-wide session stores

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
void removeEntryWithCredentials(kit::MutableArray* store, const kit::Object* credentials) {
  if (!credentials) return;
  for (size_t i = 0; i < store->count(); ++i) {
    auto* e = store->get<kit::Dictionary>(i);
    if (e && e->objectForKey("Credentials") == credentials) {
      store->removeObjectAtIndex(i);
      return;
    }
  }
}

}  // namespace

void HttpRequest::storeAuthenticationCredentialsInSessionStore(Ref<kit::Dictionary> entry) {
  if (!entry) return;
  std::lock_guard<std::recursive_mutex> g(HttpRequestShared::get().sessionCredentialsLock);
  Ref<kit::MutableArray> store = sessionCredentialsStore();
  removeEntryWithCredentials(store, entry->objectForKey("Credentials"));
  store->addObject(entry);
}

void HttpRequest::storeProxyAuthenticationCredentialsInSessionStore(Ref<kit::Dictionary> entry) {
  if (!entry) return;
  std::lock_guard<std::recursive_mutex> g(HttpRequestShared::get().sessionCredentialsLock);
  Ref<kit::MutableArray> store = sessionProxyCredentialsStore();
  removeEntryWithCredentials(store, entry->objectForKey("Credentials"));
  store->addObject(entry);
}

void HttpRequest::removeAuthenticationCredentialsFromSessionStore(kit::Dictionary* credentials) {
  std::lock_guard<std::recursive_mutex> g(HttpRequestShared::get().sessionCredentialsLock);
  removeEntryWithCredentials(sessionCredentialsStore(), credentials);
}

void HttpRequest::removeProxyAuthenticationCredentialsFromSessionStore(kit::Dictionary* credentials) {
  std::lock_guard<std::recursive_mutex> g(HttpRequestShared::get().sessionCredentialsLock);
  removeEntryWithCredentials(sessionProxyCredentialsStore(), credentials);
}

}  // namespace tolva
