#pragma once
// A decoded string: a kit::String in every way that shows (class name,
// equality, hash, copies), whose room comes from the parse's arena.

#include <cstddef>
#include <string_view>

#include "kit/foundation/ObjectArena.h"
#include "kit/foundation/String.h"

namespace tolva {

class FJString final : public kit::String {
 public:
  // Starts with `owners` references, handed to its first owners.
  FJString(std::string_view text, long owners) : kit::String(text) { setInitialRetainCount(owners); }

  static void* operator new(size_t size, kit::ObjectArena& arena) { return arena.allocate(size); }
  static void operator delete(void* p, kit::ObjectArena&) noexcept { kit::ObjectArena::release(p, 0); }
  static void operator delete(void* p, size_t size) noexcept { kit::ObjectArena::release(p, size); }
};

}  // namespace tolva
