#pragma once
// JSON text of an array or a dictionary whose unsupported objects a block
// turns into supported ones.

#include "json/fast/FJSerializer.h"
#include "json/fast/FJTypes.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Error.h"
#include "kit/foundation/String.h"

namespace tolva::FastJSONSerializingBlockAdditions {

kit::Ref<kit::Data> JSONDataWithOptions(const kit::Array* array, FJSerializeOptionFlags serializeOptions,
                                        const FJSerializeBlock& block, kit::Ref<kit::Error>* error = nullptr);
kit::Ref<kit::String> JSONStringWithOptions(const kit::Array* array, FJSerializeOptionFlags serializeOptions,
                                            const FJSerializeBlock& block, kit::Ref<kit::Error>* error = nullptr);
kit::Ref<kit::Data> JSONDataWithOptions(const kit::Dictionary* dictionary, FJSerializeOptionFlags serializeOptions,
                                        const FJSerializeBlock& block, kit::Ref<kit::Error>* error = nullptr);
kit::Ref<kit::String> JSONStringWithOptions(const kit::Dictionary* dictionary, FJSerializeOptionFlags serializeOptions,
                                            const FJSerializeBlock& block, kit::Ref<kit::Error>* error = nullptr);

}  // namespace tolva::FastJSONSerializingBlockAdditions
