#pragma once
// JSON text of a string, an array or a dictionary, through a one-off
// FJSerializer. A null receiver gives null, as a message to nothing would.
// Objects the serializer cannot write may be handed to a delegate's method
// for a stand-in (see FJSelector).

#include "json/fast/FJSelector.h"
#include "json/fast/FJTypes.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Error.h"
#include "kit/foundation/String.h"

namespace tolva::FastJSONSerializing {

// A string on its own: quoted and escaped, or escaped only.
kit::Ref<kit::Data> JSONData(const kit::String* string);
kit::Ref<kit::Data> JSONDataWithOptions(const kit::String* string, FJSerializeOptionFlags serializeOptions,
                                        bool includeQuotes, kit::Ref<kit::Error>* error = nullptr);
kit::Ref<kit::String> JSONString(const kit::String* string);
kit::Ref<kit::String> JSONStringWithOptions(const kit::String* string, FJSerializeOptionFlags serializeOptions,
                                            bool includeQuotes, kit::Ref<kit::Error>* error = nullptr);

kit::Ref<kit::Data> JSONData(const kit::Array* array);
kit::Ref<kit::Data> JSONDataWithOptions(const kit::Array* array, FJSerializeOptionFlags serializeOptions,
                                        kit::Ref<kit::Error>* error = nullptr);
kit::Ref<kit::Data> JSONDataWithOptions(const kit::Array* array, FJSerializeOptionFlags serializeOptions,
                                        kit::Object* delegate, const FJSelector& selector,
                                        kit::Ref<kit::Error>* error = nullptr);
kit::Ref<kit::String> JSONString(const kit::Array* array);
kit::Ref<kit::String> JSONStringWithOptions(const kit::Array* array, FJSerializeOptionFlags serializeOptions,
                                            kit::Ref<kit::Error>* error = nullptr);
kit::Ref<kit::String> JSONStringWithOptions(const kit::Array* array, FJSerializeOptionFlags serializeOptions,
                                            kit::Object* delegate, const FJSelector& selector,
                                            kit::Ref<kit::Error>* error = nullptr);

kit::Ref<kit::Data> JSONData(const kit::Dictionary* dictionary);
kit::Ref<kit::Data> JSONDataWithOptions(const kit::Dictionary* dictionary, FJSerializeOptionFlags serializeOptions,
                                        kit::Ref<kit::Error>* error = nullptr);
kit::Ref<kit::Data> JSONDataWithOptions(const kit::Dictionary* dictionary, FJSerializeOptionFlags serializeOptions,
                                        kit::Object* delegate, const FJSelector& selector,
                                        kit::Ref<kit::Error>* error = nullptr);
kit::Ref<kit::String> JSONString(const kit::Dictionary* dictionary);
kit::Ref<kit::String> JSONStringWithOptions(const kit::Dictionary* dictionary, FJSerializeOptionFlags serializeOptions,
                                            kit::Ref<kit::Error>* error = nullptr);
kit::Ref<kit::String> JSONStringWithOptions(const kit::Dictionary* dictionary, FJSerializeOptionFlags serializeOptions,
                                            kit::Object* delegate, const FJSelector& selector,
                                            kit::Ref<kit::Error>* error = nullptr);

}  // namespace tolva::FastJSONSerializing
