#include "i18n/SystemLanguage.h"

#include <array>
#include <sstream>

namespace {

constexpr std::array<TLocaleIdLanguage, 25> LocaleIdTable{{
    {1030, "da_DK"}, {1031, "de_DE"}, {1032, "gr_GR"}, {1033, "en_US"}, {1034, "es_ES"},
    {1035, "fi_FI"}, {1036, "fr_FR"}, {1039, "is_IS"}, {1040, "it_IT"}, {1042, "ko_KO"},
    {1043, "nl_NL"}, {1044, "no_NO"}, {1045, "pl_PL"}, {1046, "pt_BR"}, {1049, "ru_RU"},
    {1053, "sv_SE"}, {2057, "en_UK"}, {2060, "fr_BE"}, {2067, "nl_BE"}, {2068, "nn_NO"},
    {2070, "pt_PT"}, {2077, "fi_SE"}, {3082, "es_ES"}, {3084, "fr_CA"}, {4103, "de_LU"},
}};

std::string_view Unquoted(std::string_view value)
{
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ' || value.back() == '\t'))
        value.remove_suffix(1);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

} // namespace

std::string LanguageOfLocaleName(std::string_view localeName)
{
    const auto cut = localeName.find_first_of(".@");
    std::string_view language = localeName.substr(0, cut);
    if (language == "POSIX") return "C";
    return std::string(language);
}

std::string DefaultLocaleFromConfig(std::string_view configText)
{
    std::string lcAll, lcMessages, lang;
    std::istringstream lines{std::string(configText)};
    std::string line;
    while (std::getline(lines, line)) {
        std::string_view l = line;
        while (!l.empty() && (l.front() == ' ' || l.front() == '\t'))
            l.remove_prefix(1);
        if (l.substr(0, 7) == "export ") l.remove_prefix(7);
        const auto equals = l.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view name = l.substr(0, equals);
        const std::string value(Unquoted(l.substr(equals + 1)));
        if (name == "LC_ALL")
            lcAll = value;
        else if (name == "LC_MESSAGES")
            lcMessages = value;
        else if (name == "LANG")
            lang = value;
    }
    if (!lcAll.empty()) return lcAll;
    if (!lcMessages.empty()) return lcMessages;
    return lang;
}

std::string SystemLanguageFrom(std::string_view lcAll, std::string_view lcMessages,
                               std::string_view systemDefaultLocale)
{
    for (std::string_view setting : {lcAll, lcMessages, systemDefaultLocale}) {
        if (!setting.empty()) {
            std::string language = LanguageOfLocaleName(setting);
            if (!language.empty()) return language;
        }
    }
    return "C";
}

std::span<const TLocaleIdLanguage> WindowsLocaleIdTable()
{
    return LocaleIdTable;
}

std::string LanguageOfWindowsLocaleId(uint32_t localeId)
{
    for (const auto& entry : LocaleIdTable) {
        if (entry.LocaleId == localeId) return std::string(entry.Code);
    }
    return "C";
}
