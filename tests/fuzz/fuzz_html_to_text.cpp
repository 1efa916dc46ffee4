#include "FuzzInput.h"

#include "mail/HtmlToText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    HtmlToText(QString::fromUtf8(FuzzBytes(data, size)));
    return 0;
}
