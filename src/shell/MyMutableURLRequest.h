#pragma once
// Stand-in for the user-agent override: installing it is recorded, and
// headers pass unchanged. The real override (the chosen user-agent string
// in every "User-Agent" header) replaces it.

namespace tolva::MyMutableURLRequest {

void setupUserAgentOverwrite();
// Whether setupUserAgentOverwrite() ran.
bool isUserAgentOverwriteInstalled();

}  // namespace tolva::MyMutableURLRequest
