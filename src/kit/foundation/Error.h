#pragma once
// An error report: a domain, a code, and a dictionary of details.

#include <string>

#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Object.h"

namespace kit {

class Error : public Object {
 public:
  static constexpr const char* kLocalizedDescriptionKey = "NSLocalizedDescription";
  static constexpr const char* kLocalizedFailureReasonKey = "NSLocalizedFailureReason";
  static constexpr const char* kUnderlyingErrorKey = "NSUnderlyingError";
  static constexpr const char* kFilePathErrorKey = "NSFilePath";
  static constexpr const char* kURLErrorKey = "NSErrorFailingURLKey";
  // Domain of errors carrying an errno value as their code.
  static constexpr const char* kPOSIXErrorDomain = "NSPOSIXErrorDomain";
  // Domain of file and content errors (260 missing, 261 wrong encoding, ...).
  static constexpr const char* kCocoaErrorDomain = "NSCocoaErrorDomain";

  Error(std::string domain, long code, Ref<Dictionary> userInfo)
      : domain_(std::move(domain)), code_(code), userInfo_(std::move(userInfo)) {}

  static Ref<Error> errorWithDomain(std::string domain, long code, Ref<Dictionary> userInfo = nullptr) {
    return Ref<Error>(new Error(std::move(domain), code, std::move(userInfo)));
  }
  // With a localized description and, optionally, an underlying error.
  static Ref<Error> errorWithDescription(std::string domain, long code, const std::string& description,
                                         Ref<Error> underlying = nullptr);
  // A POSIX error for errno, naming the path it concerns.
  static Ref<Error> posixError(int err, const std::string& path = {});

  const std::string& domain() const noexcept { return domain_; }
  long code() const noexcept { return code_; }
  // Never null: an empty dictionary when none was given.
  Dictionary* userInfo() const;
  std::string localizedDescription() const;
  Error* underlyingError() const;

  std::string className() const override { return "Error"; }
  Kind kind() const noexcept override { return Kind::Error; }
  size_t hash() const noexcept override;
  bool isEqual(const Object* other) const noexcept override;
  std::string description() const override;

 private:
  std::string domain_;
  long code_;
  mutable Ref<Dictionary> userInfo_;
};

}  // namespace kit
