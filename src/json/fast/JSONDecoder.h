#pragma once
// Turns UTF-8 JSON text into kit objects, fast: one pass over the bytes, an
// object cache that hands back the same string and number objects for values
// met before, and compact collections of its own (FJArray, FJDictionary).
// The top level must be an array or an object. Errors are kit::Errors in
// FJErrorDomain with the byte index and line number of the first problem.
// A decoder keeps its cache between parses; it must not be used by two
// threads at once.

#include <cstddef>
#include <memory>
#include <string>

#include "json/fast/FJTypes.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Error.h"
#include "kit/foundation/Object.h"

namespace tolva {

class FJParseState;

class JSONDecoder : public kit::Object {
 public:
  static kit::Ref<JSONDecoder> decoder();
  // Options above FJParseOptionValidFlags raise InvalidArgumentException.
  static kit::Ref<JSONDecoder> decoderWithParseOptions(FJParseOptionFlags parseOptionFlags);

  JSONDecoder();
  explicit JSONDecoder(FJParseOptionFlags parseOptionFlags);
  ~JSONDecoder() override;

  // Releases every cached string and number.
  void clearCache();

  // Immutable collections. A null string or data raises InvalidArgumentException.
  kit::Ref<kit::Object> parseUTF8String(const char* string, size_t length, kit::Ref<kit::Error>* error = nullptr);
  kit::Ref<kit::Object> parseJSONData(const kit::Data* jsonData, kit::Ref<kit::Error>* error = nullptr);
  kit::Ref<kit::Object> objectWithUTF8String(const char* string, size_t length,
                                             kit::Ref<kit::Error>* error = nullptr);
  kit::Ref<kit::Object> objectWithData(const kit::Data* jsonData, kit::Ref<kit::Error>* error = nullptr);
  // Mutable collections (the strings and numbers in them stay immutable).
  kit::Ref<kit::Object> mutableObjectWithUTF8String(const char* string, size_t length,
                                                    kit::Ref<kit::Error>* error = nullptr);
  kit::Ref<kit::Object> mutableObjectWithData(const kit::Data* jsonData, kit::Ref<kit::Error>* error = nullptr);

  FJParseOptionFlags parseOptionFlags() const;
  // Arrays and objects nested deeper than this fail with an error (default 512).
  size_t maxDepth() const;
  void setMaxDepth(size_t depth);
  // The parser state, for looking at the object cache.
  FJParseState* parseState() const noexcept { return parseState_.get(); }

  std::string className() const override { return "JSONDecoder"; }

 private:
  kit::Ref<kit::Object> parse(const char* string, size_t length, bool mutableCollections, kit::Ref<kit::Error>* error);

  std::unique_ptr<FJParseState> parseState_;
};

}  // namespace tolva
