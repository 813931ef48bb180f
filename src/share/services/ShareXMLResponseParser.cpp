#include "share/services/ShareXMLResponseParser.h"

#include <libxml/parser.h>

#include "common/XMLSaxParse.h"
#include "kit/foundation/String.h"

namespace tolva {
namespace {

std::string qualifiedName(const xmlChar* local, const xmlChar* prefix) {
  std::string name = prefix ? std::string(reinterpret_cast<const char*>(prefix)) + ":" : std::string();
  return name + reinterpret_cast<const char*>(local);
}

void startElement(void* ctx, const xmlChar* local, const xmlChar* prefix, const xmlChar*, int, const xmlChar**,
                  int attributeCount, int, const xmlChar** attributes) {
  auto* parser = static_cast<ShareXMLResponseParser*>(static_cast<xmlParserCtxtPtr>(ctx)->_private);
  kit::Ref<kit::MutableDictionary> attrs = kit::MutableDictionary::dictionary();
  // Five pointers per attribute: local name, prefix, URI, value start, value end.
  for (int i = 0; i < attributeCount; ++i) {
    const xmlChar** a = attributes + i * 5;
    std::string value(reinterpret_cast<const char*>(a[3]), size_t(a[4] - a[3]));
    attrs->setObject(kit::String::string(std::move(value)), qualifiedName(a[0], a[1]));
  }
  parser->didStartElement(qualifiedName(local, prefix), attrs);
}

void endElement(void* ctx, const xmlChar* local, const xmlChar* prefix, const xmlChar*) {
  static_cast<ShareXMLResponseParser*>(static_cast<xmlParserCtxtPtr>(ctx)->_private)
      ->didEndElement(qualifiedName(local, prefix));
}

void characters(void* ctx, const xmlChar* text, int length) {
  static_cast<ShareXMLResponseParser*>(static_cast<xmlParserCtxtPtr>(ctx)->_private)
      ->foundCharacters(std::string_view(reinterpret_cast<const char*>(text), size_t(length)));
}

std::string trimSpaces(const std::string& s) {
  size_t a = s.find_first_not_of(' ');
  if (a == std::string::npos) return {};
  size_t b = s.find_last_not_of(' ');
  return s.substr(a, b - a + 1);
}

}  // namespace

bool ShareXMLResponseParser::parse() {
  ok_ = false;
  if (!data_) return false;
  ok_ = XMLSaxParse::parse(std::string_view(reinterpret_cast<const char*>(data_->bytes()), data_->length()),
                           {startElement, endElement, characters}, this);
  return ok_;
}

void ShareXMLResponseParser::didStartElement(const std::string& name, kit::Ref<kit::Dictionary> attributes) {
  currentElementValue_.clear();
  haveValue_ = false;
  if (!parsedResponse_) parsedResponse_ = kit::MutableDictionary::dictionary();
  parsedResponse_->setObject(std::move(attributes), name);
}

void ShareXMLResponseParser::foundCharacters(std::string_view text) {
  currentElementValue_.append(text);
  haveValue_ = true;
}

void ShareXMLResponseParser::didEndElement(const std::string& name) {
  if (name == "errors" || name == "error") return;
  // The collected text is kept across element ends: a parent takes its last child's text.
  if (!haveValue_) return;
  parsedResponse_->setObject(kit::String::string(trimSpaces(currentElementValue_)), name);
}

kit::Ref<kit::Object> ShareXMLResponseParser::findRecursivelyValueForKey(const std::string& key,
                                                                        const kit::Dictionary* dict) {
  if (!dict) return {};
  kit::Ref<kit::Object> found;
  dict->enumerate([&](kit::Object* k, kit::Object* value, bool& stop) {
    auto* name = dynamic_cast<kit::String*>(k);
    if (name && name->str() == key) {
      found = kit::Ref<kit::Object>(value);
    } else if (auto* inner = dynamic_cast<kit::Dictionary*>(value)) {
      found = findRecursivelyValueForKey(key, inner);
    }
    stop = static_cast<bool>(found);
  });
  return found;
}

kit::Ref<kit::Object> ShareXMLResponseParser::getValueForElement(const std::string& element, const kit::Data* response) {
  if (!response) return {};
  kit::Ref<ShareXMLResponseParser> parser(new ShareXMLResponseParser(kit::Data::dataWithBytes(response->bytes(), response->length())));
  if (!parser->parse()) return {};
  return findRecursivelyValueForKey(element, parser->parsedResponse());
}

}  // namespace tolva
