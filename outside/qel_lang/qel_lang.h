/* The language manager: user-visible texts by key, in the language chosen at
 * start-up. Texts are zero-terminated UTF-16; handles are opaque 32-bit values;
 * language indexes are 0-based. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t QelLangHandle;

/* Reads every catalog "<prefix>*.lng" of the folder. Never 0. */
QelLangHandle qelLangMan_create(const char16_t* folder, const char16_t* prefix, uint32_t reserved);
int32_t qelLangMan_getLangCount(QelLangHandle handle);
/* The catalog's English language name, English variant (country) name and language
 * ID ("de-de"); an empty text for an index out of range. Valid for the run. */
const char16_t* qelLangMan_getEnglishLangName(QelLangHandle handle, int32_t index);
const char16_t* qelLangMan_getEnglishSubLangName(QelLangHandle handle, int32_t index);
const char16_t* qelLangMan_getLangID(QelLangHandle handle, int32_t index);
/* Index of the language whose ID matches without regard to case, or -1. */
int32_t qelLangMan_findLangWithMatchingID(QelLangHandle handle, const char16_t* id);
/* 0 on success, -1 for an index out of range. */
int32_t qelLangMan_setCurrentLang(QelLangHandle handle, int32_t index);
/* Never null: the key's text in the current language, else the default itself. */
const char16_t* qelLangMan_getLocalString(QelLangHandle handle, const char16_t* key, const char16_t* defaultText);

#ifdef __cplusplus
}
#endif
