#include "share/local/SharePhotoAlbum.h"

#include "kit/ui/PhotoAlbum.h"
#include "share/core/ShareFunctions.h"
#include "share/ui/ShareActivityIndicator.h"

namespace tolva {

std::string SharePhotoAlbum::sharerTitle() const { return ShareLocalizedFormat("Save to Photo Album"); }

bool SharePhotoAlbum::send() {
  setQuiet(true);
  kit::Image* image = item()->shareType() == ShareShareTypeImage ? item()->image() : nullptr;
  if (!image) {
    // Nothing to save (not an image item, which the menu never offers here).
    ShareActivityIndicator::currentIndicator()->displayCompleted(ShareLocalizedFormat("Saved!"));
    sendDidFinish();
    return true;
  }
  sendDidStart();
  // "Saved!" only once the picture is really in the folder.
  kit::Ref<SharePhotoAlbum> self(this);
  kit::PhotoAlbum::writeImage(kit::Ref<kit::Image>(image), [self](kit::Error* error) {
    if (error) {
      self->sendDidFailWithError(error);
      return;
    }
    ShareActivityIndicator::currentIndicator()->displayCompleted(ShareLocalizedFormat("Saved!"));
    self->sendDidFinish();
  });
  return true;
}

}  // namespace tolva
