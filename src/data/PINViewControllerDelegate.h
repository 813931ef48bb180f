#pragma once
// Whoever asks for a PIN decides whether the four digits are right.

#include <string>

namespace tolva {

class PINViewController;

class PINViewControllerDelegate {
 public:
  virtual ~PINViewControllerDelegate() = default;
  // validateCode: whether `code` (four digits) is accepted. The PIN view may
  // be popped or dismissed from here; it stays alive until this returns.
  virtual bool pinView(PINViewController& pinView, const std::string& code) = 0;
};

}  // namespace tolva
