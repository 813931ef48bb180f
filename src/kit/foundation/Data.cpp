#include "kit/foundation/Data.h"

#include <cstdlib>
#include <cstring>

#include "kit/foundation/String.h"

namespace kit {

Data::Data(const void* bytes, size_t length) {
  if (length) bytes_.assign(static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + length);
}

Data::~Data() {
  if (freeAdopted_) std::free(adopted_);
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
  if (!adopted_) return;
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
  if (length) bytes_.insert(bytes_.end(), static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + length);
}

}  // namespace kit
