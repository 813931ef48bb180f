#pragma once
// A byte buffer. It can adopt a malloc'd buffer without copying it. A MutableData that is filled
// at its end (reserveTail/commitTail) keeps a large body in whole pages of its own mapping, which
// grows without copying what it holds (the kernel moves the pages). Those pages belong to a memory
// file where the system has one, so that appended bytes reach them through the kernel.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/Object.h"

namespace kit {

class Data : public Object {
 public:
  Data() = default;
  explicit Data(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  Data(const void* bytes, size_t length);
  ~Data() override;

  static Ref<Data> dataWithBytes(const void* bytes, size_t length) {
    return Ref<Data>(new Data(bytes, length));
  }
  static Ref<Data> dataWithString(std::string_view s) { return dataWithBytes(s.data(), s.size()); }
  // Takes ownership of a malloc'd buffer; it is freed with free() when
  // freeWhenDone, otherwise the caller keeps it alive longer than the object.
  static Ref<Data> dataWithBytesNoCopy(void* bytes, size_t length, bool freeWhenDone = true);

  const uint8_t* bytes() const noexcept { return adopted_ ? adopted_ : bytes_.data(); }
  size_t length() const noexcept { return adopted_ ? adoptedLength_ : bytes_.size(); }
  std::string_view view() const noexcept {
    return {reinterpret_cast<const char*>(bytes()), length()};
  }
  std::string toString() const { return std::string(view()); }

  std::string className() const override { return "Data"; }
  Kind kind() const noexcept override { return Kind::Data; }
  size_t hash() const noexcept override;
  bool isEqual(const Object* other) const noexcept override;
  std::string description() const override;
  Ref<Object> copy() const override;
  Ref<Object> mutableCopy() const override;

 protected:
  // Moves adopted bytes into the vector so they can grow (mapped pages stay where they are).
  void ownBytes();
  std::vector<uint8_t> bytes_;
  uint8_t* adopted_ = nullptr;
  size_t adoptedLength_ = 0;
  bool freeAdopted_ = false;
  // The size of the mapping adopted_ points into, when the bytes live in pages of their own.
  size_t mappedCapacity_ = 0;
  // The memory file behind that mapping (-1 for anonymous pages).
  int pagesFile_ = -1;
};

class MutableData : public Data {
 public:
  using Data::Data;
  static Ref<MutableData> data() { return Ref<MutableData>(new MutableData()); }

  uint8_t* mutableBytes() {
    ownBytes();
    return mappedCapacity_ ? adopted_ : bytes_.data();
  }
  void appendBytes(const void* bytes, size_t length);
  void appendData(const Data& d) { appendBytes(d.bytes(), d.length()); }
  // How many bytes fit before the storage moves (0 while the bytes are adopted).
  size_t capacity() const noexcept {
    if (mappedCapacity_) return mappedCapacity_;
    return bytes() == bytes_.data() ? bytes_.capacity() : 0;
  }
  void setLength(size_t length);
  // The least room reserveTail maps.
  static constexpr size_t kPagedFrom = size_t(1) << 20;
  // Room for at least `length` more bytes after the current ones, to be filled in place and then
  // counted with commitTail. The bytes move into whole pages of their own (at least kPagedFrom,
  // meant for large bodies), which then grow without copying; throws std::bad_alloc when the
  // room cannot be had.
  uint8_t* reserveTail(size_t length);
  void commitTail(size_t length);
  // Whether appendBytes writes into the pages through the kernel (a memory file) rather than
  // through this process's mapping: fresh pages are then neither cleared first nor faulted in one
  // by one, so appending from a small buffer beats filling reserveTail's room in place.
  bool appendsThroughKernel() const noexcept { return pagesFile_ >= 0; }

  std::string className() const override { return "MutableData"; }
  bool isMutable() const noexcept override { return true; }

 private:
  static bool writeAll(int file, const void* bytes, size_t length, size_t offset);
};

}  // namespace kit
