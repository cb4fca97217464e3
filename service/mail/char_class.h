#pragma once

// The character classes of the mail parser, for the 128 ASCII codes; bytes of 128 and
// above belong to no class.
namespace vz::mail {

// Tab, line feed, vertical tab, form feed, carriage return, blank.
bool isSpaceClass(char c);
// "0" to "9" and "A" to "F" (upper case only).
bool isHexDigitClass(char c);
// ( ) " , . : ; < = > @ [ \ ]
bool isSpecialClass(char c);

} // namespace vz::mail
