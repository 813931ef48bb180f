// The program entry: reads the command line, points kit at the program's
// resources and data, and starts the browser.

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "kit/foundation/Bundle.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/security/FileKeychainStore.h"
#include "kit/security/Keychain.h"

namespace {

struct Options {
  bool headless = false;
  bool phone = false;
  std::string url;
};

void usage(FILE* out) {
  std::fputs("usage: tolva [--headless] [--phone] [URL]\n", out);
}

// Returns false (after saying why) when the command line is not understood.
bool parse(int argc, char** argv, Options& opts) {
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "--headless") == 0) {
      opts.headless = true;
    } else if (std::strcmp(a, "--phone") == 0) {
      opts.phone = true;
    } else if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
      usage(stdout);
      std::exit(0);
    } else if (a[0] == '-' && a[1] != '\0') {
      std::fprintf(stderr, "tolva: unknown option %s\n", a);
      return false;
    } else if (!opts.url.empty()) {
      std::fprintf(stderr, "tolva: only one URL can be given\n");
      return false;
    } else {
      opts.url = a;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options opts;
  if (!parse(argc, argv, opts)) {
    usage(stderr);
    return 2;
  }

  kit::Bundle::setMainBundlePath(TOLVA_RESOURCES_DIR);
  kit::Keychain::installSharedStore(std::make_shared<kit::FileKeychainStore>(kit::Paths::keychainFile()));
  kit::UserDefaults& defaults = kit::UserDefaults::standardUserDefaults();
  // Read the settings now, so a damaged file is dealt with at start.
  size_t settings = defaults.persistentDomain()->count();

  std::printf("Tolva: data in %s, cache in %s; %zu settings, %zu keychain items\n", kit::Paths::dataRoot().c_str(),
              kit::Paths::cacheRoot().c_str(), settings, kit::Keychain::shared().items().size());
  if (!opts.headless) std::printf("Tolva: the browser's screens are not built yet.\n");
  defaults.synchronize();
  return 0;
}
