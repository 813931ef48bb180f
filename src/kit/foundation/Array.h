#pragma once
// Ordered collections of objects. count() and objectAtIndex() (and the
// mutators of MutableArray) are the virtual primitives: a subclass may keep
// its own storage by overriding them; everything else is built on them.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "kit/foundation/Object.h"

namespace kit {

class Array : public Object {
 public:
  static constexpr size_t kNotFound = static_cast<size_t>(-1);

  Array() = default;
  // Null elements are refused with InvalidArgumentException.
  explicit Array(std::vector<Ref<Object>> items);
  ~Array() override;
  Array(std::initializer_list<Ref<Object>> items) : Array(std::vector<Ref<Object>>(items)) {}

  static Ref<Array> array() { return Ref<Array>(new Array()); }
  static Ref<Array> arrayWithObjects(std::vector<Ref<Object>> items) {
    return Ref<Array>(new Array(std::move(items)));
  }

  virtual size_t count() const noexcept { return itemsBlock() ? itemsBlock()->count : 0; }
  // Throws RangeException past the end.
  virtual Object* objectAtIndex(size_t index) const;

  bool empty() const noexcept { return count() == 0; }
  Object* firstObject() const { return count() ? objectAtIndex(0) : nullptr; }
  Object* lastObject() const { return count() ? objectAtIndex(count() - 1) : nullptr; }
  // The element as a T, or null when out of range or of another kind.
  template <class T>
  T* get(size_t index) const {
    return index < count() ? dynamic_cast<T*>(objectAtIndex(index)) : nullptr;
  }
  size_t indexOfObject(const Object* o) const;
  size_t indexOfObjectIdenticalTo(const Object* o) const;
  bool containsObject(const Object* o) const { return indexOfObject(o) != kNotFound; }
  std::vector<Ref<Object>> toVector() const;
  // Calls fn for each element in order; mutating the array meanwhile throws
  // GenericException, as enumeration with mutation detection does.
  void enumerate(const std::function<void(Object* obj, size_t index, bool& stop)>& fn) const;

  // This class's own elements, valid until the array changes, and their
  // count; no references are taken: for walks that run no code but kit's
  // meanwhile (a writer, say). Null and 0 for any class but kit's own arrays
  // (another may keep its storage elsewhere, even in this class's fields).
  Object* const* storedObjects(size_t& count) const noexcept;

  // Counts every mutation so enumerations can detect changes under them.
  virtual unsigned long mutationCount() const noexcept { return mutations_; }

  class Iterator {
   public:
    Iterator(const Array* a, size_t i) : a_(a), i_(i), m_(a->mutationCount()) {}
    Object* operator*() const;
    Iterator& operator++() {
      ++i_;
      return *this;
    }
    bool operator!=(const Iterator& o) const { return i_ != o.i_; }

   private:
    const Array* a_;
    size_t i_;
    unsigned long m_;
  };
  Iterator begin() const { return Iterator(this, 0); }
  Iterator end() const { return Iterator(this, count()); }

  std::string className() const override { return "Array"; }
  Kind kind() const noexcept override { return Kind::Array; }
  size_t hash() const noexcept override { return count(); }
  bool isEqual(const Object* other) const noexcept override;
  std::string description() const override;
  Ref<Object> copy() const override;
  Ref<Object> mutableCopy() const override;

 protected:
  // This class's own elements: one block, made with the first element, so a
  // subclass that keeps its own storage pays a single null pointer for it.
  // 32-bit counts: a smaller header is fewer bytes for a walk to read, and
  // no array has 2^32 elements.
  struct alignas(8) Items {
    uint32_t count;
    uint32_t capacity;
    Object** objects() noexcept { return reinterpret_cast<Object**>(this + 1); }  // one reference each
  };
  // Room for at least n elements; the block may move.
  void reserveItems(size_t n);
  // Bytes of an Items block with room for `capacity` elements.
  static constexpr size_t itemsBytes(size_t capacity) noexcept { return sizeof(Items) + capacity * sizeof(Object*); }
  // For an array without elements: keeps them in `room` (itemsBytes(capacity),
  // 8-byte aligned), which belongs to whoever owns this object's memory (a
  // subclass made with room behind itself), and takes over one reference to
  // each of objects[0 .. count). The array never frees that room; growing
  // beyond it moves the elements to the heap.
  void useBorrowedItems(void* room, size_t capacity, Object* const* objects, size_t count) noexcept;

  // For a subclass that keeps its own storage and overrides every primitive:
  // two counts of its own in place of the pointer (a tree of small
  // arrays is walked faster the fewer bytes it takes). The subclass calls
  // useOwnCounts() in its constructor; from then on this class never reads
  // the word as a pointer, as every use of it asks the storage kind first.
  struct OwnCounts {
    uint32_t count;
    uint32_t capacity;
  };
  void useOwnCounts() noexcept {
    word_.own = OwnCounts{0, 0};
    ownCounts_ = true;
  }
  OwnCounts& own() noexcept { return word_.own; }
  const OwnCounts& own() const noexcept { return word_.own; }

  // This class's own block, null when it has none or a subclass keeps its counts in its place.
  Items* itemsBlock() const noexcept { return ownCounts_ ? nullptr : word_.items; }
  void setStorage(Items* block) noexcept { word_.items = block; }

 private:
  union Word {
    Items* items;
    OwnCounts own;
  };
  Word word_{nullptr};

 protected:
  // 32 bits, so this count, the flags below and a subclass's first small
  // fields share one word (only a walk seeing exactly 2^32 changes would
  // miss them).
  uint32_t mutations_ = 0;
  bool itemsBorrowed_ = false;  // the block is not this array's heap block
  bool ownCounts_ = false;  // the word holds a subclass's counts
};

class MutableArray : public Array {
 public:
  using Array::Array;
  static Ref<MutableArray> array() { return Ref<MutableArray>(new MutableArray()); }

  virtual void insertObject(Ref<Object> obj, size_t index);
  virtual void removeObjectAtIndex(size_t index);
  virtual void addObject(Ref<Object> obj) { insertObject(std::move(obj), count()); }
  virtual void removeLastObject();
  virtual void replaceObjectAtIndex(size_t index, Ref<Object> obj);

  void removeAllObjects();
  // Removes every element equal to obj.
  void removeObject(const Object* obj);
  void addObjectsFromArray(const Array& other);
  void exchangeObjectAtIndex(size_t a, size_t b);
  // Stable sort; cmp answers whether a goes before b.
  void sortUsing(const std::function<bool(Object* a, Object* b)>& before);

  std::string className() const override { return "MutableArray"; }
  bool isMutable() const noexcept override { return true; }
};

}  // namespace kit
