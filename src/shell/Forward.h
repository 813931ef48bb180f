#pragma once
// Forward declarations of the browser shell's classes.

namespace tolva {

class VeskAnalytics;

}  // namespace tolva
