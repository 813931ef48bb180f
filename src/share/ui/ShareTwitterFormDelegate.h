#pragma once
// What the older micro-blog compose form tells its owner: the user sent it.

namespace tolva {

class ShareTwitterForm;

class ShareTwitterFormDelegate {
 public:
  virtual ~ShareTwitterFormDelegate() = default;
  virtual void sendForm(ShareTwitterForm* form) = 0;
};

}  // namespace tolva
