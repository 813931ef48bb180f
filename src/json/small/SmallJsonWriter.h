#pragma once
// Writes dictionaries, arrays, strings, numbers, booleans and Null as JSON
// text, compact or indented, keys optionally sorted. Other objects are written
// through their proxyForJson(), else they fail with error 1.

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "json/small/SmallJsonBase.h"
#include "json/small/SmallJsonWriterProtocol.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Object.h"
#include "kit/foundation/String.h"

namespace tolva {

class SmallJsonWriter : public SmallJsonBase, public SmallJsonWriterProtocol {
 public:
  SmallJsonWriter() = default;

  // Any writable value, including a bare string, number, boolean or null.
  kit::Ref<kit::String> stringWithFragment(const kit::Object* value);
  // A dictionary or an array (or an object whose proxy is one); anything
  // else fails with error 4.
  kit::Ref<kit::String> stringWithObject(const kit::Object* value) override;

  bool sortKeys() const override { return sortKeys_; }
  void setSortKeys(bool sortKeys) override { sortKeys_ = sortKeys; }
  // One element per line, indented by two spaces a level, " : " after keys.
  bool humanReadable() const override { return humanReadable_; }
  void setHumanReadable(bool humanReadable) override { humanReadable_ = humanReadable; }

  std::string className() const override { return "SmallJsonWriter"; }

 protected:
  // A line feed and two spaces per level of depth.
  void indent(std::string& out) const;
  bool appendValue(const kit::Object* value, std::string& out);
  bool appendArray(const kit::Array* array, std::string& out);
  bool appendDictionary(const kit::Dictionary* dictionary, std::string& out);
  bool appendString(const kit::String* string, std::string& out);

 private:
  bool appendNumber(const kit::Object* number, std::string& out);
  bool enter();
  bool failUnsupported(const std::string& what);
  bool failMember(const kit::String* key);
  using Members = std::vector<std::pair<kit::Ref<kit::String>, kit::Ref<kit::Object>>>;
  // One member list per nesting level, kept between objects so writing one
  // does not allocate; a deque so deeper levels never move shallower ones.
  std::deque<Members> members_;
  bool sortKeys_ = false;
  bool humanReadable_ = false;
};

}  // namespace tolva
