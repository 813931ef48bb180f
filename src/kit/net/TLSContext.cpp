#include "kit/net/TLSContext.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <mutex>
#include <vector>

#include "kit/foundation/Exception.h"
#include "kit/net/NetError.h"

namespace kit {

namespace {

struct Shared {
  std::mutex mutex;
  SSL_CTX* ctx = nullptr;
  std::vector<X509*> added;
};

Shared& shared() {
  static Shared* s = new Shared();  // never destroyed: connections may outlive static destruction
  return *s;
}

SSL_CTX* makeContext(const std::vector<X509*>& added) {
  SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
  if (!ctx) throw GenericException("TLS: cannot create a client context: " + TLSContext::takeErrorText());
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
  SSL_CTX_set_default_verify_paths(ctx);
  // A server that drops the connection without close_notify ends a close-delimited body; framing
  // (Content-Length, chunks) still catches a cut-off response.
  SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_NO_COMPRESSION);
  SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  X509_STORE* store = SSL_CTX_get_cert_store(ctx);
  for (X509* cert : added) X509_STORE_add_cert(store, cert);
  ERR_clear_error();
  return ctx;
}

}  // namespace

std::string TLSContext::takeErrorText() {
  std::string text;
  while (unsigned long e = ERR_get_error()) {
    char buf[256];
    ERR_error_string_n(e, buf, sizeof buf);
    const char* reason = ERR_reason_error_string(e);
    if (!text.empty()) text += "; ";
    text += reason ? reason : buf;
  }
  return text;
}

SSL_CTX* TLSContext::acquire() {
  Shared& s = shared();
  std::lock_guard<std::mutex> g(s.mutex);
  if (!s.ctx) s.ctx = makeContext(s.added);
  SSL_CTX_up_ref(s.ctx);
  return s.ctx;
}

bool TLSContext::addTrustedCertificate(std::string_view pem, Ref<Error>* error) {
  ERR_clear_error();
  BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
  std::vector<X509*> certs;
  while (X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr)) certs.push_back(cert);
  BIO_free(bio);
  // The loop ends with a "no start line" error at the end of the text; anything else is a
  // certificate that did not parse.
  unsigned long e = ERR_peek_last_error();
  const bool cleanEnd = !e || (ERR_GET_LIB(e) == ERR_LIB_PEM && ERR_GET_REASON(e) == PEM_R_NO_START_LINE);
  std::string text = takeErrorText();
  if (certs.empty() || !cleanEnd) {
    for (X509* c : certs) X509_free(c);
    if (error)
      *error = NetError::make(NetError::kTLSFailure,
                              certs.empty() ? "No certificate in the PEM text" : "A certificate does not parse: " + text);
    return false;
  }
  Shared& s = shared();
  std::lock_guard<std::mutex> g(s.mutex);
  for (X509* cert : certs) {
    s.added.push_back(cert);
    if (s.ctx) X509_STORE_add_cert(SSL_CTX_get_cert_store(s.ctx), cert);
  }
  ERR_clear_error();  // adding a certificate the store has already is not an error
  return true;
}

void TLSContext::removeTrustedCertificates() {
  Shared& s = shared();
  std::lock_guard<std::mutex> g(s.mutex);
  for (X509* c : s.added) X509_free(c);
  s.added.clear();
  if (s.ctx) SSL_CTX_free(s.ctx);
  s.ctx = nullptr;
}

}  // namespace kit
