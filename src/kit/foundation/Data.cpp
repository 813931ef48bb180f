#include "kit/foundation/Data.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "kit/foundation/String.h"

namespace kit {

Data::Data(const void* bytes, size_t length) {
  if (length) bytes_.assign(static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + length);
}

Data::~Data() {
  if (mappedCapacity_) munmap(adopted_, mappedCapacity_);
  else if (freeAdopted_) std::free(adopted_);
  if (pagesFile_ >= 0) ::close(pagesFile_);
}

Ref<Data> Data::dataWithBytesNoCopy(void* bytes, size_t length, bool freeWhenDone) {
  Ref<Data> d(new Data());
  d->adopted_ = static_cast<uint8_t*>(bytes);
  d->adoptedLength_ = length;
  d->freeAdopted_ = freeWhenDone;
  if (!d->adopted_) d->adoptedLength_ = 0;
  return d;
}

void Data::ownBytes() {
  if (!adopted_ || mappedCapacity_) return;
  bytes_.assign(adopted_, adopted_ + adoptedLength_);
  if (freeAdopted_) std::free(adopted_);
  adopted_ = nullptr;
  adoptedLength_ = 0;
  freeAdopted_ = false;
}

size_t Data::hash() const noexcept { return String::hashBytes(view()); }

bool Data::isEqual(const Object* other) const noexcept {
  if (other == this) return true;
  auto* o = dynamic_cast<const Data*>(other);
  return o && o->view() == view();
}

std::string Data::description() const {
  static const char* hex = "0123456789abcdef";
  std::string s = "<";
  for (size_t i = 0; i < length(); ++i) {
    if (i && i % 4 == 0) s += ' ';
    s += hex[bytes()[i] >> 4];
    s += hex[bytes()[i] & 15];
  }
  return s + ">";
}

Ref<Object> Data::copy() const {
  if (!isMutable()) return Object::copy();
  return Ref<Object>(new Data(bytes(), length()));
}

Ref<Object> Data::mutableCopy() const { return Ref<Object>(new MutableData(bytes(), length())); }

void MutableData::appendBytes(const void* bytes, size_t length) {
  ownBytes();
  if (!length) return;
  if (mappedCapacity_) {
    uint8_t* room = reserveTail(length);
    if (pagesFile_ < 0) std::memcpy(room, bytes, length);
    else if (!writeAll(pagesFile_, bytes, length, this->length())) throw std::bad_alloc();
    commitTail(length);
    return;
  }
  bytes_.insert(bytes_.end(), static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + length);
}

void MutableData::setLength(size_t length) {
  ownBytes();
  if (!mappedCapacity_) {
    bytes_.resize(length);
    return;
  }
  if (length > adoptedLength_) {
    const size_t more = length - adoptedLength_;
    std::memset(reserveTail(more), 0, more);
  }
  adoptedLength_ = length;
}

namespace {

size_t pageRounded(size_t n) {
  static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  return (n + page - 1) / page * page;
}

// Pages for a large buffer: a memory file mapped shared, so that appended bytes can go into its
// pages through the kernel (a write fills a fresh page without clearing it, and this process's
// page tables are not touched for it); anonymous pages where no memory file can be had.
void* mapPages(size_t capacity, int* file) {
  *file = memfd_create("tolva-data", MFD_CLOEXEC);
  if (*file >= 0) {
    if (ftruncate(*file, static_cast<off_t>(capacity)) == 0) {
      void* pages = mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_SHARED, *file, 0);
      if (pages != MAP_FAILED) return pages;
    }
    ::close(*file);
    *file = -1;
  }
  void* pages = mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return pages == MAP_FAILED ? nullptr : pages;
}

}  // namespace

bool MutableData::writeAll(int file, const void* bytes, size_t length, size_t offset) {
  const auto* from = static_cast<const char*>(bytes);
  while (length) {
    const ssize_t n = ::pwrite(file, from, length, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    from += n;
    offset += static_cast<size_t>(n);
    length -= static_cast<size_t>(n);
  }
  return true;
}

uint8_t* MutableData::reserveTail(size_t length) {
  ownBytes();
  const size_t have = this->length();
  if (have + length < have) throw std::bad_alloc();
  const size_t need = have + length;
  if (!mappedCapacity_) {
    const size_t capacity = pageRounded(std::max({need, bytes_.capacity(), kPagedFrom}));
    int file = -1;
    void* pages = mapPages(capacity, &file);
    if (!pages) throw std::bad_alloc();
    if (have && (file < 0 || !writeAll(file, bytes_.data(), have, 0))) std::memcpy(pages, bytes_.data(), have);
    std::vector<uint8_t>().swap(bytes_);
    pagesFile_ = file;
    adopted_ = static_cast<uint8_t*>(pages);
    adoptedLength_ = have;
    mappedCapacity_ = capacity;
    freeAdopted_ = false;
  } else if (need > mappedCapacity_) {
    // Whole pages are moved by the kernel, never copied.
    const size_t capacity = pageRounded(std::max(need, mappedCapacity_ + mappedCapacity_ / 2));
    if (pagesFile_ >= 0 && ftruncate(pagesFile_, static_cast<off_t>(capacity)) != 0) throw std::bad_alloc();
    void* grown = mremap(adopted_, mappedCapacity_, capacity, MREMAP_MAYMOVE);
    if (grown == MAP_FAILED) throw std::bad_alloc();
    adopted_ = static_cast<uint8_t*>(grown);
    mappedCapacity_ = capacity;
  }
  return adopted_ + have;
}

void MutableData::commitTail(size_t length) {
  if (mappedCapacity_ && adoptedLength_ + length <= mappedCapacity_) adoptedLength_ += length;
}

}  // namespace kit
