#pragma once
// Option flags, error keys and limits shared by the fast JSON decoder and
// serializer.

#include <cstddef>
#include <cstdint>

namespace kit {
class Object;
}

namespace tolva {

// Error reports of both directions live in one domain with one code; the
// details are in the user info.
inline constexpr const char* FJErrorDomain = "FJErrorDomain";
inline constexpr long FJErrorCode = -1;
inline constexpr const char* FJAtIndexKey = "FJAtIndexKey";
inline constexpr const char* FJLineNumberKey = "FJLineNumberKey";

using FJParseOptionFlags = unsigned;
enum : FJParseOptionFlags {
  FJParseOptionNone = 0,
  FJParseOptionAcceptComments = 1,
  FJParseOptionUnicodeLineBreaks = 2,
  FJParseOptionReplaceBadUnicode = 4,
  FJParseOptionAllowTrailingText = 8,
  FJParseOptionValidFlags = 15,
};

using FJSerializeOptionFlags = unsigned;
enum : FJSerializeOptionFlags {
  FJSerializeOptionNone = 0,
  FJSerializeOptionPretty = 1,
  FJSerializeOptionEscapeNonASCII = 2,
  FJSerializeOptionEscapeSlash = 16,
  FJSerializeOptionValidFlags = 19,
};

using FJEncodeOptionType = unsigned;
enum : FJEncodeOptionType {
  FJEncodeOptionAsTypeMask = 7,
  FJEncodeOptionToData = 1,
  FJEncodeOptionToString = 2,
  FJEncodeOptionCollectionObj = 8,
  FJEncodeOptionStringObj = 16,
  FJEncodeOptionStringObjTrimQuotes = 32,
};

// Deeper nesting is refused by the parser and the writer with an error of its
// own, so hostile input or a cyclic object graph cannot exhaust the stack.
inline constexpr size_t FJDefaultMaxDepth = 512;
// The deepest limit a caller may set: each level is a frame of a recursive
// walk, and the stack has to hold them all. 0 asks for no limit of the
// caller's own and gets this one.
inline constexpr size_t FJMaxDepthCeiling = 4096;
inline constexpr size_t FJClampMaxDepth(size_t depth) noexcept {
  return depth == 0 || depth > FJMaxDepthCeiling ? FJMaxDepthCeiling : depth;
}

// State of a fast enumeration: the caller zeroes it before the first call and
// hands it back unchanged; the collection advances it. mutationsPtr points at
// the collection's mutation counter so the caller can detect changes.
struct FJFastEnumerationState {
  unsigned long state = 0;
  kit::Object** itemsPtr = nullptr;
  const uint32_t* mutationsPtr = nullptr;
};

}  // namespace tolva
