#pragma once
// XML 1.0 property lists <-> kit objects.
//
//   dict -> Dictionary     array -> Array        string -> String
//   integer -> Number 'q' (above INT64_MAX: unsigned 'Q')
//   real -> Number 'd'     true/false -> the shared booleans
//   date -> Date (ISO 8601, UTC, whole seconds)   data -> Data (Base64)
//
// Reading never touches the network, never loads a DTD and never expands
// entities: a document that declares any entity is refused outright. Binary
// property lists, malformed XML and wrong structure all read as null with an
// Error saying why; nothing is printed.

#include <sys/types.h>

#include <cstdint>
#include <functional>

#include <optional>
#include <string>
#include <string_view>

#include "kit/foundation/Data.h"
#include "kit/foundation/Error.h"

namespace kit {

class PropertyList {
 public:
  static constexpr const char* kErrorDomain = "PropertyListErrorDomain";
  enum : long {
    kReadCorruptError = 3840,       // not XML, not a property list, or a bad value
    kReadUnsupportedFormatError = 3841,  // e.g. a binary property list
    kWriteInvalidError = 3851,      // an object that cannot be written
  };
  // Deeper nesting is refused both ways, which also stops self-containing
  // collections from recursing forever.
  static constexpr int kMaxDepth = 512;

  enum class Options {
    Immutable,          // every collection immutable
    MutableContainers,  // dictionaries and arrays are MutableDictionary / MutableArray
  };

  static Ref<Object> read(std::string_view bytes, Options options = Options::Immutable,
                          Ref<Error>* error = nullptr);
  // I/O failures come back as POSIX errors (ENOENT for a missing file, EISDIR
  // for a folder). Anything but a regular file (a FIFO, a device, a link to
  // one) and a file larger than kMaxFileBytes read as damaged
  // (kReadCorruptError) without being read.
  static constexpr uint64_t kMaxFileBytes = uint64_t{256} << 20;
  static Ref<Object> readFromFile(const std::string& path, Options options = Options::Immutable,
                                  Ref<Error>* error = nullptr);

  // The XML text of obj, or null with *error set when obj (or anything in it)
  // cannot be written: Null, errors and other non-property-list objects,
  // non-string dictionary keys, strings that are not valid UTF-8 or hold
  // characters XML 1.0 cannot carry (most control characters).
  static Ref<Data> write(const Object* obj, Ref<Error>* error = nullptr);
  // write() followed by AtomicFile::write(); nothing touches the file on error.
  static Ref<Error> writeToFile(const Object* obj, const std::string& path, mode_t mode = 0644);
  // Whether write() would accept obj; the reason otherwise.
  static bool isValid(const Object* obj, Ref<Error>* error = nullptr);
  // The bytes write() gives obj nested `depth` levels deep (a root
  // dictionary's values are at depth 1), or nullopt as isValid() refuses it.
  static std::optional<uint64_t> encodedLength(const Object* obj, int depth, Ref<Error>* error = nullptr);

  // A deep copy in which every collection, string and data object is
  // immutable (shared immutable leaves are reused). Meant for values already
  // checked with isValid(); other objects, and what lies deeper than
  // kMaxDepth, are kept as they are.
  static Ref<Object> immutableDeepCopy(const Object* obj);

  // What storableCopy() had to change.
  struct TextRepairs {
    size_t strings = 0;       // strings and keys whose text was repaired
    size_t lostEntries = 0;   // dictionary entries whose repaired key another entry already had
    std::string firstAt;      // where the first repair was, as write() names a fault ("root[0].title")
  };
  // immutableDeepCopy() in which every string and dictionary key is made
  // writable: ill-formed UTF-8 and characters XML 1.0 cannot carry become
  // U+FFFD, so one odd character never keeps a whole value out. Anything
  // else write() refuses (null, foreign objects, too deep) is kept as it is.
  static Ref<Object> storableCopy(const Object* obj, TextRepairs* repairs = nullptr);
  // The same, keeping as they are (neither copied nor looked into) the values
  // `known` answers true for: values an earlier storableCopy() made.
  static Ref<Object> storableCopy(const Object* obj, TextRepairs* repairs,
                                  const std::function<bool(const Object*)>& known);
};

}  // namespace kit
