#include "http/HttpAutorotatingViewController.h"

#include "common/MyUIViewController.h"

namespace tolva {

bool HttpAutorotatingViewController::shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation orientation) {
  return MyUIViewController::myShouldAutorotateToInterfaceOrientation(this, orientation);
}

}  // namespace tolva
