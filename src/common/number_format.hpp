#pragma once
// Number texts of the console reports that {fmt} has no format for.

#include <span>
#include <string>

namespace quen {

// The shortest decimal that reads back as the same 32-bit float (the digits
// nearest the float when several are equally short). Scientific when the
// magnitude is at least 1e16 or below 1e-4 but not zero ("1e16", "1.5e-5",
// "9.536743e-7"); positional otherwise, with at least one digit after the
// point ("0.0", "12.5", "123456790.0"). NaN is "NaN", infinities "inf"/"-inf".
std::string shortest_float(float value);

// "[a, b, c]" with each value as shortest_float writes it; "[]" when empty.
std::string float_list(std::span<const float> values);

}  // namespace quen
