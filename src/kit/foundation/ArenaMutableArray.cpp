#include "kit/foundation/ArenaMutableArray.h"

#include <cstdint>
#include <new>

namespace kit {

ArenaMutableArray* ArenaMutableArray::make(ObjectArena& arena, Object* const* objects, size_t count) {
  // Counts are kept in 32 bits.
  if (count > UINT32_MAX / 4) throw std::bad_alloc();
  size_t extra = count ? itemsBytes(count) : 0;
  auto* array = new (arena, Trailing{extra}) ArenaMutableArray();
  if (count) array->useBorrowedItems(array + 1, count, objects, count);
  array->setInitialRetainCount(1);
  return array;
}

}  // namespace kit
