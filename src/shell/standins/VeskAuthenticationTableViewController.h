#pragma once
// Stand-in for the HTTP-login screen: it keeps the URL it asks for, the
// page that asked and its popover. The real screen (user name and password
// fields, prefilled from the saved passwords) replaces it.

#include <string>

#include "kit/ui/PopoverController.h"
#include "kit/ui/ViewController.h"

namespace tolva {

class VeskWebView;

class VeskAuthenticationTableViewController : public kit::ViewController {
 public:
  enum class Style { Plain = 0, Grouped = 1 };
  explicit VeskAuthenticationTableViewController(Style style = Style::Grouped) : style_(style) {}

  Style style() const noexcept { return style_; }
  const std::string& urlStr() const noexcept { return urlStr_; }
  void setUrlStr(std::string url) { urlStr_ = std::move(url); }
  VeskWebView* veskWebView() const;
  void setVeskWebView(VeskWebView* page);
  kit::PopoverController* pop() const { return pop_.lock().get(); }
  void setPop(kit::PopoverController* pop) { pop_ = pop; }

  std::string className() const override { return "VeskAuthenticationTableViewController"; }

 private:
  Style style_;
  std::string urlStr_;
  kit::WeakRef<kit::Object> page_;
  // Not owned: the popover owns this screen.
  kit::WeakRef<kit::PopoverController> pop_;
};

}  // namespace tolva
