#include "json/fast/FJDictionaryEnumerator.h"

#include <vector>

#include "json/fast/FJDictionary.h"

namespace tolva {

FJDictionaryEnumerator::FJDictionaryEnumerator(FJDictionary* dictionary) : collection_(dictionary) {}

kit::Object* FJDictionaryEnumerator::nextObject() {
  if (!collection_) return nullptr;
  while (nextObject_ < collection_->own().capacity) {
    const FJDictionary::Entry& e = collection_->table()[nextObject_++];
    if (e.key) return e.key;
  }
  return nullptr;
}

kit::Ref<kit::Array> FJDictionaryEnumerator::allObjects() {
  std::vector<kit::Ref<kit::Object>> keys;
  while (kit::Object* k = nextObject()) keys.emplace_back(k);
  return kit::Array::arrayWithObjects(std::move(keys));
}

}  // namespace tolva
