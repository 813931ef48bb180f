#include "share/local/ShareCopy.h"

#include "kit/ui/Pasteboard.h"
#include "share/core/ShareFunctions.h"
#include "share/ui/ShareActivityIndicator.h"

namespace tolva {

std::string ShareCopy::sharerTitle() const { return ShareLocalizedFormat("Copy"); }

bool ShareCopy::send() {
  kit::Pasteboard* board = kit::Pasteboard::generalPasteboard();
  ShareItem* it = item();
  if (it->shareType() == ShareShareTypeURL && it->URL())
    board->setURL(*it->URL());
  else if (it->shareType() == ShareShareTypeImage && it->image())
    board->setImage(kit::Ref<kit::Image>(it->image()));
  else if (it->shareType() == ShareShareTypeText)
    board->setString(it->text());
  ShareActivityIndicator::currentIndicator()->displayCompleted(ShareLocalizedFormat("Copied!"));
  setQuiet(true);
  sendDidFinish();
  return true;
}

}  // namespace tolva
