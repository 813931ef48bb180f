#pragma once
// A small XML answer read in one go through libxml2's SAX2 interface, set up
// the same way for every reader: no network, entity references neither
// fetched nor expanded, and errors kept out of the console (they are the
// parse's outcome).

#include <libxml/parser.h>

#include <string_view>

namespace tolva::XMLSaxParse {

struct Handlers {
  startElementNsSAX2Func startElement = nullptr;
  endElementNsSAX2Func endElement = nullptr;
  charactersSAXFunc characters = nullptr;
};

// Runs the handlers over `text`; each is handed the parser context, whose
// `_private` is `context`. True when the text is well-formed; false, calling
// nothing, for an empty text or one too long for the parser.
bool parse(std::string_view text, const Handlers& handlers, void* context);

}  // namespace tolva::XMLSaxParse
