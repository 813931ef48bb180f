#include "kit/foundation/ArenaMutableDictionary.h"

#include <cstdint>
#include <new>

namespace kit {

ArenaMutableDictionary* ArenaMutableDictionary::make(ObjectArena& arena, Object* const* keysAndValues,
                                                     size_t count) {
  // Counts are kept in 32 bits.
  if (count > UINT32_MAX / 4) throw std::bad_alloc();
  size_t extra = count ? tableBytes(count) : 0;
  auto* dictionary = new (arena, Trailing{extra}) ArenaMutableDictionary();
  if (count) dictionary->useBorrowedTable(dictionary + 1, count, keysAndValues, count);
  dictionary->setInitialRetainCount(1);
  return dictionary;
}

}  // namespace kit
