// libFuzzer entry point for the small JSON codec's parser and writer.
//
// Every input is parsed as a fragment. A failure must leave a well-formed
// error trace; a success must write back (compact and indented, keys sorted)
// and read again as an equal value, with the compact text unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "json/small/SmallJsonBase.h"
#include "json/small/SmallJsonParser.h"
#include "json/small/SmallJsonWriter.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Error.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "small_json_fuzz: %s\n", what);
  std::abort();
}

void checkTrace(const tolva::SmallJsonBase& codec) {
  auto trace = codec.errorTrace();
  if (!trace || trace->empty()) fail("failure without an error trace");
  kit::Error* previous = nullptr;
  for (auto* o : *trace) {
    auto* e = kit::cast<kit::Error>(o);
    if (!e || e->domain() != tolva::SmallJsonBase::kErrorDomain || e->code() < 1 || e->code() > 12)
      fail("bad error in trace");
    if (e->underlyingError() != previous) fail("broken error chain");
    previous = e;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  kit::Ref<tolva::SmallJsonParser> parser(new tolva::SmallJsonParser());
  // The first byte picks the limit now and then, so that 0 (the ceiling) is exercised too.
  if (size > 0 && data[0] == '\x01') parser->setMaxDepth(0);
  auto value = parser->fragmentWithString(text);
  if (!value) {
    checkTrace(*parser);
    return 0;
  }
  kit::Ref<tolva::SmallJsonWriter> writer(new tolva::SmallJsonWriter());
  writer->setMaxDepth(parser->maxDepth());
  auto compact = writer->stringWithFragment(value);
  if (!compact) fail("parsed value does not write");
  auto back = parser->fragmentWithString(compact->view());
  if (!back) fail("written text does not parse");
  if (!back->isEqual(value)) fail("round trip changed the value");
  auto again = writer->stringWithFragment(back);
  if (!again || again->str() != compact->str()) fail("second write differs");
  writer->setHumanReadable(true);
  writer->setSortKeys(true);
  auto pretty = writer->stringWithFragment(value);
  if (!pretty) fail("indented write failed");
  auto prettyBack = parser->fragmentWithString(pretty->view());
  if (!prettyBack || !prettyBack->isEqual(value)) fail("indented round trip changed the value");
  return 0;
}
