#include "data/HtmlXPathElement.h"

#include "kit/foundation/Array.h"
#include "kit/foundation/String.h"

namespace tolva {

HtmlXPathElement::HtmlXPathElement(kit::Ref<kit::Dictionary> node) : node_(std::move(node)) {}

kit::Ref<HtmlXPathElement> HtmlXPathElement::xpathElementWithNode(kit::Ref<kit::Dictionary> node) {
  return kit::make<HtmlXPathElement>(std::move(node));
}

std::string HtmlXPathElement::content() const {
  auto* s = node_ ? node_->get<kit::String>(kNodeContent) : nullptr;
  return s ? s->str() : std::string();
}

std::string HtmlXPathElement::tagName() const {
  auto* s = node_ ? node_->get<kit::String>(kNodeName) : nullptr;
  return s ? s->str() : std::string();
}

std::vector<kit::Ref<HtmlXPathElement>> HtmlXPathElement::children() {
  std::vector<kit::Ref<HtmlXPathElement>> out;
  auto* list = node_ ? node_->get<kit::Array>(kNodeChildArray) : nullptr;
  for (size_t i = 0; list && i < list->count(); ++i) {
    if (auto* child = list->get<kit::Dictionary>(i)) {
      kit::Ref<HtmlXPathElement> e = xpathElementWithNode(kit::Ref<kit::Dictionary>(child));
      e->setParent(this);
      out.push_back(e);
    }
  }
  return out;
}

kit::Ref<HtmlXPathElement> HtmlXPathElement::firstChild() {
  std::vector<kit::Ref<HtmlXPathElement>> all = children();
  return all.empty() ? nullptr : all.front();
}

kit::Ref<kit::Dictionary> HtmlXPathElement::attributes() const {
  kit::Ref<kit::MutableDictionary> out = kit::MutableDictionary::dictionary();
  auto* list = node_ ? node_->get<kit::Array>(kNodeAttributeArray) : nullptr;
  for (size_t i = 0; list && i < list->count(); ++i) {
    auto* a = list->get<kit::Dictionary>(i);
    auto* name = a ? a->get<kit::String>(kAttributeName) : nullptr;
    auto* value = a ? a->get<kit::String>(kNodeContent) : nullptr;
    if (name) out->setObject(value ? kit::Ref<kit::Object>(value) : kit::str(""), name->str());
  }
  return out;
}

std::string HtmlXPathElement::objectForKey(const std::string& name) const {
  auto* list = node_ ? node_->get<kit::Array>(kNodeAttributeArray) : nullptr;
  for (size_t i = 0; list && i < list->count(); ++i) {
    auto* a = list->get<kit::Dictionary>(i);
    auto* n = a ? a->get<kit::String>(kAttributeName) : nullptr;
    if (n && n->str() == name) {
      auto* value = a->get<kit::String>(kNodeContent);
      return value ? value->str() : std::string();
    }
  }
  return {};
}

std::string HtmlXPathElement::description() const { return node_ ? node_->description() : std::string("(null)"); }

}  // namespace tolva
