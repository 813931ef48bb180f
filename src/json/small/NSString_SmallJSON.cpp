#include "json/small/NSString_SmallJSON.h"

#include <cstdio>
#include <string>

#include "json/small/SmallJsonParser.h"

namespace tolva::NSString_SmallJSON {
namespace {

void report(const char* what, const SmallJsonBase& parser) {
  auto trace = parser.errorTrace();
  std::string line = std::string(what) + " failed. Error trace is: " + (trace ? trace->description() : "(null)");
  std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace

kit::Ref<kit::Object> JSONValue(const kit::String* string) {
  kit::Ref<SmallJsonParser> parser(new SmallJsonParser());
  auto value = parser->objectWithString(string);
  if (!value) report("-JSONValue", *parser);
  return value;
}

kit::Ref<kit::Object> JSONFragmentValue(const kit::String* string) {
  kit::Ref<SmallJsonParser> parser(new SmallJsonParser());
  auto value = parser->fragmentWithString(string);
  if (!value) report("-JSONFragmentValue", *parser);
  return value;
}

}  // namespace tolva::NSString_SmallJSON
