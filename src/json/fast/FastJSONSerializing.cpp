#include "json/fast/FastJSONSerializing.h"

#include "json/fast/FJSerializer.h"

namespace tolva::FastJSONSerializing {
namespace {

template <class T>
kit::Ref<T> run(const kit::Object* object, FJSerializeOptionFlags options, FJEncodeOptionType encode,
                kit::Object* delegate, const FJSelector& selector, kit::Ref<kit::Error>* error) {
  if (error) *error = nullptr;
  if (!object) return nullptr;
  kit::Ref<kit::Object> result = FJSerializer::serializeObject(const_cast<kit::Object*>(object), options, encode,
                                                               FJSerializeBlock(), delegate, selector, error);
  return kit::Ref<T>(static_cast<T*>(result.get()));
}

FJEncodeOptionType stringEncode(FJEncodeOptionType as, bool includeQuotes) {
  return as | FJEncodeOptionStringObj | (includeQuotes ? 0u : unsigned{FJEncodeOptionStringObjTrimQuotes});
}

}  // namespace

kit::Ref<kit::Data> JSONData(const kit::String* string) { return JSONDataWithOptions(string, 0, true, nullptr); }

kit::Ref<kit::Data> JSONDataWithOptions(const kit::String* string, FJSerializeOptionFlags serializeOptions,
                                        bool includeQuotes, kit::Ref<kit::Error>* error) {
  return run<kit::Data>(string, serializeOptions, stringEncode(FJEncodeOptionToData, includeQuotes), nullptr,
                        FJSelector(), error);
}

kit::Ref<kit::String> JSONString(const kit::String* string) {
  return JSONStringWithOptions(string, 0, true, nullptr);
}

kit::Ref<kit::String> JSONStringWithOptions(const kit::String* string, FJSerializeOptionFlags serializeOptions,
                                            bool includeQuotes, kit::Ref<kit::Error>* error) {
  return run<kit::String>(string, serializeOptions, stringEncode(FJEncodeOptionToString, includeQuotes), nullptr,
                          FJSelector(), error);
}

#define TOLVA_FJ_COLLECTION_FORMS(Type)                                                                       \
  kit::Ref<kit::Data> JSONData(const Type* c) { return JSONDataWithOptions(c, 0, nullptr); }                  \
  kit::Ref<kit::Data> JSONDataWithOptions(const Type* c, FJSerializeOptionFlags o, kit::Ref<kit::Error>* e) { \
    return run<kit::Data>(c, o, FJEncodeOptionToData | FJEncodeOptionCollectionObj, nullptr, FJSelector(), e); \
  }                                                                                                           \
  kit::Ref<kit::Data> JSONDataWithOptions(const Type* c, FJSerializeOptionFlags o, kit::Object* d,            \
                                          const FJSelector& s, kit::Ref<kit::Error>* e) {                     \
    return run<kit::Data>(c, o, FJEncodeOptionToData | FJEncodeOptionCollectionObj, d, s, e);                  \
  }                                                                                                           \
  kit::Ref<kit::String> JSONString(const Type* c) { return JSONStringWithOptions(c, 0, nullptr); }            \
  kit::Ref<kit::String> JSONStringWithOptions(const Type* c, FJSerializeOptionFlags o,                        \
                                              kit::Ref<kit::Error>* e) {                                      \
    return run<kit::String>(c, o, FJEncodeOptionToString | FJEncodeOptionCollectionObj, nullptr, FJSelector(), \
                            e);                                                                               \
  }                                                                                                           \
  kit::Ref<kit::String> JSONStringWithOptions(const Type* c, FJSerializeOptionFlags o, kit::Object* d,        \
                                              const FJSelector& s, kit::Ref<kit::Error>* e) {                 \
    return run<kit::String>(c, o, FJEncodeOptionToString | FJEncodeOptionCollectionObj, d, s, e);             \
  }

TOLVA_FJ_COLLECTION_FORMS(kit::Array)
TOLVA_FJ_COLLECTION_FORMS(kit::Dictionary)

#undef TOLVA_FJ_COLLECTION_FORMS

}  // namespace tolva::FastJSONSerializing
