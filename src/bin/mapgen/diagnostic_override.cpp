#include "diagnostic_override.hpp"

#include "common/console.hpp"
#include "common/wrapping_int.hpp"

namespace mapgen {
namespace {

std::optional<std::int32_t> uniform_offset_of(std::string_view diagnostic, std::int32_t diag_value) {
  if (diagnostic == "zero") return 0;
  if (diagnostic == "const-pos") return quen::wrapping_abs(diag_value);
  if (diagnostic == "const-neg") {
    return quen::wrapping_neg(quen::wrapping_abs(diag_value));
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
