#include "widgets/skGraphics.h"

void SwapRedBlue(std::uint32_t* colors, int count)
{
    for (int i = count - 1; i >= 0; --i) {
        std::uint32_t c = colors[i];
        colors[i] = (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
    }
}
