#pragma once
#include <cstdint>

// Swaps bytes 0 and 2 of each colour value and clears byte 3: red-green-blue
// order becomes blue-green-red order and back. A count of 0 or less does nothing.
void SwapRedBlue(std::uint32_t* colors, int count);
