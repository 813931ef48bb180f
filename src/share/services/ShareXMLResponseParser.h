#pragma once
// Turns a small XML reply into a flat dictionary (element name -> its text,
// or the attributes it started with) and finds one element's value in it.
// libxml2 reads it without network access and without expanding entities.

#include <string>
#include <string_view>

#include "kit/foundation/Data.h"
#include "kit/foundation/Dictionary.h"

namespace tolva {

class ShareXMLResponseParser : public kit::Object {
 public:
  // Null when the reply is not well-formed XML or has no such value.
  static kit::Ref<kit::Object> getValueForElement(const std::string& element, const kit::Data* response);

  explicit ShareXMLResponseParser(kit::Ref<kit::Data> data) : data_(std::move(data)) {}
  // Answers whether the XML was well-formed.
  bool parse();
  static kit::Ref<kit::Object> findRecursivelyValueForKey(const std::string& key, const kit::Dictionary* dict);

  kit::MutableDictionary* parsedResponse() const noexcept { return parsedResponse_.get(); }
  bool xmlParsedSuccessfully() const noexcept { return ok_; }

  std::string className() const override { return "ShareXMLResponseParser"; }

  // Parser events (called by the libxml2 reader).
  void didStartElement(const std::string& name, kit::Ref<kit::Dictionary> attributes);
  void foundCharacters(std::string_view text);
  void didEndElement(const std::string& name);

 private:
  kit::Ref<kit::MutableDictionary> parsedResponse_;
  std::string currentElementValue_;
  bool haveValue_ = false;
  kit::Ref<kit::Data> data_;
  bool ok_ = false;
};

}  // namespace tolva
