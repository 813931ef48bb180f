#include "share/core/NSNullsToEmptyStrings.h"

#include "kit/foundation/Null.h"
#include "kit/foundation/String.h"

namespace tolva::NSNullsToEmptyStrings {

void convertNSNullsToEmptyStrings(kit::MutableDictionary* dictionary) {
  if (!dictionary) return;
  // Changing values while walking the dictionary itself is not allowed: walk
  // a snapshot of its keys.
  for (const kit::Ref<kit::Object>& key : dictionary->allKeys()) {
    kit::Object* value = dictionary->objectForKey(key.get());
    if (kit::cast<kit::Null>(value)) {
      dictionary->setObject(kit::str(""), key);
    } else if (auto* inner = kit::cast<kit::Dictionary>(value)) {
      kit::Ref<kit::MutableDictionary> mutableInner(kit::cast<kit::MutableDictionary>(inner));
      if (!mutableInner || !inner->isMutable()) {
        mutableInner = kit::cast<kit::MutableDictionary>(inner->mutableCopy());
        dictionary->setObject(mutableInner, key);
      }
      convertNSNullsToEmptyStrings(mutableInner.get());
    }
  }
}

}  // namespace tolva::NSNullsToEmptyStrings
