#pragma once
// Number text for the fast serializer: a double as printf's "%.17g" would
// write it in the C locale, done with integer arithmetic for the magnitudes
// JSON mostly carries and with std::to_chars for the rest.

#include <cstddef>

namespace tolva::FJNumberFormat {

// Writes a finite double into out (at least 32 bytes) and returns the end.
char* formatDouble(double value, char* out) noexcept;

}  // namespace tolva::FJNumberFormat
