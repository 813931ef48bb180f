#include "kit/net/HTTPAuthentication.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <sys/random.h>

#include <cctype>
#include <cstdio>
#include <mutex>

#include "kit/foundation/String.h"
#include "kit/security/Base64.h"
#include "kit/security/Digest.h"

namespace kit {

namespace {

// The crypto library sets itself up once, on the thread that first uses it, and leaves that
// thread's error state behind; done here at load it happens on the main thread, not on the
// network thread (which lives as long as the process).
[[maybe_unused]] const bool cryptoReady = OPENSSL_init_crypto(OPENSSL_INIT_LOAD_CONFIG, nullptr) == 1;

std::mutex& fixedMutex() {
  static std::mutex m;
  return m;
}
std::optional<HTTPAuthentication::FixedRandomness>& fixedRandomness() {
  static std::optional<HTTPAuthentication::FixedRandomness> f;
  return f;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (auto& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool isTokenChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}
bool isToken68Char(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || std::string_view("-._~+/").find(c) != std::string_view::npos;
}

void skipSpaces(std::string_view s, size_t& i) {
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
}

std::string readToken(std::string_view s, size_t& i) {
  const size_t b = i;
  while (i < s.size() && isTokenChar(s[i])) ++i;
  return std::string(s.substr(b, i - b));
}

std::string readQuoted(std::string_view s, size_t& i) {
  std::string out;
  ++i;  // opening quote
  while (i < s.size() && s[i] != '"') {
    if (s[i] == '\\' && i + 1 < s.size()) ++i;
    out.push_back(s[i++]);
  }
  if (i < s.size()) ++i;  // closing quote
  return out;
}

std::string quote(std::string_view v) {
  std::string out = "\"";
  for (char c : v) {
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out + "\"";
}

std::string hexDigest(const EVP_MD* md, std::string_view data) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned len = 0;
  static const unsigned char empty = 0;
  const void* p = data.empty() ? static_cast<const void*>(&empty) : data.data();
  if (EVP_Digest(p, data.size(), out, &len, md, nullptr) != 1) return {};
  return Digest::hex(std::span<const uint8_t>(out, len));
}

int schemeRank(const std::string& scheme) {
  const std::string s = lower(scheme);
  if (s == "ntlm") return 3;
  if (s == "digest") return 2;
  if (s == "basic") return 1;
  return 0;
}

// SHA-256 Digest beats MD5 Digest; algorithms we do not know are not offered.
int digestRank(const HTTPAuthentication::Challenge& c) {
  const std::string a = lower(c.param("algorithm").value_or("md5"));
  if (a == "sha-256" || a == "sha-256-sess") return 2;
  if (a == "md5" || a == "md5-sess") return 1;
  return 0;
}

}  // namespace

std::optional<std::string> HTTPAuthentication::Challenge::param(std::string_view name) const {
  for (const auto& [k, v] : params)
    if (k == name) return v;
  return std::nullopt;
}

std::vector<HTTPAuthentication::Challenge> HTTPAuthentication::parseChallenges(std::string_view s) {
  std::vector<Challenge> out;
  size_t i = 0;
  while (i < s.size()) {
    skipSpaces(s, i);
    if (i < s.size() && s[i] == ',') {
      ++i;
      continue;
    }
    std::string scheme = readToken(s, i);
    if (scheme.empty()) {
      // Not a challenge: skip to the next comma.
      while (i < s.size() && s[i] != ',') ++i;
      continue;
    }
    Challenge c;
    c.scheme = scheme;
    skipSpaces(s, i);
    // token68?
    {
      size_t j = i;
      while (j < s.size() && isToken68Char(s[j])) ++j;
      const size_t runEnd = j;
      while (j < s.size() && s[j] == '=') ++j;
      size_t k = j;
      skipSpaces(s, k);
      if (runEnd > i && (k >= s.size() || s[k] == ',')) {
        c.token = std::string(s.substr(i, j - i));
        i = k;
        out.push_back(std::move(c));
        continue;
      }
    }
    // auth-params, until a token not followed by '=' (the next scheme).
    for (;;) {
      skipSpaces(s, i);
      const size_t save = i;
      std::string name = readToken(s, i);
      skipSpaces(s, i);
      if (name.empty() || i >= s.size() || s[i] != '=') {
        i = save;
        break;
      }
      ++i;
      skipSpaces(s, i);
      std::string value;
      if (i < s.size() && s[i] == '"') value = readQuoted(s, i);
      else value = readToken(s, i);
      c.params.emplace_back(lower(name), std::move(value));
      skipSpaces(s, i);
      if (i < s.size() && s[i] == ',') {
        ++i;
        continue;
      }
      if (i < s.size() && s[i] != ',') {
        // Garbage after a value: skip to the next comma.
        while (i < s.size() && s[i] != ',') ++i;
        if (i < s.size()) ++i;
      }
      if (i >= s.size()) break;
    }
    out.push_back(std::move(c));
  }
  return out;
}

Ref<HTTPAuthentication> HTTPAuthentication::authenticationFromResponse(const HTTPMessage& response) {
  const bool proxy = response.statusCode() == 407;
  if (!proxy && response.statusCode() != 401) return nullptr;
  const std::string value = response.valueForHeaderField(proxy ? "Proxy-Authenticate" : "WWW-Authenticate");
  std::optional<Challenge> best;
  int bestRank = 0;
  for (Challenge& c : parseChallenges(value)) {
    int rank = schemeRank(c.scheme) * 10;
    if (rank == 20) {
      const int d = digestRank(c);
      if (d == 0 || !c.param("nonce")) continue;
      rank += d;
    }
    if (rank > bestRank) bestRank = rank, best = std::move(c);
  }
  if (!best) return nullptr;
  Ref<HTTPAuthentication> a(new HTTPAuthentication());
  a->proxy_ = proxy;
  const int rank = schemeRank(best->scheme);
  a->scheme_ = rank == 3 ? kSchemeNTLM : rank == 2 ? kSchemeDigest : kSchemeBasic;
  if (rank != 3) a->realm_ = best->param("realm");
  a->challenge_ = *best;
  a->current_ = *best;
  return a;
}

bool HTTPAuthentication::isValid(Failure* failure) const {
  if (failure) *failure = failure_;
  return failure_ == Failure::None;
}

void HTTPAuthentication::reset() {
  current_ = challenge_;
  failure_ = Failure::None;
  applied_ = false;
  nonceCount_ = 0;
  staleRetried_ = false;
  ntlmChallenge_.reset();
  ntlmAuthenticateSent_ = false;
}

void HTTPAuthentication::updateFromResponse(const HTTPMessage& response) {
  if (response.statusCode() != (proxy_ ? 407 : 401)) return;
  const std::string value = response.valueForHeaderField(proxy_ ? "Proxy-Authenticate" : "WWW-Authenticate");
  std::optional<Challenge> mine;
  for (Challenge& c : parseChallenges(value)) {
    if (lower(c.scheme) == lower(scheme_)) {
      mine = std::move(c);
      break;
    }
  }
  if (!applied_) {
    if (mine) current_ = *mine;
    return;
  }
  if (!mine) {
    failure_ = Failure::BadPassword;
    return;
  }
  if (scheme_ == kSchemeNTLM) {
    if (!ntlmAuthenticateSent_ && !mine->token.empty()) {
      std::optional<NTLM::Challenge> parsed;
      if (auto raw = Base64::decode(mine->token))
        parsed = NTLM::parseChallenge(std::string_view(reinterpret_cast<const char*>(raw->data()), raw->size()));
      if (!parsed) {
        failure_ = Failure::Malformed;
        return;
      }
      ntlmChallenge_ = parsed;
      return;
    }
    failure_ = Failure::BadPassword;
    return;
  }
  if (scheme_ == kSchemeDigest) {
    const bool stale = lower(mine->param("stale").value_or("")) == "true";
    if (stale && !staleRetried_ && mine->param("nonce")) {
      // The password was right; only the nonce aged. One retry, never a loop.
      staleRetried_ = true;
      current_ = *mine;
      nonceCount_ = 0;
      return;
    }
  }
  failure_ = Failure::BadPassword;
}

bool HTTPAuthentication::applyCredentials(HTTPMessage& message, const Dictionary* credentials) {
  if (!credentials || failure_ != Failure::None) return false;
  auto text = [credentials](const char* key) -> std::optional<std::string> {
    Object* o = credentials->objectForKey(key);
    if (!o) return std::nullopt;
    return o->description();
  };
  const auto user = text(kUsername), password = text(kPassword);
  if (!user || !password) return false;
  const std::string domain = text(kAccountDomain).value_or("");
  bool ok = false;
  if (scheme_ == kSchemeBasic) {
    ok = message.setHeaderField(headerName(), "Basic " + Base64::encode(*user + ":" + *password));
  } else if (scheme_ == kSchemeDigest) {
    ok = applyDigest(message, *user, *password);
  } else if (scheme_ == kSchemeNTLM) {
    if (!ntlmChallenge_) {
      ok = message.setHeaderField(headerName(), "NTLM " + Base64::encode(NTLM::negotiateMessage()));
    } else {
      std::optional<uint64_t> time;
      std::optional<std::array<uint8_t, 8>> client;
      {
        std::lock_guard<std::mutex> g(fixedMutex());
        if (fixedRandomness()) time = fixedRandomness()->ntlmTimestamp, client = fixedRandomness()->ntlmClientChallenge;
      }
      ok = message.setHeaderField(
          headerName(), "NTLM " + Base64::encode(NTLM::authenticateMessage(*ntlmChallenge_, *user, *password, domain,
                                                                          {}, time, client)));
      ntlmAuthenticateSent_ = ok;
    }
  }
  if (ok) applied_ = true;
  return ok;
}

bool HTTPAuthentication::applyDigest(HTTPMessage& message, const std::string& user, const std::string& password) {
  const std::string algorithm = current_.param("algorithm").value_or("MD5");
  const std::string alg = lower(algorithm);
  const EVP_MD* md = alg.rfind("sha-256", 0) == 0 ? EVP_sha256() : EVP_md5();
  const bool sess = alg.size() > 5 && alg.substr(alg.size() - 5) == "-sess";
  const std::string realm = current_.param("realm").value_or("");
  const std::string nonce = current_.param("nonce").value_or("");
  const std::string uri = message.requestTarget(false);

  std::string cnonce;
  {
    std::lock_guard<std::mutex> g(fixedMutex());
    if (fixedRandomness()) cnonce = fixedRandomness()->cnonce;
  }
  if (cnonce.empty()) {
    uint8_t random[16];
    // Straight from the kernel: the network thread lives for the whole process, and the crypto
    // library's per-thread random state would never be freed.
    if (getrandom(random, sizeof random, 0) != ssize_t(sizeof random)) return false;
    cnonce = Digest::hex(std::span<const uint8_t>(random, sizeof random));
  }
  // qop: "auth" when offered (auth-int would need the body hashed; it is not chosen).
  bool qopAuth = false;
  if (auto qop = current_.param("qop")) {
    size_t b = 0;
    const std::string q = lower(*qop);
    while (b <= q.size()) {
      size_t e = q.find(',', b);
      if (e == std::string::npos) e = q.size();
      std::string item = q.substr(b, e - b);
      while (!item.empty() && item.front() == ' ') item.erase(0, 1);
      while (!item.empty() && item.back() == ' ') item.pop_back();
      if (item == "auth") qopAuth = true;
      b = e + 1;
    }
    if (!qopAuth) return false;
  }
  std::string ha1 = hexDigest(md, user + ":" + realm + ":" + password);
  if (sess) ha1 = hexDigest(md, ha1 + ":" + nonce + ":" + cnonce);
  const std::string ha2 = hexDigest(md, message.method() + ":" + uri);
  ++nonceCount_;
  char nc[9];
  std::snprintf(nc, sizeof nc, "%08x", nonceCount_);
  const std::string response = qopAuth ? hexDigest(md, ha1 + ":" + nonce + ":" + nc + ":" + cnonce + ":auth:" + ha2)
                                       : hexDigest(md, ha1 + ":" + nonce + ":" + ha2);
  std::string value = "Digest username=" + quote(user) + ", realm=" + quote(realm) + ", nonce=" + quote(nonce) +
                      ", uri=" + quote(uri) + ", algorithm=" + algorithm + ", response=" + quote(response);
  if (auto opaque = current_.param("opaque")) value += ", opaque=" + quote(*opaque);
  if (qopAuth) value += ", qop=auth, nc=" + std::string(nc) + ", cnonce=" + quote(cnonce);
  return message.setHeaderField(headerName(), value);
}

std::string HTTPAuthentication::description() const {
  return "<HTTPAuthentication " + scheme_ + (proxy_ ? " proxy" : "") + (realm_ ? " realm=" + *realm_ : "") + ">";
}

void HTTPAuthentication::setFixedRandomnessForTesting(std::optional<FixedRandomness> fixed) {
  std::lock_guard<std::mutex> g(fixedMutex());
  fixedRandomness() = std::move(fixed);
}

}  // namespace kit
