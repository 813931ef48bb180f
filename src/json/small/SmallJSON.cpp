#include "json/small/SmallJSON.h"

#include "json/small/SmallJsonParser.h"
#include "json/small/SmallJsonWriter.h"
#include "kit/foundation/Array.h"

namespace tolva {

SmallJSON::SmallJSON() : jsonParser_(new SmallJsonParser()), jsonWriter_(new SmallJsonWriter()) {
  setMaxDepth(kDefaultMaxDepth);
}

SmallJSON::~SmallJSON() = default;

template <class Answer>
Answer SmallJSON::failed(const SmallJsonBase& from, kit::Ref<kit::Error>* error) {
  auto trace = from.errorTrace();
  kit::Ref<kit::MutableArray> copy =
      trace ? kit::Ref<kit::MutableArray>(kit::cast<kit::MutableArray>(trace->mutableCopy()))
            : kit::MutableArray::array();
  setErrorTrace(copy);
  if (error) *error = kit::cast<kit::Error>(copy->lastObject());
  return nullptr;
}

kit::Ref<kit::String> SmallJSON::stringWithObject(const kit::Object* value) {
  return stringWithObject(value, false, nullptr);
}

kit::Ref<kit::String> SmallJSON::stringWithObject(const kit::Object* value, bool allowScalar,
                                                  kit::Ref<kit::Error>* error) {
  auto text = allowScalar ? jsonWriter_->stringWithFragment(value) : jsonWriter_->stringWithObject(value);
  if (!text) return failed<kit::Ref<kit::String>>(*jsonWriter_, error);
  return text;
}

kit::Ref<kit::String> SmallJSON::stringWithFragment(const kit::Object* value, kit::Ref<kit::Error>* error) {
  return stringWithObject(value, true, error);
}

kit::Ref<kit::String> SmallJSON::stringWithObject(const kit::Object* value, kit::Ref<kit::Error>* error) {
  return stringWithObject(value, false, error);
}

kit::Ref<kit::Object> SmallJSON::objectWithString(const kit::String* string) {
  return objectWithString(string, false, nullptr);
}

kit::Ref<kit::Object> SmallJSON::objectWithString(std::string_view text) {
  return objectWithString(text, false, nullptr);
}

kit::Ref<kit::Object> SmallJSON::objectWithString(const kit::String* string, bool allowScalar,
                                                  kit::Ref<kit::Error>* error) {
  auto value = allowScalar ? jsonParser_->fragmentWithString(string) : jsonParser_->objectWithString(string);
  if (!value) return failed<kit::Ref<kit::Object>>(*jsonParser_, error);
  return value;
}

kit::Ref<kit::Object> SmallJSON::objectWithString(std::string_view text, bool allowScalar,
                                                  kit::Ref<kit::Error>* error) {
  auto value = allowScalar ? jsonParser_->fragmentWithString(text) : jsonParser_->objectWithString(text);
  if (!value) return failed<kit::Ref<kit::Object>>(*jsonParser_, error);
  return value;
}

kit::Ref<kit::Object> SmallJSON::fragmentWithString(const kit::String* string, kit::Ref<kit::Error>* error) {
  return objectWithString(string, true, error);
}

kit::Ref<kit::Object> SmallJSON::fragmentWithString(std::string_view text, kit::Ref<kit::Error>* error) {
  return objectWithString(text, true, error);
}

kit::Ref<kit::Object> SmallJSON::objectWithString(const kit::String* string, kit::Ref<kit::Error>* error) {
  return objectWithString(string, false, error);
}

kit::Ref<kit::Object> SmallJSON::objectWithString(std::string_view text, kit::Ref<kit::Error>* error) {
  return objectWithString(text, false, error);
}

unsigned SmallJSON::maxDepth() const { return jsonParser_->maxDepth(); }

void SmallJSON::setMaxDepth(unsigned maxDepth) {
  SmallJsonBase::setMaxDepth(maxDepth);
  jsonParser_->setMaxDepth(maxDepth);
  jsonWriter_->setMaxDepth(maxDepth);
}

bool SmallJSON::humanReadable() const { return jsonWriter_->humanReadable(); }
void SmallJSON::setHumanReadable(bool humanReadable) { jsonWriter_->setHumanReadable(humanReadable); }
bool SmallJSON::sortKeys() const { return jsonWriter_->sortKeys(); }
void SmallJSON::setSortKeys(bool sortKeys) { jsonWriter_->setSortKeys(sortKeys); }

}  // namespace tolva
