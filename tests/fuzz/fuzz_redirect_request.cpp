#include "FuzzInput.h"

#include "signin/RedirectListener.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    ParseRedirectRequest(FuzzBytes(data, size));
    return 0;
}
