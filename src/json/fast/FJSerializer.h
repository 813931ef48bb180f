#pragma once
// Writes a tree of strings, numbers, booleans, nulls, arrays and dictionaries
// as UTF-8 JSON straight into a growing byte buffer, and hands the bytes back
// as kit::Data or kit::String. Objects it cannot write are offered to a
// formatter (a block, or a delegate and its method) for a stand-in. Recently
// written strings and numbers are remembered by identity so that repeats are
// copied instead of encoded again. Nesting deeper than maxDepth (a cyclic
// graph included) fails with an error. Errors are kit::Errors in FJErrorDomain.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "json/fast/FJSelector.h"
#include "json/fast/FJTypes.h"
#include "kit/foundation/Error.h"
#include "kit/foundation/Object.h"

namespace tolva {

using FJSerializeBlock = std::function<kit::Ref<kit::Object>(kit::Object* object)>;

struct FJEncodeState;

class FJSerializer : public kit::Object {
 public:
  FJSerializer();
  ~FJSerializer() override;

  // Serializes `object` with a fresh serializer. encodeOption picks the result
  // (FJEncodeOptionToData: kit::Data, FJEncodeOptionToString: kit::String)
  // and what the object must be. At most one of block and delegate may be
  // given; a delegate needs a selector it responds to. Misuse raises
  // InvalidArgumentException; problems with the tree give null and *error.
  static kit::Ref<kit::Object> serializeObject(kit::Object* object, FJSerializeOptionFlags optionFlags,
                                               FJEncodeOptionType encodeOption, const FJSerializeBlock& block,
                                               kit::Object* delegate, const FJSelector& selector,
                                               kit::Ref<kit::Error>* error);
  // The same with this serializer (and its depth limit).
  kit::Ref<kit::Object> serialize(kit::Object* object, FJSerializeOptionFlags optionFlags,
                                  FJEncodeOptionType encodeOption, const FJSerializeBlock& block,
                                  kit::Object* delegate, const FJSelector& selector, kit::Ref<kit::Error>* error);
  // Frees the state of a call (done at the end of every call).
  void releaseState();

  size_t maxDepth() const noexcept { return maxDepth_; }
  // Clamped to 1 .. FJMaxDepthCeiling (0 gives the ceiling).
  void setMaxDepth(size_t depth) noexcept { maxDepth_ = FJClampMaxDepth(depth); }

  std::string className() const override { return "FJSerializer"; }

 private:
  std::unique_ptr<FJEncodeState> encodeState_;
  size_t maxDepth_ = FJDefaultMaxDepth;
};

}  // namespace tolva
