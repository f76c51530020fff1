#pragma once
#include <string>

namespace rtl {

// printf-style formatting into a byte string ("%s" takes a const char*).
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace rtl
