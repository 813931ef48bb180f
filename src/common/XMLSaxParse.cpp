#include "common/XMLSaxParse.h"

#include <climits>

namespace tolva::XMLSaxParse {
namespace {

void quiet(void*, const char*, ...) {}

}  // namespace

bool parse(std::string_view text, const Handlers& handlers, void* context) {
  if (text.empty() || text.size() > size_t(INT_MAX)) return false;
  xmlSAXHandler handler{};
  handler.initialized = XML_SAX2_MAGIC;
  handler.startElementNs = handlers.startElement;
  handler.endElementNs = handlers.endElement;
  handler.characters = handlers.characters;
  handler.error = quiet;
  handler.warning = quiet;
  // No getEntity or reference handler and no XML_PARSE_NOENT: entities stay unexpanded.
  xmlParserCtxtPtr ctxt = xmlCreatePushParserCtxt(&handler, nullptr, nullptr, 0, nullptr);
  if (!ctxt) return false;
  ctxt->_private = context;
  xmlCtxtUseOptions(ctxt, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  const int rc = xmlParseChunk(ctxt, text.data(), int(text.size()), 1);
  const bool ok = rc == 0 && ctxt->wellFormed;
  // A DOCTYPE with entity declarations makes the parser keep them in a document of its own.
  if (ctxt->myDoc) xmlFreeDoc(ctxt->myDoc);
  ctxt->myDoc = nullptr;
  xmlFreeParserCtxt(ctxt);
  return ok;
}

}  // namespace tolva::XMLSaxParse
