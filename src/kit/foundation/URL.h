#pragma once
// An immutable absolute URL (RFC 3986), parsed once into its parts.
//
// Two parses:
//  - URLWithString (strict): the text must already be a legal URL; a space, a stray '%', a
//    second '#', a non-ASCII byte or any other character outside the legal set gives null,
//    as does a port above 65535. The absolute string is the text unchanged.
//  - lenientURLWithString: what an address field accepts: surrounding white space is trimmed,
//    tabs and line breaks dropped, illegal characters percent-escaped, the scheme and (for
//    http, https, ftp, ws, wss, file) the host lower-cased, backslashes read as slashes and an
//    empty http path written as "/". Hosts with non-ASCII letters are percent-escaped, not
//    converted to their ASCII form.
// Both accept a base URL: the text is then a reference resolved against it (RFC 3986 5.2,
// dot segments removed) and the URL keeps only the resolved absolute string. Without a base
// the text must carry a scheme. Equality and hash follow the absolute string.

#include <optional>
#include <string>
#include <string_view>

#include "kit/foundation/Object.h"

namespace kit {

class URL : public Object {
 public:
  static Ref<URL> URLWithString(std::string_view text);
  // Text resolved against base; base null means URLWithString(text).
  static Ref<URL> URLWithString(std::string_view text, const URL* base);
  static Ref<URL> lenientURLWithString(std::string_view text, const URL* base = nullptr);
  // "file://" + the escaped absolute path (relative paths are taken from the current
  // directory); a directory (looked up on disk) ends in '/'. Null for an empty path or one
  // holding a NUL byte.
  static Ref<URL> fileURLWithPath(std::string_view path);
  static Ref<URL> fileURLWithPath(std::string_view path, bool isDirectory);
  // The scheme a text starts with (as written, before its ':'), or empty when it has none.
  static std::string_view schemeOfString(std::string_view text) noexcept;

  const std::string& absoluteString() const noexcept { return string_; }
  // The scheme as written; compare with schemeIs.
  const std::string& scheme() const noexcept { return scheme_; }
  // Case-insensitive comparison with a scheme name ("http").
  bool schemeIs(std::string_view name) const noexcept;
  std::string lowercaseScheme() const;
  // Everything after "scheme:" ("//host/path?q#f", or "a@b.c" for mailto:a@b.c).
  std::string resourceSpecifier() const;

  bool hasAuthority() const noexcept { return hasAuthority_; }
  // "user:password@host:port" as written.
  const std::string& authority() const noexcept { return authority_; }
  // User and password with escapes decoded (as written when they do not decode); empty when absent.
  std::string user() const;
  std::string password() const;
  bool hasUser() const noexcept { return hasUser_; }
  bool hasPassword() const noexcept { return hasPassword_; }
  // The host as written, without the brackets of an IPv6 literal ("::1").
  const std::string& host() const noexcept { return host_; }
  std::string lowercaseHost() const;
  std::optional<int> port() const noexcept { return port_; }

  // The path with escapes decoded and a trailing '/' dropped (except for "/" itself); when the
  // escapes do not decode to UTF-8, the path as written.
  std::string path() const;
  const std::string& percentEncodedPath() const noexcept { return path_; }
  // Query and fragment as written, without '?' / '#'; empty when absent.
  bool hasQuery() const noexcept { return hasQuery_; }
  const std::string& query() const noexcept { return query_; }
  bool hasFragment() const noexcept { return hasFragment_; }
  const std::string& fragment() const noexcept { return fragment_; }
  // Last component of path(): "" for an empty path, "/" for the root.
  std::string lastPathComponent() const;
  // What follows the last '.' of lastPathComponent(); empty when there is none or the name
  // starts with its only dot (".profile").
  std::string pathExtension() const;
  bool isFileURL() const noexcept { return schemeIs("file"); }
  // This URL without its fragment (itself when it has none).
  Ref<URL> URLByDeletingFragment() const;

  std::string className() const override { return "URL"; }
  size_t hash() const noexcept override;
  bool isEqual(const Object* other) const noexcept override;
  std::string description() const override { return string_; }

 private:
  URL() = default;
  static Ref<URL> parseAbsolute(std::string text);

  std::string string_;
  std::string scheme_;
  std::string authority_;
  std::string user_;
  std::string password_;
  std::string host_;
  std::string path_;
  std::string query_;
  std::string fragment_;
  std::optional<int> port_;
  bool hasAuthority_ = false;
  bool hasUser_ = false;
  bool hasPassword_ = false;
  bool hasQuery_ = false;
  bool hasFragment_ = false;
};

}  // namespace kit
