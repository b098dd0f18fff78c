#pragma once

#include <stdint.h>

#include <string>

// 1234567 as "1,234,567", for sizes in listings and summaries.
inline std::string Grouped(uint64_t v) {
  std::string digits = std::to_string(v), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// "1 file", "2,048 files": a count with its noun in the right number.
inline std::string Count(uint64_t n, const char* one, const char* many) {
  return Grouped(n) + " " + (n == 1 ? one : many);
}
