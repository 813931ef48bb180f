#include "share/local/ShareTextMessage.h"

#include "share/core/Share.h"
#include "share/core/ShareFunctions.h"

namespace tolva {

bool ShareTextMessage::send() {
  setQuiet(true);
  if (!validateItem()) return false;
  kit::Ref<kit::Error> error = Share::error(ShareLocalizedFormat("This computer cannot send text messages."));
  sendDidFailWithError(error.get());
  return true;
}

}  // namespace tolva
