#include "share/local/ShareSafari.h"

#include "kit/ui/Application.h"
#include "share/core/Share.h"
#include "share/core/ShareFunctions.h"

namespace tolva {

std::string ShareSafari::sharerTitle() const { return ShareLocalizedFormat("Open in Safari"); }

bool ShareSafari::send() {
  setQuiet(true);
  kit::URL* url = item()->URL();
  // Finished only when the browser really took the link.
  if (url && (url->schemeIs("http") || url->schemeIs("https")) &&
      kit::Application::sharedApplication()->openURLInSystem(url)) {
    sendDidFinish();
  } else {
    kit::Ref<kit::Error> error = Share::error(ShareLocalizedFormat("The link could not be opened."));
    sendDidFailWithError(error.get());
  }
  return true;
}

}  // namespace tolva
