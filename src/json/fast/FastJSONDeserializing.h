#pragma once
// Decoding straight from a string or data object with a one-off decoder.
// A null receiver gives null, as a message to nothing would.

#include "json/fast/FJTypes.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Error.h"
#include "kit/foundation/String.h"

namespace tolva::FastJSONDeserializing {

kit::Ref<kit::Object> objectFromJSONString(const kit::String* string);
kit::Ref<kit::Object> objectFromJSONStringWithParseOptions(const kit::String* string,
                                                           FJParseOptionFlags parseOptionFlags,
                                                           kit::Ref<kit::Error>* error = nullptr);
kit::Ref<kit::Object> mutableObjectFromJSONString(const kit::String* string);
kit::Ref<kit::Object> mutableObjectFromJSONStringWithParseOptions(const kit::String* string,
                                                                  FJParseOptionFlags parseOptionFlags,
                                                                  kit::Ref<kit::Error>* error = nullptr);

kit::Ref<kit::Object> objectFromJSONData(const kit::Data* data);
kit::Ref<kit::Object> objectFromJSONDataWithParseOptions(const kit::Data* data, FJParseOptionFlags parseOptionFlags,
                                                         kit::Ref<kit::Error>* error = nullptr);
kit::Ref<kit::Object> mutableObjectFromJSONData(const kit::Data* data);
kit::Ref<kit::Object> mutableObjectFromJSONDataWithParseOptions(const kit::Data* data,
                                                                FJParseOptionFlags parseOptionFlags,
                                                                kit::Ref<kit::Error>* error = nullptr);

}  // namespace tolva::FastJSONDeserializing
