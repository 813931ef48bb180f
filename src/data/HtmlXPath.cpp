#include "data/HtmlXPath.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>

#include <climits>
#include <cstdio>

#include "kit/foundation/Array.h"
#include "kit/foundation/String.h"

namespace tolva {

namespace {

using E = HtmlXPathElement;

std::string trimmed(const xmlChar* text) {
  if (!text) return {};
  std::string s(reinterpret_cast<const char*>(text));
  const char* space = " \t\r\n\f\v";
  size_t first = s.find_first_not_of(space);
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(space) - first + 1);
}

bool isText(const xmlNode* n) { return n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE; }

kit::Ref<kit::MutableDictionary> convert(xmlNodePtr root);

void addAttributes(xmlNodePtr node, kit::MutableDictionary& out) {
  if (node->type != XML_ELEMENT_NODE) return;
  kit::Ref<kit::MutableArray> list = kit::MutableArray::array();
  for (xmlAttrPtr a = node->properties; a; a = a->next) {
    if (!a->name) continue;
    xmlChar* value = xmlNodeListGetString(node->doc, a->children, 1);
    kit::Ref<kit::MutableDictionary> attribute = kit::MutableDictionary::dictionary();
    attribute->setObject(kit::str(reinterpret_cast<const char*>(a->name)), E::kAttributeName);
    attribute->setObject(kit::str(trimmed(value)), E::kNodeContent);
    xmlFree(value);
    // A value that is not plain text (an entity reference in XML) also comes as its node.
    if (a->children && !isText(a->children))
      if (kit::Ref<kit::MutableDictionary> content = convert(a->children))
        attribute->setObject(content, E::kAttributeContent);
    list->addObject(attribute);
  }
  if (!list->empty()) out.setObject(list, E::kNodeAttributeArray);
}

// A node and everything below it as node dictionaries. Walked with a stack of
// our own: a deeply nested document cannot exhaust the call stack.
kit::Ref<kit::MutableDictionary> convert(xmlNodePtr root) {
  struct Frame {
    xmlNodePtr node;
    kit::MutableDictionary* parent;
  };
  kit::Ref<kit::MutableDictionary> result;
  std::vector<Frame> stack{{root, nullptr}};
  std::vector<xmlNodePtr> children;
  while (!stack.empty()) {
    Frame f = stack.back();
    stack.pop_back();
    xmlNodePtr n = f.node;
    if (f.parent && isText(n)) {
      // A parent's content is its (last) text child.
      std::string text = trimmed(n->content);
      if (!text.empty()) f.parent->setObject(kit::str(std::move(text)), E::kNodeContent);
      continue;
    }
    kit::Ref<kit::MutableDictionary> d = kit::MutableDictionary::dictionary();
    if (n->name) d->setObject(kit::str(reinterpret_cast<const char*>(n->name)), E::kNodeName);
    if (isText(n) || n->type == XML_COMMENT_NODE) d->setObject(kit::str(trimmed(n->content)), E::kNodeContent);
    addAttributes(n, *d);
    if (f.parent) {
      auto* list = f.parent->get<kit::MutableArray>(E::kNodeChildArray);
      if (!list) {
        kit::Ref<kit::MutableArray> made = kit::MutableArray::array();
        f.parent->setObject(made, E::kNodeChildArray);
        list = made.get();
      }
      list->addObject(d);
    } else {
      result = d;
    }
    if (n->type != XML_ELEMENT_NODE && n->type != XML_DOCUMENT_NODE && n->type != XML_HTML_DOCUMENT_NODE) continue;
    children.clear();
    for (xmlNodePtr c = n->children; c; c = c->next) children.push_back(c);
    for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back({*it, d.get()});
  }
  return result;
}

}  // namespace

HtmlXPath::HtmlXPath(kit::Ref<kit::Data> data, bool isXML) : data_(std::move(data)), isXML_(isXML) {}

HtmlXPath::~HtmlXPath() { dropDocument(); }

kit::Ref<HtmlXPath> HtmlXPath::xpathWithData(kit::Ref<kit::Data> data, bool isXML) {
  return kit::make<HtmlXPath>(std::move(data), isXML);
}
kit::Ref<HtmlXPath> HtmlXPath::xpathWithHTMLData(kit::Ref<kit::Data> data) { return xpathWithData(data, false); }
kit::Ref<HtmlXPath> HtmlXPath::xpathWithXMLData(kit::Ref<kit::Data> data) { return xpathWithData(data, true); }

void HtmlXPath::setData(kit::Ref<kit::Data> data) {
  dropDocument();
  data_ = std::move(data);
}

void HtmlXPath::dropDocument() {
  // The parser itself is never cleaned up: other code (WebKit, the archiver) shares it.
  if (doc_) xmlFreeDoc(doc_);
  doc_ = nullptr;
  parsed_ = false;
}

_xmlDoc* HtmlXPath::document() {
  if (parsed_) return doc_;
  parsed_ = true;
  if (!data_ || data_->length() == 0 || data_->length() > static_cast<size_t>(INT_MAX)) return nullptr;
  const char* bytes = reinterpret_cast<const char*>(data_->bytes());
  const int length = static_cast<int>(data_->length());
  if (isXML_) {
    doc_ = xmlReadMemory(bytes, length, nullptr, nullptr,
                         XML_PARSE_RECOVER | XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  } else {
    // Huge: real exports nest deeper and run longer than the parser's default limits.
    doc_ = htmlReadMemory(bytes, length, nullptr, nullptr,
                          HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET | XML_PARSE_HUGE);
  }
  return doc_;
}

std::vector<kit::Ref<HtmlXPathElement>> HtmlXPath::searchWithXPathQuery(const std::string& query) {
  std::vector<kit::Ref<HtmlXPathElement>> out;
  xmlDocPtr doc = document();
  if (!doc) {
    std::fprintf(stderr, "Unable to parse.\n");
    return out;
  }
  xmlXPathContextPtr context = xmlXPathNewContext(doc);
  if (!context) {
    std::fprintf(stderr, "Unable to create XPath context.\n");
    return out;
  }
  context->error = [](void*, xmlErrorPtr) {};  // libxml2's own report of a malformed query stays out of the console
  xmlXPathObjectPtr found = xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(query.c_str()), context);
  if (!found) {
    std::fprintf(stderr, "Unable to evaluate XPath.\n");
  } else if (found->type != XPATH_NODESET || !found->nodesetval || found->nodesetval->nodeNr == 0) {
    std::fprintf(stderr, "Nodes was nil.\n");
  } else {
    for (int i = 0; i < found->nodesetval->nodeNr; ++i)
      if (kit::Ref<kit::MutableDictionary> node = convert(found->nodesetval->nodeTab[i]))
        out.push_back(HtmlXPathElement::xpathElementWithNode(node));
  }
  if (found) xmlXPathFreeObject(found);
  xmlXPathFreeContext(context);
  return out;
}

kit::Ref<HtmlXPathElement> HtmlXPath::peekAtSearchWithXPathQuery(const std::string& query) {
  std::vector<kit::Ref<HtmlXPathElement>> all = searchWithXPathQuery(query);
  return all.empty() ? nullptr : all.front();
}

}  // namespace tolva
