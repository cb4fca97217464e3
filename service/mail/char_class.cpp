#include "service/mail/char_class.h"

namespace vz::mail {

bool isSpaceClass(char c)
{
    return c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == ' ';
}

bool isHexDigitClass(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

bool isSpecialClass(char c)
{
    switch (c) {
    case '(': case ')': case '"': case ',': case '.': case ':': case ';':
    case '<': case '=': case '>': case '@': case '[': case '\\': case ']':
        return true;
    default:
        return false;
    }
}

} // namespace vz::mail
