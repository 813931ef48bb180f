#pragma once
// Stand-in for the ad-block request hook: installing it is recorded, and
// requests pass unchanged. The real hook (cache-only requests for blocked
// URLs) replaces it.

namespace tolva::MyURLRequest {

void setupAdblockFilter();
// Whether setupAdblockFilter() ran.
bool isAdblockFilterInstalled();

}  // namespace tolva::MyURLRequest
