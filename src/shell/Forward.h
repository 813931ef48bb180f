#pragma once
// Forward declarations of the browser shell's classes.

namespace tolva {

class VeskMiscObject;
class VeskAnalytics;

}  // namespace tolva
