#include "json/fast/FastJSONDeserializing.h"

#include "json/fast/JSONDecoder.h"

namespace tolva::FastJSONDeserializing {
namespace {

// Strings are UTF-8 already: their bytes go to the decoder as they are, and
// the decoder itself refuses bytes that are not UTF-8.
kit::Ref<kit::Object> fromString(const kit::String* string, FJParseOptionFlags options, bool mutableCollections,
                                 kit::Ref<kit::Error>* error) {
  if (error) *error = nullptr;
  if (!string) return nullptr;
  auto decoder = JSONDecoder::decoderWithParseOptions(options);
  std::string_view bytes = string->view();
  return mutableCollections ? decoder->mutableObjectWithUTF8String(bytes.data(), bytes.size(), error)
                            : decoder->objectWithUTF8String(bytes.data(), bytes.size(), error);
}

kit::Ref<kit::Object> fromData(const kit::Data* data, FJParseOptionFlags options, bool mutableCollections,
                               kit::Ref<kit::Error>* error) {
  if (error) *error = nullptr;
  if (!data) return nullptr;
  auto decoder = JSONDecoder::decoderWithParseOptions(options);
  return mutableCollections ? decoder->mutableObjectWithData(data, error) : decoder->objectWithData(data, error);
}

}  // namespace

kit::Ref<kit::Object> objectFromJSONString(const kit::String* string) {
  return fromString(string, FJParseOptionNone, false, nullptr);
}

kit::Ref<kit::Object> objectFromJSONStringWithParseOptions(const kit::String* string,
                                                           FJParseOptionFlags parseOptionFlags,
                                                           kit::Ref<kit::Error>* error) {
  return fromString(string, parseOptionFlags, false, error);
}

kit::Ref<kit::Object> mutableObjectFromJSONString(const kit::String* string) {
  return fromString(string, FJParseOptionNone, true, nullptr);
}

kit::Ref<kit::Object> mutableObjectFromJSONStringWithParseOptions(const kit::String* string,
                                                                  FJParseOptionFlags parseOptionFlags,
                                                                  kit::Ref<kit::Error>* error) {
  return fromString(string, parseOptionFlags, true, error);
}

kit::Ref<kit::Object> objectFromJSONData(const kit::Data* data) {
  return fromData(data, FJParseOptionNone, false, nullptr);
}

kit::Ref<kit::Object> objectFromJSONDataWithParseOptions(const kit::Data* data, FJParseOptionFlags parseOptionFlags,
                                                         kit::Ref<kit::Error>* error) {
  return fromData(data, parseOptionFlags, false, error);
}

kit::Ref<kit::Object> mutableObjectFromJSONData(const kit::Data* data) {
  return fromData(data, FJParseOptionNone, true, nullptr);
}

kit::Ref<kit::Object> mutableObjectFromJSONDataWithParseOptions(const kit::Data* data,
                                                                FJParseOptionFlags parseOptionFlags,
                                                                kit::Ref<kit::Error>* error) {
  return fromData(data, parseOptionFlags, true, error);
}

}  // namespace tolva::FastJSONDeserializing
