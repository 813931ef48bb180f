#pragma once
// A request's parameters: its query for GET and DELETE, its form body otherwise.

#include <optional>
#include <vector>

#include "kit/net/URLRequest.h"
#include "share/oauth/OARequestParameter.h"

namespace tolva::OAParameterAdditions {

// Nullopt when the query or body is missing or empty.
std::optional<std::vector<OARequestParameter>> parameters(const kit::URLRequest& request);
// Writes the encoded pairs as the query (GET, DELETE) or as a form body with
// its Content-Length and Content-Type.
void setParameters(kit::URLRequest& request, const std::vector<OARequestParameter>& parameters);

}  // namespace tolva::OAParameterAdditions
