#pragma once
// Forward declarations of the app-wide pieces every subsystem uses.

namespace tolva {

class LocalizedText;
class VeskMiscObject;

}  // namespace tolva
