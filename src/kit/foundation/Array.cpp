#include "kit/foundation/Array.h"

#include <algorithm>

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

Array::Array(std::vector<Ref<Object>> items) : items_(std::move(items)) {
  for (auto& o : items_) requireObject(o.get(), "Array");
}

Object* Array::objectAtIndex(size_t index) const {
  if (index >= items_.size())
    throw RangeException("index " + std::to_string(index) + " beyond bounds [0 .. " +
                         std::to_string(items_.size()) + ")");
  return items_[index].get();
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
  if (index > items_.size())
    throw RangeException("insertObject: index " + std::to_string(index) + " beyond bounds");
  items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(index), std::move(obj));
  ++mutations_;
}

void MutableArray::removeObjectAtIndex(size_t index) {
  if (index >= items_.size())
    throw RangeException("removeObjectAtIndex: index " + std::to_string(index) + " beyond bounds");
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
  ++mutations_;
}

void MutableArray::removeLastObject() {
  if (count() == 0) throw RangeException("removeLastObject: empty array");
  removeObjectAtIndex(count() - 1);
}

void MutableArray::replaceObjectAtIndex(size_t index, Ref<Object> obj) {
  requireObject(obj.get(), "replaceObjectAtIndex");
  if (index >= items_.size())
    throw RangeException("replaceObjectAtIndex: index " + std::to_string(index) + " beyond bounds");
  items_[index] = std::move(obj);
  ++mutations_;
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
