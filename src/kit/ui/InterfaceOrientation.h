#pragma once
// The platform's interface orientations; other values are not orientations.

namespace kit {

enum class InterfaceOrientation : int {
  Portrait = 1,
  PortraitUpsideDown = 2,
  LandscapeRight = 3,
  LandscapeLeft = 4,
};

inline bool isValidInterfaceOrientation(long v) { return v >= 1 && v <= 4; }
inline bool isPortrait(InterfaceOrientation o) {
  return o == InterfaceOrientation::Portrait || o == InterfaceOrientation::PortraitUpsideDown;
}
inline bool isLandscape(InterfaceOrientation o) {
  return o == InterfaceOrientation::LandscapeLeft || o == InterfaceOrientation::LandscapeRight;
}

}  // namespace kit
