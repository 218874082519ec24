#pragma once
// The diagnostic overrides of the map: a uniform offset in place of the
// analysis, and the inversion of every offset's sign.

#include <cstdint>
#include <optional>
#include <string_view>

namespace mapgen {

// "zero", "const-pos" and "const-neg" (exact, case-sensitive) select a uniform
// offset and print its notice; any other text selects none and prints nothing.
std::optional<std::int32_t> resolve_uniform_offset(std::string_view diagnostic, std::int32_t diag_value);

void print_sign_inversion_notice();

}  // namespace mapgen
