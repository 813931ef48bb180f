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
  if (count > kMaxCount) throw std::bad_alloc();
  auto* array = new (arena, Trailing{(count ? count : 1) * sizeof(kit::Object*)}) FJArray();
  array->setInitialRetainCount(1);
  kit::Object** room = array->inlineStorage();
  if (count <= 4) {
    for (size_t i = 0; i < count; ++i) room[i] = objects[i];  // most arrays are short
  } else {
    std::memcpy(room, objects, count * sizeof(kit::Object*));
  }
  array->own_.count = array->own_.capacity = static_cast<uint32_t>(count);
  array->mutations_ = mutableCollection ? 1 : 0;
  return array;
}

FJArray::~FJArray() {
  kit::Object** objects = storage();
  for (size_t i = 0; i < own_.count; ++i) objects[i]->release();
  if (onHeap_) std::free(objects);
  items_ = nullptr;  // the base's, in place of own_: it has nothing to free
}

kit::Object* FJArray::objectAtIndex(size_t index) const {
  if (index >= own_.count) beyondBounds("objectAtIndex", index, own_.count);
  return storage()[index];
}

void FJArray::getObjects(kit::Object** objects, size_t location, size_t length) const {
  if (!objects && length)
    throw kit::RangeException(prefix("getObjects") +
                              "pointer to objects array is NULL but range length is " +
                              std::to_string(length));
  if (location > own_.count || length > own_.count - location) {
    size_t end = location + length < location ? SIZE_MAX : location + length;
    beyondBounds("getObjects", end, own_.count);
  }
  if (length) std::memcpy(objects, storage() + location, length * sizeof(kit::Object*));
}

size_t FJArray::countByEnumerating(FJFastEnumerationState* state, kit::Object** buffer,
                                   size_t len) const {
  state->mutationsPtr = &mutations_;
  state->itemsPtr = buffer;
  kit::Object* const* objects = storage();
  size_t n = 0;
  while (n < len && state->state < own_.count) buffer[n++] = objects[state->state++];
  return n;
}

void FJArray::requireMutable(const char* method) const {
  if (mutations_ == 0)
    throw kit::InternalInconsistencyException(prefix(method) + "mutating method sent to immutable object");
}

void FJArray::insertObject(kit::Ref<kit::Object> obj, size_t index) {
  requireMutable("insertObject");
  if (!obj) throw kit::InvalidArgumentException(prefix("insertObject") + "attempt to insert nil");
  if (index > own_.count) beyondBounds("insertObject", index, own_.count + 1);
  if (size_t{own_.count} + 1 >= own_.capacity) {
    size_t capacity = size_t{own_.capacity} + 16;
    if (capacity > kMaxCount) throw kit::MallocException("Unable to resize objects array.");
    kit::Object** grown;
    if (!onHeap_) {
      grown = static_cast<kit::Object**>(std::malloc(capacity * sizeof(kit::Object*)));
      if (grown) std::memcpy(grown, inlineStorage(), own_.count * sizeof(kit::Object*));
    } else {
      grown = static_cast<kit::Object**>(std::realloc(storage(), capacity * sizeof(kit::Object*)));
    }
    if (!grown) throw kit::MallocException("Unable to resize objects array.");
    std::memset(grown + own_.capacity, 0, (capacity - own_.capacity) * sizeof(kit::Object*));
    setHeapStorage(grown);
    own_.capacity = static_cast<uint32_t>(capacity);
  }
  kit::Object** objects = storage();
  std::memmove(objects + index + 1, objects + index, (own_.count - index) * sizeof(kit::Object*));
  objects[index] = obj.detach();
  ++own_.count;
  bumpMutations();
}

void FJArray::removeObjectAtIndex(size_t index) {
  requireMutable("removeObjectAtIndex");
  if (index >= own_.count) beyondBounds("removeObjectAtIndex", index, own_.count);
  kit::Object** objects = storage();
  kit::Object* gone = objects[index];
  std::memmove(objects + index, objects + index + 1, (own_.count - index - 1) * sizeof(kit::Object*));
  objects[--own_.count] = nullptr;
  bumpMutations();
  gone->release();
}

void FJArray::removeLastObject() {
  requireMutable("removeLastObject");
  if (own_.count == 0) beyondBounds("removeLastObject", 0, 0);
  removeObjectAtIndex(own_.count - 1);
}

void FJArray::replaceObjectAtIndex(size_t index, kit::Ref<kit::Object> obj) {
  requireMutable("replaceObjectAtIndex");
  if (!obj) throw kit::InvalidArgumentException(prefix("replaceObjectAtIndex") + "attempt to insert nil");
  if (index >= own_.count) beyondBounds("replaceObjectAtIndex", index, own_.count);
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
