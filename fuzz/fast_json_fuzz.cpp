// Feeds arbitrary bytes to the fast JSON decoder. The first byte picks the
// parse options and whether collections are mutable; whatever parses must
// write back and read back to an equal tree.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "json/fast/FJSerializer.h"
#include "json/fast/JSONDecoder.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/String.h"

using namespace tolva;

namespace {

[[noreturn]] void failed(const char* what) {
  std::fprintf(stderr, "fast_json_fuzz: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  uint8_t control = data[0];
  // An exact-size copy, so any read past the end is caught.
  std::vector<char> text(data + 1, data + size);
  const char* bytes = text.empty() ? "" : text.data();

  // One long-lived decoder, so the object cache carries state from input to input.
  static kit::Ref<JSONDecoder> shared = JSONDecoder::decoderWithParseOptions(FJParseOptionValidFlags);
  kit::Ref<JSONDecoder> decoder = (control & 0x80) ? shared : JSONDecoder::decoderWithParseOptions(control & 15);
  kit::Ref<kit::Error> error;
  kit::Ref<kit::Object> tree = (control & 0x10) ? decoder->mutableObjectWithUTF8String(bytes, text.size(), &error)
                                                : decoder->objectWithUTF8String(bytes, text.size(), &error);
  if (!tree) {
    if (!error || error->localizedDescription().empty()) failed("a failed parse without an error");
    return 0;
  }
  if (error) failed("a parse with a result and an error");

  FJSerializeOptionFlags options = (control & 0x20 ? FJSerializeOptionPretty : 0) |
                                   (control & 0x40 ? FJSerializeOptionEscapeSlash : 0);
  auto written = FJSerializer::serializeObject(tree.get(), options, FJEncodeOptionToData | FJEncodeOptionCollectionObj,
                                               {}, nullptr, {}, &error);
  if (!written) failed("a parsed tree could not be written");
  auto* out = static_cast<kit::Data*>(written.get());
  auto plain = JSONDecoder::decoder();
  auto again = plain->objectWithData(out, &error);
  if (!again) failed("written text did not parse");
  if (!again->isEqual(tree.get())) failed("the tree changed on the way round");

  // Escaped non-ASCII text must at least be writable.
  if (!FJSerializer::serializeObject(tree.get(), FJSerializeOptionEscapeNonASCII, FJEncodeOptionToString, {}, nullptr,
                                     {}, &error))
    failed("a parsed tree could not be written with escapes");
  return 0;
}
