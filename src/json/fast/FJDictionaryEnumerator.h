#pragma once
// Walks the keys of a fast-decoder dictionary in slot order. It keeps the
// dictionary alive while it exists.

#include "kit/foundation/Array.h"
#include "kit/foundation/Object.h"

namespace tolva {

class FJDictionary;

class FJDictionaryEnumerator : public kit::Object {
 public:
  explicit FJDictionaryEnumerator(FJDictionary* dictionary);

  // The next key, or null at the end.
  kit::Object* nextObject();
  // Every key not handed out yet.
  kit::Ref<kit::Array> allObjects();

  std::string className() const override { return "FJDictionaryEnumerator"; }

 private:
  kit::Ref<FJDictionary> collection_;
  size_t nextObject_ = 0;
};

}  // namespace tolva
