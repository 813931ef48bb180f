#pragma once
// What a social-network dialog tells its owner. Every call is optional.

#include "kit/foundation/Error.h"
#include "kit/foundation/URL.h"

namespace tolva {

class SNDialog;

class SNDialogDelegate {
 public:
  virtual ~SNDialogDelegate() = default;
  virtual void dialogDidComplete(SNDialog&) {}
  virtual void dialogCompleteWithUrl(kit::URL*) {}
  virtual void dialogDidNotCompleteWithUrl(kit::URL*) {}
  virtual void dialogDidNotComplete(SNDialog&) {}
  virtual void dialogDidFailWithError(SNDialog&, kit::Error*) {}
  virtual bool dialogShouldOpenURLInExternalBrowser(SNDialog&, kit::URL&) { return true; }
};

class SNLoginDialogDelegate {
 public:
  virtual ~SNLoginDialogDelegate() = default;
  virtual void fbDialogLogin(const std::string& token, double expirationDate) = 0;
  virtual void fbDialogNotLogin(bool cancelled) = 0;
};

}  // namespace tolva
