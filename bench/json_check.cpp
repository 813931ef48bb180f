// json_check --codec fast|small FILE...
// Parses each file with one of the two JSON codecs and prints one line per
// file: "FILE ok" or "FILE error <message>". Exits 0 once the arguments made
// sense, whatever the files held.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "json/fast/JSONDecoder.h"
#include "json/small/SmallJSON.h"
#include "kit/foundation/Error.h"

namespace {

int usage() {
  std::cerr << "usage: json_check --codec fast|small FILE...\n";
  return 2;
}

bool readFile(const std::string& path, std::string& out, std::string& why) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    why = std::strerror(errno);
    return false;
  }
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad()) {
    why = "read failed";
    return false;
  }
  out = s.str();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || std::string(argv[1]) != "--codec") return usage();
  std::string codec = argv[2];
  if (codec != "fast" && codec != "small") return usage();

  auto decoder = tolva::JSONDecoder::decoder();
  auto small = kit::make<tolva::SmallJSON>();
  for (int i = 3; i < argc; ++i) {
    std::string path = argv[i], text, why;
    if (!readFile(path, text, why)) {
      std::cout << path << " error " << why << "\n";
      continue;
    }
    kit::Ref<kit::Error> error;
    kit::Ref<kit::Object> result = codec == "fast" ? decoder->objectWithUTF8String(text.data(), text.size(), &error)
                                                   : small->objectWithString(std::string_view(text), &error);
    if (result)
      std::cout << path << " ok\n";
    else
      std::cout << path << " error " << (error ? error->localizedDescription() : std::string("unknown")) << "\n";
  }
  return 0;
}
