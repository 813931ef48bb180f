#pragma once
// HTML or XML data answering XPath queries as HtmlXPathElements. The data is
// parsed once, at the first query, without network access (and, for XML,
// without entity expansion), and kept parsed until the data changes.

#include <string>
#include <vector>

#include "data/HtmlXPathElement.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Object.h"

struct _xmlDoc;

namespace tolva {

class HtmlXPath : public kit::Object {
 public:
  HtmlXPath(kit::Ref<kit::Data> data, bool isXML);
  ~HtmlXPath() override;
  static kit::Ref<HtmlXPath> xpathWithData(kit::Ref<kit::Data> data, bool isXML);
  static kit::Ref<HtmlXPath> xpathWithHTMLData(kit::Ref<kit::Data> data);
  static kit::Ref<HtmlXPath> xpathWithXMLData(kit::Ref<kit::Data> data);

  kit::Data* data() const noexcept { return data_.get(); }
  void setData(kit::Ref<kit::Data> data);
  bool isXML() const noexcept { return isXML_; }

  // One element per node found, in document order; empty when nothing is
  // found, the query is malformed or the data cannot be parsed (each said
  // in one line on stderr).
  std::vector<kit::Ref<HtmlXPathElement>> searchWithXPathQuery(const std::string& query);
  kit::Ref<HtmlXPathElement> peekAtSearchWithXPathQuery(const std::string& query);

  std::string className() const override { return "HtmlXPath"; }

 private:
  _xmlDoc* document();
  void dropDocument();

  kit::Ref<kit::Data> data_;
  bool isXML_;
  bool parsed_ = false;
  _xmlDoc* doc_ = nullptr;
};

}  // namespace tolva
