#pragma once
// The request engine's error domain and codes. Errors of the engine and of its gzip helpers are
// kit::Errors in this domain whose localised description is the text the engine documents.

namespace tolva {

inline constexpr const char* kHttpRequestErrorDomain = "HttpRequestErrorDomain";

enum HttpErrorType : long {
  kConnectionFailureErrorType = 1,
  kRequestTimedOutErrorType = 2,
  kAuthenticationErrorType = 3,
  kRequestCancelledErrorType = 4,
  kUnableToCreateRequestErrorType = 5,
  kInternalErrorWhileBuildingRequestType = 6,
  kInternalErrorWhileApplyingCredentialsType = 7,
  kFileManagementError = 8,
  kTooMuchRedirectionErrorType = 9,
  kUnhandledExceptionError = 10,
  kCompressionError = 11,
};

}  // namespace tolva
