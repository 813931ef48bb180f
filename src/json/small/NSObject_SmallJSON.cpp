#include "json/small/NSObject_SmallJSON.h"

#include <cstdio>
#include <string>

#include "json/small/SmallJsonWriter.h"

namespace tolva::NSObject_SmallJSON {
namespace {

void report(const char* what, const SmallJsonBase& writer) {
  auto trace = writer.errorTrace();
  std::string line = std::string(what) + " failed. Error trace is: " + (trace ? trace->description() : "(null)");
  std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace

kit::Ref<kit::String> JSONRepresentation(const kit::Object* object) {
  kit::Ref<SmallJsonWriter> writer(new SmallJsonWriter());
  auto text = writer->stringWithObject(object);
  if (!text) report("-JSONRepresentation", *writer);
  return text;
}

kit::Ref<kit::String> JSONFragment(const kit::Object* object) {
  kit::Ref<SmallJsonWriter> writer(new SmallJsonWriter());
  auto text = writer->stringWithFragment(object);
  if (!text) report("-JSONFragment", *writer);
  return text;
}

}  // namespace tolva::NSObject_SmallJSON
