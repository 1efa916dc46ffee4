#include "store/InvertText.h"

#include <cstring>

void InvertText(const char *source, std::size_t sourceWidth, char *destination, std::size_t destinationWidth)
{
    if (destinationWidth == 0)
        return;
    const std::size_t limit = sourceWidth < destinationWidth - 1 ? sourceWidth : destinationWidth - 1;
    std::size_t i = 0;
    for (; i < limit && source[i] != 0; ++i)
        destination[i] = static_cast<char>(~static_cast<unsigned char>(source[i]));
    std::memset(destination + i, 0, destinationWidth - i);
}
