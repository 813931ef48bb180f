// Replays the offline queue of $TOLVA_HOME with the test sharer, on the
// real clock, and exits when every replay has ended. Each send is appended
// to the log file (flushed to disk) and announced on standard output
// ("sent <title>"); with a hang position, that send never reports, so the
// test can kill the program while the share is in flight.
//
//   share_replay_helper LOG [HANG_AT]

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "kit/foundation/Bundle.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/RunLoop.h"
#include "kit/net/ReachabilityManualSource.h"
#include "kit/security/Keychain.h"
#include "kit/security/MemoryKeychainStore.h"
#include "share/core/Share.h"
#include "share/core/ShareConfiguration.h"
#include "share/support/ShareTestSharer.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: share_replay_helper LOG [HANG_AT]\n");
    return 2;
  }
  const std::string log = argv[1];
  const int hangAt = argc > 2 ? std::atoi(argv[2]) : 0;

  kit::Paths::reset();
  kit::Bundle::setMainBundlePath(TOLVA_RESOURCES_DIR);
  kit::Keychain::installSharedStore(std::make_shared<kit::MemoryKeychainStore>());
  kit::ReachabilityFlagSource::setFactory([](const kit::ReachabilityFlagSource::Target& t) {
    return kit::Ref<kit::ReachabilityFlagSource>(kit::make<kit::ReachabilityManualSource>(t));
  });
  tolva::ShareConfiguration::sharedInstanceWithConfigurator(kit::make<tolva::DefaultShareConfigurator>());
  sharetest::ShareTestSharer::registerClass();

  sharetest::TestSharerScript& script = sharetest::TestSharerScript::shared();
  script.requiresAuthentication = false;
  script.delay = 0;
  for (int i = 1; i < hangAt; ++i) script.outcomes.push_back(sharetest::Outcome::Success);
  if (hangAt > 0) script.outcomes.push_back(sharetest::Outcome::NoReport);
  script.onSend = [log](tolva::ShareSharer& sharer) {
    const std::string line = sharer.item()->title() + "\n";
    int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd >= 0) {
      (void)!::write(fd, line.data(), line.size());
      ::fsync(fd);
      ::close(fd);
    }
    std::printf("sent %s", line.c_str());
    std::fflush(stdout);
  };

  tolva::Share::flushOfflineQueue();
  kit::OperationQueue* queue = tolva::Share::currentHelper()->offlineQueue();
  bool done = kit::RunLoop::main().runUntil([queue] { return !queue || queue->operationCount() == 0; }, 60);
  return done ? 0 : 1;
}
