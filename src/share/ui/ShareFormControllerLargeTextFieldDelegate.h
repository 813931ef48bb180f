#pragma once
// What a long-text compose form tells its owner (a sharer): the user sent the
// form (read its editor's text) or cancelled it. A sharer answers
// sendDidCancel by reporting its own cancellation.

namespace tolva {

class ShareFormControllerLargeTextField;

class ShareFormControllerLargeTextFieldDelegate {
 public:
  virtual ~ShareFormControllerLargeTextFieldDelegate() = default;
  virtual void sendForm(ShareFormControllerLargeTextField* form) = 0;
  virtual void sendDidCancel() = 0;
};

}  // namespace tolva
