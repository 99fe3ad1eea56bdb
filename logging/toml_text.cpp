#include "logging/toml_text.h"

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string_view>

namespace toml_text {

namespace {

bool IsBareKey(std::string_view key) {
  return !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '_' || c == '-';
  });
}

// A basic string: every byte as it is but for the quote, the backslash and control
// characters, which TOML allows only escaped.
void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned char>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

void AppendKey(std::string& out, std::string_view key) {
  if (IsBareKey(key))
    out += key;
  else
    AppendQuoted(out, key);
}

void AppendValue(std::string& out, const toml::node& node);

void AppendInlineTable(std::string& out, const toml::table& table) {
  out += '{';
  const char* separator = " ";
  for (const auto& [key, value] : table) {
    out += separator;
    AppendKey(out, key.str());
    out += " = ";
    AppendValue(out, value);
    separator = ", ";
  }
  out += table.empty() ? "}" : " }";
}

void AppendValue(std::string& out, const toml::node& node) {
  if (const auto* text = node.as_string()) return AppendQuoted(out, text->get());
  if (const auto* table = node.as_table()) return AppendInlineTable(out, *table);
  if (const auto* array = node.as_array()) {
    out += '[';
    const char* separator = "";
    for (const toml::node& element : *array) {
      out += separator;
      AppendValue(out, element);
      separator = ", ";
    }
    out += ']';
    return;
  }
  std::ostringstream plain;  // numbers, booleans, dates and times hold no names or texts
  node.visit([&plain](const auto& value) { plain << value; });
  out += plain.str();
}

void AppendEntry(std::string& out, std::string_view key, const toml::node& value) {
  AppendKey(out, key);
  out += " = ";
  AppendValue(out, value);
  out += '\n';
}

}  // namespace

std::string Document(const toml::table& root) {
  std::string out;
  // Plain values first: after a section header they would belong to that section.
  for (const auto& [key, node] : root)
    if (!node.is_table()) AppendEntry(out, key.str(), node);
  for (const auto& [key, node] : root) {
    const toml::table* section = node.as_table();
    if (section == nullptr) continue;
    if (!out.empty()) out += '\n';
    out += '[';
    AppendKey(out, key.str());
    out += "]\n";
    for (const auto& [name, value] : *section) AppendEntry(out, name.str(), value);
  }
  return out;
}

}  // namespace toml_text
