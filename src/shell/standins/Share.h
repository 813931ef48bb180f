#pragma once
// Stand-in for the sharing core: no sharers are listed yet, so logging out
// of all services has nothing to do. The real core replaces it.

namespace tolva {

class Share {
 public:
  static void logoutOfAll() {}
};

}  // namespace tolva
