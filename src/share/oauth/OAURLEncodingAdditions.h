#pragma once
// Percent-encoding as OAuth signs it: everything but the unreserved
// characters (letters, digits, "-", ".", "_", "~") is escaped as UTF-8 with
// upper-case hexadecimal, so signer and service always agree on the bytes.

#include <functional>
#include <string>
#include <string_view>

namespace tolva::OAURLEncodingAdditions {

std::string URLEncodedString(std::string_view text);
// Every escape decoded (bytes as given; "+" stays "+"); a broken escape stays as written.
std::string URLDecodedString(std::string_view text);
// Calls `pair` with the decoded name and value of each "name=value" of a form
// text split on "&", the pair split at its first "="; pairs without "=" are skipped.
void forEachFormPair(std::string_view text, const std::function<void(const std::string&, const std::string&)>& pair);

}  // namespace tolva::OAURLEncodingAdditions
