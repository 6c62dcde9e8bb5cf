#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The user's language as the C library's locale settings give it: LC_ALL, then LC_MESSAGES, then
// the system's default locale (/etc/default/locale or /etc/locale.conf); reduced to "ll_CC" (or
// "ll"); "C" when none.
std::string DetectSystemLanguage();

// Same decision from explicit inputs. Empty values count as unset.
std::string SystemLanguageFrom(std::string_view lcAll, std::string_view lcMessages,
                               std::string_view systemDefaultLocale);

// A locale name without its code set and modifier ("de_DE.UTF-8@euro" -> "de_DE"); "POSIX" -> "C".
std::string LanguageOfLocaleName(std::string_view localeName);

// The locale the system sets by default, from the text of /etc/default/locale: LC_ALL, else
// LC_MESSAGES, else LANG; quotes removed. Empty when none is set.
std::string DefaultLocaleFromConfig(std::string_view configText);

// Windows locale identifiers and the catalogue directory each names: Windows gives the user's
// language as such an identifier (GetUserDefaultLCID), not as an ISO name. Linux never asks this
// table; the Windows build does. These are directory names as shipped, not corrected ISO codes.
struct TLocaleIdLanguage
{
    uint32_t LocaleId;
    std::string_view Code;
};
std::span<const TLocaleIdLanguage> WindowsLocaleIdTable();

// The table's code for localeId, or "C" for an identifier not in it.
std::string LanguageOfWindowsLocaleId(uint32_t localeId);
