#include "json/fast/FastJSONSerializingBlockAdditions.h"

namespace tolva::FastJSONSerializingBlockAdditions {
namespace {

template <class T>
kit::Ref<T> run(const kit::Object* object, FJSerializeOptionFlags options, FJEncodeOptionType encode,
                const FJSerializeBlock& block, kit::Ref<kit::Error>* error) {
  if (error) *error = nullptr;
  if (!object) return nullptr;
  kit::Ref<kit::Object> result = FJSerializer::serializeObject(
      const_cast<kit::Object*>(object), options, encode | FJEncodeOptionCollectionObj, block, nullptr,
      FJSelector(), error);
  return kit::Ref<T>(static_cast<T*>(result.get()));
}

}  // namespace

kit::Ref<kit::Data> JSONDataWithOptions(const kit::Array* array, FJSerializeOptionFlags serializeOptions,
                                        const FJSerializeBlock& block, kit::Ref<kit::Error>* error) {
  return run<kit::Data>(array, serializeOptions, FJEncodeOptionToData, block, error);
}

kit::Ref<kit::String> JSONStringWithOptions(const kit::Array* array, FJSerializeOptionFlags serializeOptions,
                                            const FJSerializeBlock& block, kit::Ref<kit::Error>* error) {
  return run<kit::String>(array, serializeOptions, FJEncodeOptionToString, block, error);
}

kit::Ref<kit::Data> JSONDataWithOptions(const kit::Dictionary* dictionary, FJSerializeOptionFlags serializeOptions,
                                        const FJSerializeBlock& block, kit::Ref<kit::Error>* error) {
  return run<kit::Data>(dictionary, serializeOptions, FJEncodeOptionToData, block, error);
}

kit::Ref<kit::String> JSONStringWithOptions(const kit::Dictionary* dictionary, FJSerializeOptionFlags serializeOptions,
                                            const FJSerializeBlock& block, kit::Ref<kit::Error>* error) {
  return run<kit::String>(dictionary, serializeOptions, FJEncodeOptionToString, block, error);
}

}  // namespace tolva::FastJSONSerializingBlockAdditions
