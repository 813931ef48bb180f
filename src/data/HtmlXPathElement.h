#pragma once
// One node found by an XPath query, as a node dictionary: "nodeName",
// "nodeContent" (for an element: the trimmed text of its text children),
// "nodeAttributeArray" ({"attributeName", "nodeContent"} each, with
// "attributeContent", the value's node, when that is not plain text) and
// "nodeChildArray" (the child nodes that are not text), the last two only
// when not empty.

#include <string>
#include <vector>

#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Object.h"

namespace tolva {

class HtmlXPathElement : public kit::Object {
 public:
  static constexpr const char* kNodeName = "nodeName";
  static constexpr const char* kNodeContent = "nodeContent";
  static constexpr const char* kNodeAttributeArray = "nodeAttributeArray";
  static constexpr const char* kNodeChildArray = "nodeChildArray";
  static constexpr const char* kAttributeName = "attributeName";
  static constexpr const char* kAttributeContent = "attributeContent";

  explicit HtmlXPathElement(kit::Ref<kit::Dictionary> node);
  static kit::Ref<HtmlXPathElement> xpathElementWithNode(kit::Ref<kit::Dictionary> node);

  kit::Dictionary* node() const noexcept { return node_.get(); }
  std::string content() const;
  std::string tagName() const;
  // New elements for the child nodes, each with this one as parent.
  std::vector<kit::Ref<HtmlXPathElement>> children();
  kit::Ref<HtmlXPathElement> firstChild();
  // Attribute name → its trimmed value.
  kit::Ref<kit::Dictionary> attributes() const;
  // The attribute of that name ("" when absent).
  std::string objectForKey(const std::string& name) const;
  HtmlXPathElement* parent() const noexcept { return parent_.get(); }
  void setParent(HtmlXPathElement* p) { parent_ = p; }

  std::string className() const override { return "HtmlXPathElement"; }
  std::string description() const override;

 private:
  kit::Ref<kit::Dictionary> node_;
  kit::Ref<HtmlXPathElement> parent_;
};

}  // namespace tolva
