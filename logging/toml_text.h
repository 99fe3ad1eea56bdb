#pragma once
// Writes a settings document as TOML text that reads back as the same names and values. The
// TOML library's own writer quotes some names wrongly (a name with ' or a control character
// comes back as another name, or makes the whole file unparsable), so names and texts are
// written here; numbers, booleans and dates are left to the library.
//
// Top-level tables become sections; anything deeper is written inline. Every text in the
// document must be valid UTF-8, as parsed documents and checked texts are.

#include <string>

#include <toml++/toml.h>

namespace toml_text {

std::string Document(const toml::table& root);

}  // namespace toml_text
