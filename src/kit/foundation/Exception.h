#pragma once
// Named exceptions, for the few places where a class raises one on misuse.

#include <stdexcept>
#include <string>

namespace kit {

class Exception : public std::runtime_error {
 public:
  Exception(std::string name, const std::string& reason)
      : std::runtime_error(reason), name_(std::move(name)) {}
  const std::string& name() const noexcept { return name_; }
  std::string reason() const { return what(); }

 private:
  std::string name_;
};

#define KIT_NAMED_EXCEPTION(Cls, Name)                                    \
  class Cls : public Exception {                                          \
   public:                                                                \
    explicit Cls(const std::string& reason) : Exception(Name, reason) {} \
  };

KIT_NAMED_EXCEPTION(InvalidArgumentException, "NSInvalidArgumentException")
KIT_NAMED_EXCEPTION(RangeException, "NSRangeException")
KIT_NAMED_EXCEPTION(InternalInconsistencyException, "NSInternalInconsistencyException")
KIT_NAMED_EXCEPTION(MallocException, "NSMallocException")
KIT_NAMED_EXCEPTION(IllegalStateException, "IllegalStateException")
KIT_NAMED_EXCEPTION(UnimplementedException, "UnimplementedException")
KIT_NAMED_EXCEPTION(GenericException, "NSGenericException")

#undef KIT_NAMED_EXCEPTION

}  // namespace kit
