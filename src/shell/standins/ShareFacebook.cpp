#include "shell/standins/ShareFacebook.h"

namespace tolva {

bool ShareFacebook::handleOpenURL(const kit::URL*) { return false; }

}  // namespace tolva
