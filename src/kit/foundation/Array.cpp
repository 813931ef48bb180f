#include "kit/foundation/Array.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <typeinfo>

#include "kit/foundation/ArenaMutableArray.h"
#include "kit/foundation/Exception.h"

namespace kit {
namespace {

void requireObject(const Object* o, const char* where) {
  if (!o) throw InvalidArgumentException(std::string(where) + ": object cannot be nil");
}

std::string indent(const std::string& s) {
  std::string out;
  for (char c : s) {
    out += c;
    if (c == '\n') out += "    ";
  }
  return out;
}

}  // namespace

Array::Array(std::vector<Ref<Object>> items) {
  for (auto& o : items) requireObject(o.get(), "Array");
  if (items.empty()) return;
  reserveItems(items.size());
  Object** slots = itemsBlock()->objects();
  for (auto& o : items) slots[itemsBlock()->count++] = o.detach();
}

Array::~Array() {
  if (!itemsBlock()) return;
  Object** slots = itemsBlock()->objects();
  for (size_t i = itemsBlock()->count; i-- > 0;) slots[i]->release();
  if (!itemsBorrowed_) std::free(itemsBlock());
}

void Array::reserveItems(size_t n) {
  size_t have = itemsBlock() ? itemsBlock()->capacity : 0;
  if (n <= have) return;
  size_t capacity = std::max({n, have + have / 2, size_t{4}});
  if (capacity > UINT32_MAX) throw std::bad_alloc();
  if (itemsBorrowed_) {
    void* block = std::malloc(itemsBytes(capacity));
    if (!block) throw std::bad_alloc();
    auto* items = static_cast<Items*>(block);
    items->count = itemsBlock()->count;
    std::memcpy(items->objects(), itemsBlock()->objects(), itemsBlock()->count * sizeof(Object*));
    items->capacity = static_cast<uint32_t>(capacity);
    setStorage(items);
    itemsBorrowed_ = false;
    return;
  }
  // Elements are plain counted pointers, so moving the block moves them.
  void* block = std::realloc(itemsBlock(), itemsBytes(capacity));
  if (!block) throw std::bad_alloc();
  auto* items = static_cast<Items*>(block);
  if (!itemsBlock()) items->count = 0;
  items->capacity = static_cast<uint32_t>(capacity);
  setStorage(items);
}

void Array::useBorrowedItems(void* room, size_t capacity, Object* const* objects, size_t count) noexcept {
  auto* items = static_cast<Items*>(room);
  items->count = static_cast<uint32_t>(count);
  items->capacity = static_cast<uint32_t>(capacity);
  if (count) std::memcpy(items->objects(), objects, count * sizeof(Object*));
  setStorage(items);
  itemsBorrowed_ = true;
}

Object* const* Array::storedObjects(size_t& count) const noexcept {
  const std::type_info& type = typeid(*this);
  if (!itemsBlock() || (type != typeid(ArenaMutableArray) && type != typeid(MutableArray) && type != typeid(Array))) {
    count = 0;
    return nullptr;
  }
  count = itemsBlock()->count;
  return itemsBlock()->objects();
}

Object* Array::objectAtIndex(size_t index) const {
  size_t n = itemsBlock() ? itemsBlock()->count : 0;
  if (index >= n)
    throw RangeException("index " + std::to_string(index) + " beyond bounds [0 .. " + std::to_string(n) + ")");
  return itemsBlock()->objects()[index];
}

size_t Array::indexOfObject(const Object* o) const {
  size_t n = count();
  for (size_t i = 0; i < n; ++i)
    if (kit::isEqual(objectAtIndex(i), o)) return i;
  return kNotFound;
}

size_t Array::indexOfObjectIdenticalTo(const Object* o) const {
  size_t n = count();
  for (size_t i = 0; i < n; ++i)
    if (objectAtIndex(i) == o) return i;
  return kNotFound;
}

std::vector<Ref<Object>> Array::toVector() const {
  std::vector<Ref<Object>> v;
  size_t n = count();
  v.reserve(n);
  for (size_t i = 0; i < n; ++i) v.emplace_back(objectAtIndex(i));
  return v;
}

void Array::enumerate(const std::function<void(Object*, size_t, bool&)>& fn) const {
  unsigned long m = mutationCount();
  bool stop = false;
  for (size_t i = 0; i < count() && !stop; ++i) {
    Ref<Object> keep(objectAtIndex(i));
    fn(keep.get(), i, stop);
    if (mutationCount() != m)
      throw GenericException("Collection was mutated while being enumerated.");
  }
}

Object* Array::Iterator::operator*() const {
  if (a_->mutationCount() != m_)
    throw GenericException("Collection was mutated while being enumerated.");
  return a_->objectAtIndex(i_);
}

bool Array::isEqual(const Object* other) const noexcept {
  if (other == this) return true;
  auto* o = dynamic_cast<const Array*>(other);
  if (!o || o->count() != count()) return false;
  for (size_t i = 0, n = count(); i < n; ++i)
    if (!kit::isEqual(objectAtIndex(i), o->objectAtIndex(i))) return false;
  return true;
}

std::string Array::description() const {
  if (empty()) return "(\n)";
  std::string s = "(\n";
  for (size_t i = 0, n = count(); i < n; ++i) {
    s += "    " + indent(objectAtIndex(i)->description());
    s += i + 1 < n ? ",\n" : "\n";
  }
  return s + ")";
}

Ref<Object> Array::copy() const {
  if (!isMutable()) return Object::copy();
  return Ref<Object>(new Array(toVector()));
}

Ref<Object> Array::mutableCopy() const { return Ref<Object>(new MutableArray(toVector())); }

void MutableArray::insertObject(Ref<Object> obj, size_t index) {
  requireObject(obj.get(), "insertObject");
  size_t n = itemsBlock() ? itemsBlock()->count : 0;
  if (index > n) throw RangeException("insertObject: index " + std::to_string(index) + " beyond bounds");
  reserveItems(n + 1);
  Object** slots = itemsBlock()->objects();
  std::memmove(slots + index + 1, slots + index, (n - index) * sizeof(Object*));
  slots[index] = obj.detach();
  ++itemsBlock()->count;
  ++mutations_;
}

void MutableArray::removeObjectAtIndex(size_t index) {
  size_t n = itemsBlock() ? itemsBlock()->count : 0;
  if (index >= n)
    throw RangeException("removeObjectAtIndex: index " + std::to_string(index) + " beyond bounds");
  Object** slots = itemsBlock()->objects();
  Object* gone = slots[index];
  std::memmove(slots + index, slots + index + 1, (n - index - 1) * sizeof(Object*));
  --itemsBlock()->count;
  ++mutations_;
  gone->release();  // last: its destructor may call back into this array
}

void MutableArray::removeLastObject() {
  if (count() == 0) throw RangeException("removeLastObject: empty array");
  removeObjectAtIndex(count() - 1);
}

void MutableArray::replaceObjectAtIndex(size_t index, Ref<Object> obj) {
  requireObject(obj.get(), "replaceObjectAtIndex");
  if (index >= (itemsBlock() ? itemsBlock()->count : 0))
    throw RangeException("replaceObjectAtIndex: index " + std::to_string(index) + " beyond bounds");
  Object*& slot = itemsBlock()->objects()[index];
  Object* old = slot;
  slot = obj.detach();
  ++mutations_;
  old->release();
}

void MutableArray::removeAllObjects() {
  while (count()) removeLastObject();
}

void MutableArray::removeObject(const Object* obj) {
  for (size_t i = count(); i-- > 0;)
    if (kit::isEqual(objectAtIndex(i), obj)) removeObjectAtIndex(i);
}

void MutableArray::addObjectsFromArray(const Array& other) {
  for (auto& o : other.toVector()) addObject(o);
}

void MutableArray::exchangeObjectAtIndex(size_t a, size_t b) {
  Ref<Object> oa(objectAtIndex(a)), ob(objectAtIndex(b));
  replaceObjectAtIndex(a, ob);
  replaceObjectAtIndex(b, oa);
}

void MutableArray::sortUsing(const std::function<bool(Object*, Object*)>& before) {
  auto v = toVector();
  std::stable_sort(v.begin(), v.end(),
                   [&](const Ref<Object>& a, const Ref<Object>& b) { return before(a.get(), b.get()); });
  for (size_t i = 0; i < v.size(); ++i) replaceObjectAtIndex(i, v[i]);
}

}  // namespace kit
