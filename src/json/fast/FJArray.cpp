#include "json/fast/FJArray.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "kit/foundation/Exception.h"

namespace tolva {
namespace {

std::string prefix(const char* method) { return std::string("*** -[FJArray ") + method + "]: "; }

[[noreturn]] void beyondBounds(const char* method, size_t index, size_t bound) {
  throw kit::RangeException(prefix(method) + "index (" + std::to_string(index) + ") beyond bounds (" +
                            std::to_string(bound) + ")");
}

}  // namespace

kit::Ref<FJArray> FJArray::alloc() {
  throw kit::InvalidArgumentException(
      "*** - [FJArray alloc]: The FJArray class is private to FastJSON and should not be used in this "
      "fashion.");
}

FJArray* FJArray::create(kit::ObjectArena& arena, kit::Object** objects, size_t count, bool mutableCollection) {
  static_assert(sizeof(FJArray) % alignof(kit::Object*) == 0);
  static_assert(sizeof(FJArray) == sizeof(kit::MutableArray));
  if (count > kMaxCount) throw std::bad_alloc();
  auto* array = new (arena, Trailing{(count ? count : 1) * sizeof(kit::Object*)}) FJArray();
  array->setInitialRetainCount(1);
  kit::Object** room = array->inlineStorage();
  if (count <= 4) {
    for (size_t i = 0; i < count; ++i) room[i] = objects[i];  // most arrays are short
  } else {
    std::memcpy(room, objects, count * sizeof(kit::Object*));
  }
  array->own().count = array->own().capacity = static_cast<uint32_t>(count);
  array->mutations_ = mutableCollection ? 1 : 0;
  return array;
}

FJArray::~FJArray() {
  kit::Object** objects = storage();
  for (size_t i = 0; i < own().count; ++i) objects[i]->release();
  if (onHeap_) std::free(objects);
}

kit::Object* FJArray::objectAtIndex(size_t index) const {
  if (index >= own().count) beyondBounds("objectAtIndex", index, own().count);
  return storage()[index];
}

void FJArray::getObjects(kit::Object** objects, size_t location, size_t length) const {
  if (!objects && length)
    throw kit::RangeException(prefix("getObjects") +
                              "pointer to objects array is NULL but range length is " +
                              std::to_string(length));
  if (location > own().count || length > own().count - location) {
    size_t end = location + length < location ? SIZE_MAX : location + length;
    beyondBounds("getObjects", end, own().count);
  }
  if (length) std::memcpy(objects, storage() + location, length * sizeof(kit::Object*));
}

size_t FJArray::countByEnumerating(FJFastEnumerationState* state, kit::Object** buffer,
                                   size_t len) const {
  state->mutationsPtr = &mutations_;
  state->itemsPtr = buffer;
  kit::Object* const* objects = storage();
  size_t n = 0;
  while (n < len && state->state < own().count) buffer[n++] = objects[state->state++];
  return n;
}

void FJArray::requireMutable(const char* method) const {
  if (mutations_ == 0)
    throw kit::InternalInconsistencyException(prefix(method) + "mutating method sent to immutable object");
}

void FJArray::insertObject(kit::Ref<kit::Object> obj, size_t index) {
  requireMutable("insertObject");
  if (!obj) throw kit::InvalidArgumentException(prefix("insertObject") + "attempt to insert nil");
  if (index > own().count) beyondBounds("insertObject", index, own().count + 1);
  if (size_t{own().count} + 1 >= own().capacity) {
    size_t capacity = size_t{own().capacity} + 16;
    if (capacity > kMaxCount) throw kit::MallocException("Unable to resize objects array.");
    kit::Object** grown;
    if (!onHeap_) {
      grown = static_cast<kit::Object**>(std::malloc(capacity * sizeof(kit::Object*)));
      if (grown) std::memcpy(grown, inlineStorage(), own().count * sizeof(kit::Object*));
    } else {
      grown = static_cast<kit::Object**>(std::realloc(storage(), capacity * sizeof(kit::Object*)));
    }
    if (!grown) throw kit::MallocException("Unable to resize objects array.");
    std::memset(grown + own().capacity, 0, (capacity - own().capacity) * sizeof(kit::Object*));
    setHeapStorage(grown);
    own().capacity = static_cast<uint32_t>(capacity);
  }
  kit::Object** objects = storage();
  std::memmove(objects + index + 1, objects + index, (own().count - index) * sizeof(kit::Object*));
  objects[index] = obj.detach();
  ++own().count;
  bumpMutations();
}

void FJArray::removeObjectAtIndex(size_t index) {
  requireMutable("removeObjectAtIndex");
  if (index >= own().count) beyondBounds("removeObjectAtIndex", index, own().count);
  kit::Object** objects = storage();
  kit::Object* gone = objects[index];
  std::memmove(objects + index, objects + index + 1, (own().count - index - 1) * sizeof(kit::Object*));
  objects[--own().count] = nullptr;
  bumpMutations();
  gone->release();
}

void FJArray::removeLastObject() {
  requireMutable("removeLastObject");
  if (own().count == 0) beyondBounds("removeLastObject", 0, 0);
  removeObjectAtIndex(own().count - 1);
}

void FJArray::replaceObjectAtIndex(size_t index, kit::Ref<kit::Object> obj) {
  requireMutable("replaceObjectAtIndex");
  if (!obj) throw kit::InvalidArgumentException(prefix("replaceObjectAtIndex") + "attempt to insert nil");
  if (index >= own().count) beyondBounds("replaceObjectAtIndex", index, own().count);
  kit::Object*& slot = storage()[index];
  kit::Object* old = slot;
  slot = obj.detach();
  bumpMutations();
  old->release();
}

kit::Ref<kit::Object> FJArray::copy() const {
  if (!isMutable()) return kit::Ref<kit::Object>(const_cast<FJArray*>(this));
  return kit::Ref<kit::Object>(new kit::Array(toVector()));
}

kit::Ref<kit::Object> FJArray::mutableCopy() const {
  return kit::Ref<kit::Object>(new kit::MutableArray(toVector()));
}

}  // namespace tolva
