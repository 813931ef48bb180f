// The program entry: reads the command line, points kit at the program's
// resources and data, builds the main window and its application delegate
// from the main interface file and runs the start-up sequence.

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "http/HttpAuthenticationDialog.h"
#include "kit/foundation/Bundle.h"
#include "kit/foundation/ClassRegistry.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/URL.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/gtk/Backend.h"
#include "kit/net/BackgroundWork.h"
#include "kit/net/HTTPURLResponse.h"
#include "kit/net/URLConnection.h"
#include "kit/security/FileKeychainStore.h"
#include "kit/security/Keychain.h"
#include "kit/ui/Application.h"
#include "kit/ui/Device.h"
#include "kit/ui/HeadlessWebView.h"
#include "kit/ui/InterfaceFile.h"
#include "kit/ui/Window.h"
#include "data/VeskFaviconDatabase.h"
#include "share/core/Share.h"
#include "shell/ShellRegistration.h"
#include "shell/VeskMultiTabView.h"
#include "shell/VeskWebAppDelegate.h"
#include "shell/VeskWebView.h"

namespace {

struct Options {
  bool headless = false;
  bool phone = false;
  std::string url;
};

void usage(FILE* out) { std::fputs("usage: tolva [--headless] [--phone] [URL]\n", out); }

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

// Text from pages and stored tabs as it may go to a terminal: control characters
// (C1 ones too) are written as \xNN, so a page cannot send escape sequences.
std::string printable(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    bool c1 = c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
              static_cast<unsigned char>(text[i + 1]) <= 0x9F;
    if (c >= 0x20 && c != 0x7F && !c1) {
      out += static_cast<char>(c);
      continue;
    }
    if (c1) c = static_cast<unsigned char>(text[++i]);
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02X", c);
    out += buf;
  }
  return out;
}

// What the pages are loading, for the console.
void reportPages(tolva::VeskWebAppDelegate& delegate) {
  tolva::VeskWebViewController* main = delegate.viewController();
  if (!main || !main->multiTab()) return;
  for (const kit::Ref<tolva::VeskWebView>& page : main->multiTab()->tabs()) {
    kit::WebView* web = page->existingWebView();
    kit::URLRequest* request = web ? web->request() : nullptr;
    std::string where = request && request->url() ? request->url()->absoluteString()
                                                  : page->location() + " (not loaded yet)";
    std::printf("Tolva: tab %s\n", printable(where).c_str());
  }
}

// The text of the page's <title>, or "".
std::string titleOf(std::string_view html) {
  std::string lower(html);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  size_t open = lower.find("<title");
  if (open == std::string::npos) return {};
  size_t start = lower.find('>', open);
  size_t end = start == std::string::npos ? start : lower.find("</title", start);
  if (end == std::string::npos) return {};
  return std::string(html.substr(start + 1, end - start - 1));
}

// Headless, nothing renders pages: the page the user named is fetched here
// and its load played to the page view, so the whole road from request to
// finished page runs. Only the named page: the home page is never fetched.
void loadNamedPage(tolva::VeskWebAppDelegate& delegate) {
  tolva::VeskWebViewController* main = delegate.viewController();
  tolva::VeskWebView* page = main && main->multiTab() ? main->multiTab()->curView() : nullptr;
  auto* web = page ? dynamic_cast<kit::HeadlessWebView*>(page->existingWebView()) : nullptr;
  kit::URLRequest* request = web ? web->request() : nullptr;
  if (!request || !request->url()) return;
  std::string url = request->url()->absoluteString();
  web->fireDidStart();
  kit::Ref<kit::URLResponse> response;
  kit::Ref<kit::Error> error;
  kit::Ref<kit::Data> body = kit::URLConnection::sendSynchronousRequest(*request, &response, &error);
  if (!body) {
    std::printf("Tolva: could not load %s: %s\n", printable(url).c_str(),
                printable(error ? error->localizedDescription() : "unknown error").c_str());
    web->fireDidFail(error.get());
    return;
  }
  auto* http = kit::cast<kit::HTTPURLResponse>(response);
  web->setScriptAnswer("document.title", titleOf(body->view()));
  web->fireDidFinish();
  std::printf("Tolva: loaded %s (HTTP %d, %zu bytes, title \"%s\")\n", printable(url).c_str(),
              http ? http->statusCode() : 0, body->length(), printable(page->getTitle()).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  // Some libraries write to sockets with write(2) (the note service's TLS
  // client through OpenSSL): a peer that hung up must fail that one call,
  // not end the program with SIGPIPE.
  std::signal(SIGPIPE, SIG_IGN);
  Options opts;
  if (!parse(argc, argv, opts)) {
    usage(stderr);
    return 2;
  }
  kit::Ref<kit::URL> launchURL;
  if (!opts.url.empty()) {
    launchURL = kit::URL::lenientURLWithString(opts.url);
    if (!launchURL) {
      std::fprintf(stderr, "tolva: not a URL: %s\n", opts.url.c_str());
      usage(stderr);
      return 2;
    }
  }

  kit::Bundle::setMainBundlePath(TOLVA_RESOURCES_DIR);
  kit::Keychain::installSharedStore(std::make_shared<kit::FileKeychainStore>(kit::Paths::keychainFile()));
  kit::UserDefaults& defaults = kit::UserDefaults::standardUserDefaults();
  // Read the settings now, so a damaged file is dealt with at start.
  size_t settings = defaults.persistentDomain()->count();
  // Tab state and settings change often; a short coalescing delay keeps them
  // safe from a crash without writing the file on every change.
  defaults.setAutosaveDelay(1.0);
  std::printf("Tolva: data in %s, cache in %s; %zu settings, %zu keychain items\n", kit::Paths::dataRoot().c_str(),
              kit::Paths::cacheRoot().c_str(), settings, kit::Keychain::shared().items().size());

  if (!opts.headless && !kit::gtk::Backend::install(&argc, &argv, "Tolva")) {
    std::fprintf(stderr, "tolva: cannot open a display (use --headless to run without one)\n");
    return 1;
  }
  // Only a window somebody sees can answer a login question.
  tolva::HttpAuthenticationDialog::setCanBeAnswered(!opts.headless);
  kit::Device::currentDevice().setUserInterfaceIdiom(opts.phone ? kit::UserInterfaceIdiom::Phone
                                                                : kit::UserInterfaceIdiom::Pad);
  tolva::registerShellInterfaceFiles();
  tolva::registerShellClasses(kit::ClassRegistry::shared());

  // The main interface file makes the window and the application delegate;
  // the objects it answers are kept for the life of the program.
  kit::Application* app = kit::Application::sharedApplication();
  std::vector<kit::Ref<kit::Object>> mainObjects = kit::InterfaceFile::load("MainWindow", app);
  auto* delegate = dynamic_cast<tolva::VeskWebAppDelegate*>(app->delegate());
  if (!delegate) {
    std::fprintf(stderr, "tolva: the main interface file made no application delegate\n");
    return 1;
  }

  kit::Ref<kit::Dictionary> launchOptions;
  if (launchURL)
    launchOptions =
        kit::Ref<kit::Dictionary>(new kit::Dictionary({{kit::Application::kLaunchOptionsURLKey, launchURL}}));
  bool launched = app->launch(launchOptions);
  kit::RunLoop::main().drain();
  if (launchURL) loadNamedPage(*delegate);

  kit::Window* window = delegate->window();
  bool started =
      launched && delegate->viewController() && ((window && !window->isHidden()) || delegate->bPasscodeVisible());
  reportPages(*delegate);
  std::printf("Tolva: start-up %s\n", started ? "complete" : "failed");

  int status = started ? 0 : 1;
  if (!opts.headless && started) status = kit::gtk::Backend::run();
  app->terminate();
  defaults.synchronize();
  // Work on other threads (icon, image and suggestion fetches, the share
  // queue's replays, note-service calls) may not still be using the network
  // and the stores while the exit takes them down: nothing new starts, what
  // waits is dropped, what runs is cancelled, and the wait is bounded.
  kit::BackgroundWork::stop(0);
  tolva::Share::stopOfflineReplays();
  tolva::VeskFaviconDatabase::stopFetches();
  kit::BackgroundWork::stop();
  return status;
}
