#pragma once
// Writes dictionaries, arrays, strings, numbers, booleans and Null as JSON
// text, compact or indented, keys optionally sorted. Other objects are written
// through their proxyForJson(), else they fail with error 1.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "json/small/SmallJsonBase.h"
#include "json/small/SmallJsonWriterProtocol.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/Object.h"
#include "kit/foundation/String.h"

namespace tolva {

class SmallJsonWriter : public SmallJsonBase, public SmallJsonWriterProtocol {
 public:
  SmallJsonWriter();
  ~SmallJsonWriter() override;

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

 private:
  // The tree is walked without taking a reference to each value: only code of
  // kit's own value classes runs while it is, and that changes nothing. Before
  // anything else runs (a proxyForJson(), an override in a subclass), every
  // open container's pending values are pinned, as that code may change the
  // containers and so free values they alone held.
  struct Member {
    kit::String* key;
    kit::Object* value;
  };
  // One per open container, by depth.
  struct Frame {
    // An array's element being written; null for a dictionary.
    kit::Object* element;
    // A dictionary's members still to write: members_[next, end), or when
    // pairs is set, its keys and values pairs[2 * next, 2 * end) (an array
    // of appendKitDictionary()'s own).
    size_t next, end;
    kit::Object* const* pairs;
    // Everything this container still needs is held: its pending members by
    // pins_, each further element by the loop itself.
    bool pinned;
  };

  bool appendValue(const kit::Object* value);
  bool appendUntrusted(const kit::Object* value);
  bool appendArray(const kit::Array* array, bool trusted);
  bool appendDictionary(const kit::Dictionary* dictionary, bool trusted);
  // One of kit's own dictionaries with a few entries, in compact text with
  // keys unsorted: the common case, the short way.
  bool appendKitDictionary(const kit::Dictionary* dictionary);
  // One of kit's own arrays in compact text, likewise.
  bool appendKitArray(const kit::Array* array);
  // A member of one of those (never null), the parser's collections first.
  bool appendKitMember(const kit::Object* value);
  bool appendString(const kit::String* string);
  // A dictionary key and the colon after it (compact text only).
  bool appendKey(const kit::String* key);
  bool appendNumber(const kit::Number* number);
  bool appendOtherNumber(const kit::Number* number);
  bool enter();
  void leave();
  // Pins every open container's pending values; see above.
  void pinFrames();
  bool failUnsupported(const std::string& what);
  bool failMember(const kit::String* key);

  // Output: buffer_ holds the text up to cur_, then room up to end_.
  char* room(size_t n) {
    if (static_cast<size_t>(end_ - cur_) < n) grow(n);
    return cur_;
  }
  void put(char c) {
    *room(1) = c;
    ++cur_;
  }
  void put(const char* s, size_t n);
  void grow(size_t n);
  // A line feed and two spaces per level of depth.
  void indent();
  // Asks for what the walk reaches next; see SmallJsonWriter.cpp.
  void prefetchAhead(const kit::Object* collection);

  // The text being written, which becomes the result's own when it is large
  // (a small one is copied, and the block kept for the next call).
  std::string out_;
  // The length of the last large text, to start a like one with room for it.
  size_t expected_ = 0;
  char* buffer_ = nullptr;
  char* cur_ = nullptr;
  char* end_ = nullptr;
  // Kept between calls, so that writing does not allocate once they are big enough.
  std::vector<Member> members_;  // the open dictionaries' members, outermost first
  std::vector<Frame> frames_;
  std::vector<kit::Ref<kit::Object>> pins_;
  unsigned pinnedDepth_ = 0;  // frames_[0, pinnedDepth_) are pinned
  unsigned limit_ = 0;        // the nesting limit of the write under way
  bool writing_ = false;
  // Recently written keys' text with its quotes and colon: dictionaries
  // share their key objects (the parser makes each distinct key once), so
  // the same few are written over and over. A slot counts while its
  // generation is the current one, which changes with every write and
  // whenever code not kit's may run (and so free a key, whose address
  // another string may then take).
  struct KeySlot {
    const kit::String* key = nullptr;
    uint64_t generation = 0;
    uint32_t length = 0;
    char text[36];
  };
  static constexpr size_t kKeySlots = 64;
  KeySlot keySlots_[kKeySlots];
  uint64_t generation_ = 1;
  // The first page of the collection after the one being written in an
  // array of collections, asked for a line at a time while this one is written.
  uintptr_t sibling_ = 0;
  unsigned siblingLines_ = 0;
  const kit::Object* const yes_;
  const kit::Object* const no_;
  bool sortKeys_ = false;
  bool humanReadable_ = false;
};

}  // namespace tolva
