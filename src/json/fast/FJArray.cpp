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
  auto* array = new (arena, Trailing{count * sizeof(kit::Object*)}) FJArray();
  array->setInitialRetainCount(1);
  array->objects_ = array->inlineStorage();
  if (count <= 4) {
    for (size_t i = 0; i < count; ++i) array->objects_[i] = objects[i];  // most arrays are short
  } else {
    std::memcpy(array->objects_, objects, count * sizeof(kit::Object*));
  }
  array->count_ = array->capacity_ = static_cast<uint32_t>(count);
  array->mutations_ = mutableCollection ? 1 : 0;
  return array;
}

FJArray::~FJArray() {
  for (size_t i = 0; i < count_; ++i) objects_[i]->release();
  if (objects_ != inlineStorage()) std::free(objects_);
}

kit::Object* FJArray::objectAtIndex(size_t index) const {
  if (index >= count_) beyondBounds("objectAtIndex", index, count_);
  return objects_[index];
}

void FJArray::getObjects(kit::Object** objects, size_t location, size_t length) const {
  if (!objects && length)
    throw kit::RangeException(prefix("getObjects") +
                              "pointer to objects array is NULL but range length is " +
                              std::to_string(length));
  if (location > count_ || length > count_ - location) {
    size_t end = location + length < location ? SIZE_MAX : location + length;
    beyondBounds("getObjects", end, count_);
  }
  if (length) std::memcpy(objects, objects_ + location, length * sizeof(kit::Object*));
}

size_t FJArray::countByEnumerating(FJFastEnumerationState* state, kit::Object** buffer,
                                   size_t len) const {
  state->mutationsPtr = &mutations_;
  state->itemsPtr = buffer;
  size_t n = 0;
  while (n < len && state->state < count_) buffer[n++] = objects_[state->state++];
  return n;
}

void FJArray::requireMutable(const char* method) const {
  if (mutations_ == 0)
    throw kit::InternalInconsistencyException(prefix(method) + "mutating method sent to immutable object");
}

void FJArray::insertObject(kit::Ref<kit::Object> obj, size_t index) {
  requireMutable("insertObject");
  if (!obj) throw kit::InvalidArgumentException(prefix("insertObject") + "attempt to insert nil");
  if (index > count_) beyondBounds("insertObject", index, count_ + 1);
  if (size_t{count_} + 1 >= capacity_) {
    size_t capacity = size_t{capacity_} + 16;
    if (capacity > kMaxCount) throw kit::MallocException("Unable to resize objects array.");
    kit::Object** grown;
    if (objects_ == inlineStorage()) {
      grown = static_cast<kit::Object**>(std::malloc(capacity * sizeof(kit::Object*)));
      if (grown) std::memcpy(grown, objects_, count_ * sizeof(kit::Object*));
    } else {
      grown = static_cast<kit::Object**>(std::realloc(objects_, capacity * sizeof(kit::Object*)));
    }
    if (!grown) throw kit::MallocException("Unable to resize objects array.");
    std::memset(grown + capacity_, 0, (capacity - capacity_) * sizeof(kit::Object*));
    objects_ = grown;
    capacity_ = static_cast<uint32_t>(capacity);
  }
  std::memmove(objects_ + index + 1, objects_ + index, (count_ - index) * sizeof(kit::Object*));
  objects_[index] = obj.detach();
  ++count_;
  bumpMutations();
}

void FJArray::removeObjectAtIndex(size_t index) {
  requireMutable("removeObjectAtIndex");
  if (index >= count_) beyondBounds("removeObjectAtIndex", index, count_);
  kit::Object* gone = objects_[index];
  std::memmove(objects_ + index, objects_ + index + 1, (count_ - index - 1) * sizeof(kit::Object*));
  objects_[--count_] = nullptr;
  bumpMutations();
  gone->release();
}

void FJArray::removeLastObject() {
  requireMutable("removeLastObject");
  if (count_ == 0) beyondBounds("removeLastObject", 0, 0);
  removeObjectAtIndex(count_ - 1);
}

void FJArray::replaceObjectAtIndex(size_t index, kit::Ref<kit::Object> obj) {
  requireMutable("replaceObjectAtIndex");
  if (!obj) throw kit::InvalidArgumentException(prefix("replaceObjectAtIndex") + "attempt to insert nil");
  if (index >= count_) beyondBounds("replaceObjectAtIndex", index, count_);
  kit::Object* old = objects_[index];
  objects_[index] = obj.detach();
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
