// Parse and serialize throughput of Tolva's two JSON codecs against RapidJSON
// (DOM parse, Writer), simdjson (DOM parse) and nlohmann::json, on generated
// corpora of a few MiB each and one array of 4M numbers ("bigarray"), plus
// heap allocations per parsed value.
//
// One line per case:
//   case=<corpus>/<op> tolva_fast_MBps=… tolva_small_MBps=… rapidjson_MBps=… simdjson_MBps=…
//   nlohmann_MBps=… fast_vs_rapidjson=<ratio>
// Throughput is corpus bytes per second for both operations (serializing a
// corpus's tree counts as that many bytes), best of several runs; parse
// times leave out freeing the tree. Every library is measured in several
// rounds that take turns. Then one line per corpus:
//   allocs=<corpus> values=N <lib>_new_per_value=… <lib>_heap_per_value=…
// where "new" counts operator new calls and "heap" every malloc-family call.

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "json/fast/FJDictionary.h"
#include "json/fast/FJSerializer.h"
#include "json/fast/FastJSONSerializing.h"
#include "json/fast/JSONDecoder.h"
#include "json/small/SmallJSON.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Dictionary.h"

#ifdef TOLVA_BENCH_RAPIDJSON
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#endif
#ifdef TOLVA_BENCH_SIMDJSON
#include <simdjson.h>
#endif
#ifdef TOLVA_BENCH_NLOHMANN
#include <nlohmann/json.hpp>
#endif

// ---------------------------------------------------------------------------
// Allocation counting

namespace {
size_t gNewCalls = 0;
size_t gHeapCalls = 0;
}  // namespace

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);

void* malloc(size_t n) noexcept {
  ++gHeapCalls;
  return __libc_malloc(n);
}
void* calloc(size_t a, size_t b) noexcept {
  ++gHeapCalls;
  return __libc_calloc(a, b);
}
void* realloc(void* p, size_t n) noexcept {
  ++gHeapCalls;
  return __libc_realloc(p, n);
}
void free(void* p) noexcept { __libc_free(p); }
}
#endif

namespace {
void* countedNew(size_t n) {
  ++gNewCalls;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* countedAlignedNew(size_t n, std::align_val_t a) {
  ++gNewCalls;
  size_t align = static_cast<size_t>(a);
  size_t size = (n + align - 1) / align * align;
  if (void* p = std::aligned_alloc(align, size ? size : align)) return p;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(size_t n) { return countedNew(n); }
void* operator new[](size_t n) { return countedNew(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept {
  ++gNewCalls;
  return std::malloc(n ? n : 1);
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept {
  ++gNewCalls;
  return std::malloc(n ? n : 1);
}
void* operator new(size_t n, std::align_val_t a) { return countedAlignedNew(n, a); }
void* operator new[](size_t n, std::align_val_t a) { return countedAlignedNew(n, a); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { std::free(p); }

namespace {

// ---------------------------------------------------------------------------
// Corpora

class Rng {
 public:
  explicit Rng(uint64_t seed) : s_(seed) {}
  uint64_t next() {
    s_ ^= s_ << 13;
    s_ ^= s_ >> 7;
    s_ ^= s_ << 17;
    return s_;
  }
  uint32_t below(uint32_t n) { return static_cast<uint32_t>(next() % n); }

 private:
  uint64_t s_;
};

constexpr size_t kCorpusBytes = 4 << 20;

const char* const kWords[] = {"the",   "quick", "brown",   "fox",    "jumps", "over",  "lazy",  "dog",
                              "json",  "tab",   "browser", "stream", "cache", "reply", "share", "night",
                              "river", "stone", "window",  "signal", "north", "maple", "ember", "quartz"};
const char* const kUnicode[] = {"caf\xc3\xa9", "\xe4\xb8\xad\xe6\x96\x87", "\xf0\x9f\x98\x80", "na\xc3\xafve",
                                "\xd0\xbc\xd0\xb8\xd1\x80", "\xe2\x82\xac" "5"};

std::string words(Rng& r, int n, bool unicode) {
  std::string s;
  for (int i = 0; i < n; ++i) {
    if (i) s += ' ';
    s += unicode && r.below(8) == 0 ? kUnicode[r.below(6)] : kWords[r.below(24)];
  }
  return s;
}

std::string num(uint64_t v) { return std::to_string(v); }

// A feed of posts with nested users and entities: many keys, repeated users.
std::string socialCorpus() {
  Rng r(42);
  std::vector<std::string> users;
  for (int u = 0; u < 300; ++u) {
    uint64_t id = 100000000 + r.below(900000000);
    std::string name = words(r, 2, true);
    users.push_back("{\"id\":" + num(id) + ",\"id_str\":\"" + num(id) + "\",\"name\":\"" + name +
                    "\",\"screen_name\":\"" + kWords[r.below(24)] + num(r.below(10000)) + "\",\"location\":\"" +
                    words(r, 2, false) + "\",\"description\":\"" + words(r, 12, true) +
                    "\",\"url\":null,\"protected\":false,\"followers_count\":" + num(r.below(100000)) +
                    ",\"friends_count\":" + num(r.below(5000)) + ",\"listed_count\":" + num(r.below(300)) +
                    ",\"created_at\":\"Sat Jan 22 18:39:46 +0000 2011\",\"favourites_count\":" + num(r.below(9000)) +
                    ",\"utc_offset\":-18000,\"time_zone\":\"Eastern Time (US & Canada)\",\"geo_enabled\":" +
                    (r.below(2) ? "true" : "false") + ",\"verified\":false,\"statuses_count\":" +
                    num(r.below(50000)) + ",\"lang\":\"en\",\"profile_background_color\":\"C0DEED\"," +
                    "\"profile_image_url\":\"http://a0.example.com/profile_images/" + num(r.below(99999999)) +
                    "/photo.png\",\"default_profile\":true,\"following\":null}");
  }
  std::string out = "{\"statuses\":[";
  uint64_t id = 505874924095815681ULL;
  for (int i = 0; out.size() < kCorpusBytes; ++i) {
    if (i) out += ',';
    id += 1 + r.below(1000);
    int a = static_cast<int>(r.below(60));
    out += "{\"metadata\":{\"result_type\":\"recent\",\"iso_language_code\":\"en\"},\"created_at\":\"Sun Aug 31 "
           "00:29:15 +0000 2014\",\"id\":" +
           num(id) + ",\"id_str\":\"" + num(id) + "\",\"text\":\"" + words(r, 6 + static_cast<int>(r.below(14)), true) +
           "\",\"source\":\"<a href=\\\"http://example.com/app\\\" rel=\\\"nofollow\\\">App</a>\",\"truncated\":false,"
           "\"in_reply_to_status_id\":null,\"in_reply_to_user_id\":null,\"user\":" +
           users[r.below(300)] +
           ",\"geo\":null,\"coordinates\":null,\"place\":null,\"contributors\":null,\"retweet_count\":" +
           num(r.below(500)) + ",\"favorite_count\":" + num(r.below(800)) +
           ",\"entities\":{\"hashtags\":[{\"text\":\"" + kWords[r.below(24)] + "\",\"indices\":[" + num(a) + "," +
           num(a + 6) + "]}],\"symbols\":[],\"urls\":[],\"user_mentions\":[{\"screen_name\":\"" + kWords[r.below(24)] +
           "\",\"name\":\"" + words(r, 2, false) + "\",\"id\":" + num(r.below(1000000000)) + ",\"indices\":[0," +
           num(a) + "]}]},\"favorited\":false,\"retweeted\":false,\"possibly_sensitive\":false,\"lang\":\"en\"}";
  }
  return out + "],\"search_metadata\":{\"completed_in\":0.087,\"max_id\":505874924095815681,\"count\":100}}";
}

std::string shortestDouble(double d) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, d);
  return std::string(buf, r.ptr);
}

// Polygons of coordinates with full double precision, and integer series.
std::string numericCorpus() {
  Rng r(7);
  std::string out = "{\"type\":\"FeatureCollection\",\"features\":[";
  for (int f = 0; out.size() < kCorpusBytes; ++f) {
    if (f) out += ',';
    out += "{\"type\":\"Feature\",\"properties\":{\"id\":" + num(static_cast<uint64_t>(f)) +
           ",\"counts\":[";
    for (int i = 0; i < 20; ++i) out += (i ? "," : "") + std::to_string(static_cast<int64_t>(r.below(2000000)) - 1000000);
    out += "]},\"geometry\":{\"type\":\"Polygon\",\"coordinates\":[[";
    double x = -140.0 + r.below(80000) / 1000.0, y = 40.0 + r.below(30000) / 1000.0;
    for (int p = 0; p < 200; ++p) {
      x += (static_cast<double>(r.below(2000001)) - 1000000.0) / 3.0e7;
      y += (static_cast<double>(r.below(2000001)) - 1000000.0) / 3.0e7;
      out += (p ? ",[" : "[") + shortestDouble(x) + "," + shortestDouble(y) + "]";
    }
    out += "]]}}";
  }
  return out + "]}";
}

// Unique texts full of escapes and characters beyond ASCII.
std::string stringCorpus() {
  Rng r(99);
  const char* const escapes[] = {"\\n", "\\t", "\\\"", "\\\\", "\\/", "\\u00e9", "\\u4e2d", "\\ud83d\\ude00", "\\r"};
  std::string out = "[";
  for (int i = 0; out.size() < kCorpusBytes; ++i) {
    if (i) out += ',';
    out += "\"";
    int n = 4 + static_cast<int>(r.below(40));
    for (int w = 0; w < n; ++w) {
      uint32_t k = r.below(10);
      if (k < 5)
        out += kWords[r.below(24)];
      else if (k < 8)
        out += kUnicode[r.below(6)];
      else
        out += escapes[r.below(9)];
      out += num(r.below(1000));
      out += ' ';
    }
    out += "\"";
  }
  return out + "]";
}

// Objects and arrays nested a few hundred levels deep.
std::string deepCorpus() {
  Rng r(5);
  std::string out = "[";
  for (int i = 0; out.size() < kCorpusBytes; ++i) {
    if (i) out += ',';
    int depth = 50 + static_cast<int>(r.below(140));  // pairs of levels: at most 380 deep
    for (int d = 0; d < depth; ++d) out += d % 2 ? "{\"level\":[" : "{\"node\":[";
    out += num(r.below(100000)) + ",\"leaf\",true,null";
    for (int d = 0; d < depth; ++d) out += "]}";
  }
  return out + "]";
}

// One array of 4M numbers: a single collection far larger than any corpus
// above, where the cost of collecting its children shows.
std::string bigArrayCorpus() {
  Rng r(11);
  constexpr size_t kCount = size_t{4} << 20;
  std::string out = "[";
  out.reserve(kCount * 8);
  for (size_t i = 0; i < kCount; ++i) {
    if (i) out += ',';
    out += std::to_string(static_cast<int64_t>(r.below(2000000)) - 1000000);
  }
  return out + "]";
}

// ---------------------------------------------------------------------------
// Measuring

using Clock = std::chrono::steady_clock;

// Each case is measured in several rounds that take turns with the other
// libraries, so a burst of load on a shared machine does not fall on one
// library's measurement alone; the best run of all rounds counts.
constexpr int kRounds = 4;

// Best time of a few runs; `run` returns the seconds it wants counted.
double best(const std::function<double()>& run) {
  run();  // warm up
  double bestTime = 1e30, total = 0;
  for (int i = 0; i < 200 && (i < 3 || total < 0.2); ++i) {
    double t = run();
    bestTime = std::min(bestTime, t);
    total += t;
  }
  return bestTime;
}

// The better of a time so far (-1: none yet) and a new one.
double better(double sofar, double t) { return sofar < 0 ? t : std::min(sofar, t); }

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

size_t countValues(const kit::Object* o) {
  size_t n = 1;
  if (auto* a = dynamic_cast<const kit::Array*>(o)) {
    for (size_t i = 0; i < a->count(); ++i) n += countValues(a->objectAtIndex(i));
  } else if (auto* d = dynamic_cast<const kit::Dictionary*>(o)) {
    d->enumerate([&](kit::Object*, kit::Object* v, bool&) { n += countValues(v); });
  }
  return n;
}

struct Allocs {
  double newPerValue = -1, heapPerValue = -1;
};

// Allocations of one call, per value.
Allocs countAllocs(size_t values, const std::function<void()>& parseAndKeep) {
  size_t n0 = gNewCalls, h0 = gHeapCalls;
  parseAndKeep();
  Allocs a;
  a.newPerValue = static_cast<double>(gNewCalls - n0) / static_cast<double>(values);
  a.heapPerValue = static_cast<double>(gHeapCalls - h0) / static_cast<double>(values);
  return a;
}

std::string mbps(double bytes, double secs) {
  if (secs <= 0) return "n/a";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", bytes / secs / 1e6);
  return buf;
}

std::string ratio(double a, double b) {
  if (a <= 0 || b <= 0) return "n/a";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", b / a);  // a and b are times: fast is faster when a < b
  return buf;
}

std::string perValue(double v) {
  if (v < 0) return "n/a";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f", v);
  return buf;
}

void runCorpus(const std::string& name, const std::string& text) {
  const double bytes = static_cast<double>(text.size());
  std::vector<Allocs> allocs(5);
  size_t values = 0;

  // Parse.
  double fastParse = -1, smallParse = -1, rapidParse = -1, simdParse = -1, nlohmannParse = -1;
  for (int round = 0; round < kRounds; ++round) {
  {
    kit::Ref<kit::Object> keep;
    fastParse = better(fastParse, best([&] {
      auto decoder = tolva::JSONDecoder::decoder();
      auto t0 = Clock::now();
      keep = decoder->objectWithUTF8String(text.data(), text.size());
      auto t1 = Clock::now();
      if (!keep) std::abort();
      keep = nullptr;
      return seconds(t0, t1);
    }));
    if (round == 0) {
      keep = tolva::JSONDecoder::decoder()->objectWithUTF8String(text.data(), text.size());
      values = countValues(keep.get());
      keep = nullptr;
      allocs[0] = countAllocs(values, [&] {
        auto decoder = tolva::JSONDecoder::decoder();
        keep = decoder->objectWithUTF8String(text.data(), text.size());
      });
      keep = nullptr;
    }
  }
  {
    auto small = kit::make<tolva::SmallJSON>();
    kit::Ref<kit::Object> keep;
    kit::Ref<kit::Error> error;
    if (small->objectWithString(std::string_view(text), &error)) {
      smallParse = better(smallParse, best([&] {
        auto t0 = Clock::now();
        keep = small->objectWithString(std::string_view(text), &error);
        auto t1 = Clock::now();
        keep = nullptr;
        return seconds(t0, t1);
      }));
      if (round == 0)
        allocs[1] = countAllocs(values, [&] { keep = small->objectWithString(std::string_view(text), &error); });
    }
  }
#ifdef TOLVA_BENCH_RAPIDJSON
  {
    rapidParse = better(rapidParse, best([&] {
      rapidjson::Document doc;
      auto t0 = Clock::now();
      doc.Parse(text.data(), text.size());
      auto t1 = Clock::now();
      if (doc.HasParseError()) std::abort();
      return seconds(t0, t1);
    }));
    rapidjson::Document keep;
    if (round == 0) allocs[2] = countAllocs(values, [&] { keep.Parse(text.data(), text.size()); });
  }
#endif
#ifdef TOLVA_BENCH_SIMDJSON
  {
    simdjson::padded_string padded(text);
    simdjson::dom::parser parser;
    simdParse = better(simdParse, best([&] {
      auto t0 = Clock::now();
      simdjson::dom::element doc;
      auto err = parser.parse(padded).get(doc);
      auto t1 = Clock::now();
      if (err) std::abort();
      return seconds(t0, t1);
    }));
    simdjson::dom::parser fresh;
    if (round == 0) {
      allocs[3] = countAllocs(values, [&] {
        simdjson::dom::element doc;
        if (fresh.parse(padded).get(doc)) std::abort();
      });
    }
  }
#endif
#ifdef TOLVA_BENCH_NLOHMANN
  {
    nlohmannParse = better(nlohmannParse, best([&] {
      auto t0 = Clock::now();
      nlohmann::json doc = nlohmann::json::parse(text.begin(), text.end());
      auto t1 = Clock::now();
      return seconds(t0, t1);
    }));
    nlohmann::json keep;
    if (round == 0) allocs[4] = countAllocs(values, [&] { keep = nlohmann::json::parse(text.begin(), text.end()); });
  }
#endif
  }
  std::printf("case=%s/parse tolva_fast_MBps=%s tolva_small_MBps=%s rapidjson_MBps=%s simdjson_MBps=%s "
              "nlohmann_MBps=%s fast_vs_rapidjson=%s\n",
              name.c_str(), mbps(bytes, fastParse).c_str(), mbps(bytes, smallParse).c_str(),
              mbps(bytes, rapidParse).c_str(), mbps(bytes, simdParse).c_str(), mbps(bytes, nlohmannParse).c_str(),
              ratio(fastParse, rapidParse).c_str());
  std::fflush(stdout);

  // Serialize, each library its own tree.
  double fastWrite = -1, smallWrite = -1, rapidWrite = -1, nlohmannWrite = -1;
  for (int round = 0; round < kRounds; ++round) {
  {
    auto decoder = tolva::JSONDecoder::decoder();
    kit::Ref<kit::Object> tree = decoder->objectWithUTF8String(text.data(), text.size());
    fastWrite = better(fastWrite, best([&] {
      auto t0 = Clock::now();
      kit::Ref<kit::Object> out = tolva::FJSerializer::serializeObject(
          tree.get(), 0, tolva::FJEncodeOptionToData | tolva::FJEncodeOptionCollectionObj, {}, nullptr, {}, nullptr);
      auto t1 = Clock::now();
      if (!out) std::abort();
      return seconds(t0, t1);
    }));
  }
  {
    auto small = kit::make<tolva::SmallJSON>();
    kit::Ref<kit::Error> error;
    kit::Ref<kit::Object> tree = small->objectWithString(std::string_view(text), &error);
    if (tree) {
      smallWrite = better(smallWrite, best([&] {
        auto t0 = Clock::now();
        auto out = small->stringWithObject(tree.get(), &error);
        auto t1 = Clock::now();
        if (!out) std::abort();
        return seconds(t0, t1);
      }));
    }
  }
#ifdef TOLVA_BENCH_RAPIDJSON
  {
    rapidjson::Document doc;
    doc.Parse(text.data(), text.size());
    rapidWrite = better(rapidWrite, best([&] {
      auto t0 = Clock::now();
      rapidjson::StringBuffer buffer;
      rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
      doc.Accept(writer);
      auto t1 = Clock::now();
      if (buffer.GetSize() == 0) std::abort();
      return seconds(t0, t1);
    }));
  }
#endif
#ifdef TOLVA_BENCH_NLOHMANN
  {
    nlohmann::json doc = nlohmann::json::parse(text.begin(), text.end());
    nlohmannWrite = better(nlohmannWrite, best([&] {
      auto t0 = Clock::now();
      std::string out = doc.dump();
      auto t1 = Clock::now();
      if (out.empty()) std::abort();
      return seconds(t0, t1);
    }));
  }
#endif
  }
  std::printf("case=%s/serialize tolva_fast_MBps=%s tolva_small_MBps=%s rapidjson_MBps=%s simdjson_MBps=n/a "
              "nlohmann_MBps=%s fast_vs_rapidjson=%s\n",
              name.c_str(), mbps(bytes, fastWrite).c_str(), mbps(bytes, smallWrite).c_str(),
              mbps(bytes, rapidWrite).c_str(), mbps(bytes, nlohmannWrite).c_str(), ratio(fastWrite, rapidWrite).c_str());

  const char* libs[] = {"tolva_fast", "tolva_small", "rapidjson", "simdjson", "nlohmann"};
  std::printf("allocs=%s values=%zu", name.c_str(), values);
  for (int i = 0; i < 5; ++i)
    std::printf(" %s_new_per_value=%s %s_heap_per_value=%s", libs[i], perValue(allocs[i].newPerValue).c_str(), libs[i],
                perValue(allocs[i].heapPerValue).c_str());
  std::printf("\n");
  std::fflush(stdout);
}

// One object of 100,000 keys whose homes all fall in the first few slots of
// its table (found by trying names against the decoder's own hash), against
// one of as many ordinary keys. Crafted keys would pile up in one chain; the
// table then takes a key of its own, so the parse stays near-linear. Prints
//   case=collisions keys=N ordinary_ms=… crafted_ms=… ratio=<crafted/ordinary>
// (target: ratio <= 3).
void runCollisions() {
  constexpr size_t kKeys = 100000;
  const size_t capacity = tolva::FJDictionary::capacityForCount(kKeys);
  auto object = [&](bool crafted) {
    std::string doc = "{";
    size_t made = 0;
    for (size_t i = 0; made < kKeys; ++i) {
      std::string key = "key" + std::to_string(i);
      if (crafted && tolva::FJDictionary::hashForString(key) % capacity >= 4096) continue;
      doc += (made ? ",\"" : "\"") + key + "\":" + std::to_string(made);
      ++made;
    }
    return doc + "}";
  };
  const std::string ordinary = object(false), crafted = object(true);
  auto parseTime = [](const std::string& text) {
    return best([&] {
      auto decoder = tolva::JSONDecoder::decoder();
      Clock::time_point t0 = Clock::now();
      kit::Ref<kit::Object> value = decoder->objectWithUTF8String(text.data(), text.size());
      Clock::time_point t1 = Clock::now();
      if (!value) std::abort();
      return seconds(t0, t1);
    });
  };
  const double a = parseTime(ordinary), b = parseTime(crafted);
  std::printf("case=collisions keys=%zu ordinary_ms=%.2f crafted_ms=%.2f ratio=%.2f\n", kKeys, a * 1e3, b * 1e3,
              b / a);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  // Optional corpus names to run: social numeric strings deep bigarray collisions (default: all).
  // "--write-corpora DIR" writes them as DIR/<name>.json instead.
  std::string writeTo;
  if (argc >= 3 && std::string(argv[1]) == "--write-corpora") {
    writeTo = argv[2];
    argc = 1;
  }
  std::vector<std::string> only(argv + 1, argv + argc);
  auto wanted = [&](const char* n) { return only.empty() || std::find(only.begin(), only.end(), n) != only.end(); };
  struct Corpus {
    const char* name;
    std::string (*make)();
  } corpora[] = {{"social", socialCorpus}, {"numeric", numericCorpus}, {"strings", stringCorpus}, {"deep", deepCorpus},
                 {"bigarray", bigArrayCorpus}};
  for (auto& c : corpora) {
    if (!wanted(c.name)) continue;
    std::string text = c.make();
    if (!writeTo.empty()) {
      std::string path = writeTo + "/" + c.name + ".json";
      FILE* f = std::fopen(path.c_str(), "wb");
      if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0) {
        std::perror(path.c_str());
        return 1;
      }
      continue;
    }
    runCorpus(c.name, text);
  }
  if (writeTo.empty() && wanted("collisions")) runCollisions();
  return 0;
}
