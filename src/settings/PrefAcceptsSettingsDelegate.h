#pragma once
// A screen pushed from a settings page that wants that page's delegate.

namespace tolva {

class PrefSettingsDelegate;

class PrefAcceptsSettingsDelegate {
 public:
  virtual ~PrefAcceptsSettingsDelegate() = default;
  virtual void setDelegate(PrefSettingsDelegate* delegate) = 0;
};

}  // namespace tolva
