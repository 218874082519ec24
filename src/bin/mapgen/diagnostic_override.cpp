#include "diagnostic_override.hpp"

#include "common/console.hpp"

namespace mapgen {
namespace {

// |v| in wrapping 32-bit arithmetic: |-2147483648| stays -2147483648.
std::int32_t wrapping_abs(std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  return static_cast<std::int32_t>(v < 0 ? 0u - u : u);
}

std::optional<std::int32_t> uniform_offset_of(std::string_view diagnostic, std::int32_t diag_value) {
  if (diagnostic == "zero") return 0;
  if (diagnostic == "const-pos") return wrapping_abs(diag_value);
  if (diagnostic == "const-neg") {
    return static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(wrapping_abs(diag_value)));
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::int32_t> resolve_uniform_offset(std::string_view diagnostic, std::int32_t diag_value) {
  const auto offset = uniform_offset_of(diagnostic, diag_value);
  if (offset) quen::eprint("\n[DIAGNOSTIC] uniform ROI offset = {} (QuenMAP signal overridden)\n", *offset);
  return offset;
}

void print_sign_inversion_notice() {
  quen::eprint("\n[DIAGNOSTIC] sign inversion ON (positive ↔ negative)\n");
}

}  // namespace mapgen
