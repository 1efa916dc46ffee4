#include "store/StoredPassword.h"

#include "store/InvertText.h"
#include "store/TextField.h"

void RecoverPassword(const std::array<char, 128> &stored, std::array<char, 128> &clear)
{
    InvertText(stored, clear);
    RecodeTextFieldAsUtf8(clear.data(), clear.size());
}
