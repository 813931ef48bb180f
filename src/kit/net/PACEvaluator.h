#pragma once
// Runs a proxy auto-configuration script's FindProxyForURL(url, host) with the standard helper
// functions. The script engine cannot be interrupted from outside, so each evaluation runs in a
// small helper process ("tolva-pac") that is killed when the time is up.

#include <optional>
#include <string>

#include "kit/foundation/Error.h"

namespace kit {

class PACEvaluator {
 public:
  // The script's answer ("PROXY host:port; DIRECT"), or nullopt with an error (kit.net domain)
  // when the script fails, answers nothing or takes longer than `timeoutSeconds`.
  static std::optional<std::string> findProxyForURL(const std::string& script, const std::string& url,
                                                    const std::string& host, double timeoutSeconds,
                                                    Ref<Error>* error = nullptr);
  // The helper's path: $TOLVA_PAC_HELPER, else "tolva-pac" beside the running program, else the
  // one the build made.
  static std::string helperPath();
};

}  // namespace kit
