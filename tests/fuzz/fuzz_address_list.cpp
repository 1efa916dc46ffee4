#include "FuzzInput.h"

#include "mail/AddressList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    ParseAddressList(QString::fromUtf8(FuzzBytes(data, size)));
    return 0;
}
