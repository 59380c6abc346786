#pragma once
// Numbers as the system writes and reads them.
#include <cstdint>

#include "text/text.h"

namespace tovak::text {

Text IntegerText(int64_t value);
// At most 13 significant digits in general format ("%.13g").
Text NumberText(double value);
// Half away from zero after adding 1e-12 to the scaled magnitude.
double RoundTo(double value, int decimals);
// Full-width digits and signs count as ASCII; leading white space is skipped; an optional sign;
// decimal digits up to the first other character; no digits gives 0. Saturates at the 64-bit range.
int64_t TextToInt64(const Text& text);

}  // namespace tovak::text
