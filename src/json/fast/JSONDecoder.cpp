#include "json/fast/JSONDecoder.h"

#include "json/fast/FJParseState.h"
#include "kit/foundation/Exception.h"
#include "kit/foundation/ObjectArena.h"

namespace tolva {

kit::Ref<JSONDecoder> JSONDecoder::decoder() { return kit::make<JSONDecoder>(); }

kit::Ref<JSONDecoder> JSONDecoder::decoderWithParseOptions(FJParseOptionFlags parseOptionFlags) {
  return kit::make<JSONDecoder>(parseOptionFlags);
}

JSONDecoder::JSONDecoder() : JSONDecoder(FJParseOptionNone) {}

JSONDecoder::JSONDecoder(FJParseOptionFlags parseOptionFlags) {
  if (parseOptionFlags > FJParseOptionValidFlags) throw kit::InvalidArgumentException("Invalid parse options.");
  parseState_ = std::make_unique<FJParseState>(parseOptionFlags);
}

JSONDecoder::~JSONDecoder() = default;

void JSONDecoder::clearCache() {
  if (parseState_) parseState_->cache().clear();
  // Chunks kept warm for the next parse go back to the heap too: a caller
  // that clears the cache is done parsing for a while.
  kit::ObjectArena::releasePooledChunks();
}

FJParseOptionFlags JSONDecoder::parseOptionFlags() const { return parseState_->parseOptionFlags(); }

size_t JSONDecoder::maxDepth() const { return parseState_->maxDepth(); }

void JSONDecoder::setMaxDepth(size_t depth) { parseState_->setMaxDepth(depth); }

kit::Ref<kit::Object> JSONDecoder::parse(const char* string, size_t length, bool mutableCollections,
                                         kit::Ref<kit::Error>* error) {
  if (!parseState_) throw kit::InternalInconsistencyException("parseState is NULL.");
  if (!string) throw kit::InvalidArgumentException("The string argument is NULL.");
  if (error) *error = nullptr;
  return parseState_->parse(reinterpret_cast<const unsigned char*>(string), length, mutableCollections, error);
}

kit::Ref<kit::Object> JSONDecoder::parseUTF8String(const char* string, size_t length, kit::Ref<kit::Error>* error) {
  return objectWithUTF8String(string, length, error);
}

kit::Ref<kit::Object> JSONDecoder::parseJSONData(const kit::Data* jsonData, kit::Ref<kit::Error>* error) {
  return objectWithData(jsonData, error);
}

kit::Ref<kit::Object> JSONDecoder::objectWithUTF8String(const char* string, size_t length,
                                                        kit::Ref<kit::Error>* error) {
  return parse(string, length, false, error);
}

kit::Ref<kit::Object> JSONDecoder::objectWithData(const kit::Data* jsonData, kit::Ref<kit::Error>* error) {
  if (!jsonData) throw kit::InvalidArgumentException("The jsonData argument is NULL.");
  // Empty data has no byte pointer to speak of; parse it as an empty text.
  const char* bytes = jsonData->length() ? reinterpret_cast<const char*>(jsonData->bytes()) : "";
  return objectWithUTF8String(bytes, jsonData->length(), error);
}

kit::Ref<kit::Object> JSONDecoder::mutableObjectWithUTF8String(const char* string, size_t length,
                                                               kit::Ref<kit::Error>* error) {
  return parse(string, length, true, error);
}

kit::Ref<kit::Object> JSONDecoder::mutableObjectWithData(const kit::Data* jsonData, kit::Ref<kit::Error>* error) {
  if (!jsonData) throw kit::InvalidArgumentException("The jsonData argument is NULL.");
  const char* bytes = jsonData->length() ? reinterpret_cast<const char*>(jsonData->bytes()) : "";
  return mutableObjectWithUTF8String(bytes, jsonData->length(), error);
}

}  // namespace tolva
