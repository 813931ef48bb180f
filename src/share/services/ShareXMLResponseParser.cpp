#include "share/services/ShareXMLResponseParser.h"

#include <libxml/parser.h>

#include <climits>

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

// Errors are the parse's outcome, not console output.
void quiet(void*, const char*, ...) {}

std::string trimSpaces(const std::string& s) {
  size_t a = s.find_first_not_of(' ');
  if (a == std::string::npos) return {};
  size_t b = s.find_last_not_of(' ');
  return s.substr(a, b - a + 1);
}

}  // namespace

bool ShareXMLResponseParser::parse() {
  ok_ = false;
  if (!data_ || data_->length() == 0 || data_->length() > size_t(INT_MAX)) return false;
  xmlSAXHandler handler{};
  handler.initialized = XML_SAX2_MAGIC;
  handler.startElementNs = startElement;
  handler.endElementNs = endElement;
  handler.characters = characters;
  handler.error = quiet;
  handler.warning = quiet;
  // Entity references are neither fetched nor expanded: no getEntity or
  // reference handler, no XML_PARSE_NOENT, and no network.
  xmlParserCtxtPtr ctxt = xmlCreatePushParserCtxt(&handler, nullptr, nullptr, 0, nullptr);
  if (!ctxt) return false;
  ctxt->_private = this;
  xmlCtxtUseOptions(ctxt, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  int rc = xmlParseChunk(ctxt, reinterpret_cast<const char*>(data_->bytes()), int(data_->length()), 1);
  ok_ = rc == 0 && ctxt->wellFormed;
  // A DOCTYPE with entity declarations makes the parser keep them in a document of its own.
  if (ctxt->myDoc) xmlFreeDoc(ctxt->myDoc);
  ctxt->myDoc = nullptr;
  xmlFreeParserCtxt(ctxt);
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
