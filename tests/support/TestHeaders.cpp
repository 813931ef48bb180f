#include "support/TestHeaders.h"

#include <algorithm>
#include <cctype>

namespace tolvatest {
namespace {

bool isTokenChar(unsigned char c) {
  if (std::isalnum(c)) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(char(c)) != std::string_view::npos;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

TestHeaders::TestHeaders(std::initializer_list<Field> fields) : fields_(fields) {}

bool TestHeaders::equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

TestHeaders& TestHeaders::add(std::string name, std::string value) {
  fields_.emplace_back(std::move(name), std::move(value));
  return *this;
}

TestHeaders& TestHeaders::set(const std::string& name, std::string value) {
  remove(name);
  fields_.emplace_back(name, std::move(value));
  return *this;
}

void TestHeaders::remove(const std::string& name) {
  std::erase_if(fields_, [&](const Field& f) { return equalsIgnoringCase(f.first, name); });
}

bool TestHeaders::has(const std::string& name) const { return get(name).has_value(); }

std::optional<std::string> TestHeaders::get(const std::string& name) const {
  for (const Field& f : fields_)
    if (equalsIgnoringCase(f.first, name)) return f.second;
  return std::nullopt;
}

std::string TestHeaders::value(const std::string& name) const { return get(name).value_or(std::string()); }

std::vector<std::string> TestHeaders::all(const std::string& name) const {
  std::vector<std::string> out;
  for (const Field& f : fields_)
    if (equalsIgnoringCase(f.first, name)) out.push_back(f.second);
  return out;
}

bool TestHeaders::hasToken(const std::string& name, std::string_view token) const {
  for (const Field& f : fields_) {
    if (!equalsIgnoringCase(f.first, name)) continue;
    std::string_view rest = f.second;
    while (!rest.empty()) {
      size_t comma = rest.find(',');
      std::string_view item = trim(rest.substr(0, comma));
      if (equalsIgnoringCase(item, token)) return true;
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 1);
    }
  }
  return false;
}

std::string TestHeaders::serialize() const {
  std::string out;
  for (const Field& f : fields_) {
    out += f.first;
    out += ": ";
    out += f.second;
    out += "\r\n";
  }
  return out;
}

bool TestHeaders::parse(std::string_view lines, TestHeaders& out) {
  out.fields_.clear();
  while (!lines.empty()) {
    size_t end = lines.find("\r\n");
    std::string_view line = lines.substr(0, end);
    lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 2);
    if (line.find('\r') != std::string_view::npos || line.find('\n') != std::string_view::npos) return false;
    if (line.empty() || line.front() == ' ' || line.front() == '\t') return false;  // empty or folded
    size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    std::string_view name = line.substr(0, colon);
    if (!std::all_of(name.begin(), name.end(), [](char c) { return isTokenChar(static_cast<unsigned char>(c)); }))
      return false;
    out.fields_.emplace_back(std::string(name), std::string(trim(line.substr(colon + 1))));
  }
  return true;
}

}  // namespace tolvatest
