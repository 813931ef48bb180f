#pragma once
// The small JSON codec's front door: one parser and one writer behind the
// both interfaces, a shared nesting limit (512 by default) and the trace of
// the last failure.
//
//   tolva::SmallJSON json;
//   kit::Ref<kit::Error> error;
//   auto tree = json.objectWithString(text, &error);     // dictionary or array
//   auto text = json.stringWithObject(tree, &error);     // null on failure

#include <string>
#include <string_view>

#include "json/small/SmallJsonBase.h"
#include "json/small/SmallJsonParserProtocol.h"
#include "json/small/SmallJsonWriterProtocol.h"
#include "kit/foundation/Error.h"
#include "kit/foundation/Object.h"
#include "kit/foundation/String.h"

namespace tolva {

class SmallJsonParser;
class SmallJsonWriter;

class SmallJSON : public SmallJsonBase, public SmallJsonParserProtocol, public SmallJsonWriterProtocol {
 public:
  SmallJSON();
  ~SmallJSON() override;

  // Writing. On failure the answer is null, errorTrace() holds a copy of the
  // writer's trace and *error (when given) its last, outermost error.
  kit::Ref<kit::String> stringWithObject(const kit::Object* value) override;
  kit::Ref<kit::String> stringWithObject(const kit::Object* value, bool allowScalar,
                                         kit::Ref<kit::Error>* error);
  kit::Ref<kit::String> stringWithFragment(const kit::Object* value, kit::Ref<kit::Error>* error);
  kit::Ref<kit::String> stringWithObject(const kit::Object* value, kit::Ref<kit::Error>* error);

  // Parsing, with the same failure reporting. A null string fails with error 12.
  kit::Ref<kit::Object> objectWithString(const kit::String* string) override;
  kit::Ref<kit::Object> objectWithString(std::string_view text);
  kit::Ref<kit::Object> objectWithString(const kit::String* string, bool allowScalar,
                                         kit::Ref<kit::Error>* error);
  kit::Ref<kit::Object> objectWithString(std::string_view text, bool allowScalar,
                                         kit::Ref<kit::Error>* error);
  kit::Ref<kit::Object> fragmentWithString(const kit::String* string, kit::Ref<kit::Error>* error);
  kit::Ref<kit::Object> fragmentWithString(std::string_view text, kit::Ref<kit::Error>* error);
  kit::Ref<kit::Object> objectWithString(const kit::String* string, kit::Ref<kit::Error>* error);
  kit::Ref<kit::Object> objectWithString(std::string_view text, kit::Ref<kit::Error>* error);

  // The parser's limit; setting it sets the parser's and the writer's.
  unsigned maxDepth() const override;
  void setMaxDepth(unsigned maxDepth) override;
  bool humanReadable() const override;
  void setHumanReadable(bool humanReadable) override;
  bool sortKeys() const override;
  void setSortKeys(bool sortKeys) override;

  std::string className() const override { return "SmallJSON"; }

 private:
  template <class Answer>
  Answer failed(const SmallJsonBase& from, kit::Ref<kit::Error>* error);

  kit::Ref<SmallJsonParser> jsonParser_;
  kit::Ref<SmallJsonWriter> jsonWriter_;
};

}  // namespace tolva
