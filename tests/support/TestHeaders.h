#pragma once
// An ordered list of HTTP header fields with case-insensitive look-up, as the
// loopback servers and the test client read and write them.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tolvatest {

class TestHeaders {
 public:
  using Field = std::pair<std::string, std::string>;

  TestHeaders() = default;
  TestHeaders(std::initializer_list<Field> fields);

  // Appends a field; repeated names are kept in order (Set-Cookie).
  TestHeaders& add(std::string name, std::string value);
  // Replaces every field of that name with one.
  TestHeaders& set(const std::string& name, std::string value);
  void remove(const std::string& name);

  bool has(const std::string& name) const;
  std::optional<std::string> get(const std::string& name) const;
  // The first value, or "" when absent.
  std::string value(const std::string& name) const;
  std::vector<std::string> all(const std::string& name) const;
  // Whether a comma-separated field (Connection, Transfer-Encoding) lists the token.
  bool hasToken(const std::string& name, std::string_view token) const;

  const std::vector<Field>& fields() const { return fields_; }
  size_t size() const { return fields_.size(); }
  bool empty() const { return fields_.empty(); }

  // "Name: value\r\n" for each field.
  std::string serialize() const;
  // Parses CRLF-separated "Name: value" lines (no start line, no final blank
  // line). Rejects folded lines, empty or invalid names and bare CR or LF.
  static bool parse(std::string_view lines, TestHeaders& out);

  static bool equalsIgnoringCase(std::string_view a, std::string_view b);

 private:
  std::vector<Field> fields_;
};

}  // namespace tolvatest
