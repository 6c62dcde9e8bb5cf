#pragma once
#include <cstdlib>
#include <map>
#include <optional>
#include <string>

namespace i18n_test {

// Sets or clears environment variables for one test and restores them afterwards.
class TEnvironmentGuard
{
public:
    TEnvironmentGuard() = default;
    TEnvironmentGuard(const TEnvironmentGuard&) = delete;
    TEnvironmentGuard& operator=(const TEnvironmentGuard&) = delete;
    ~TEnvironmentGuard()
    {
        for (const auto& [name, value] : fSaved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }

    void Set(const std::string& name, const std::optional<std::string>& value)
    {
        if (!fSaved.count(name)) {
            const char* old = std::getenv(name.c_str());
            fSaved[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }

    // Makes lang the only variable that names the messages language.
    void SetOnlyLang(const std::string& lang)
    {
        Set("LANG", lang);
        Set("LC_ALL", std::nullopt);
        Set("LC_MESSAGES", std::nullopt);
    }

private:
    std::map<std::string, std::optional<std::string>> fSaved;
};

} // namespace i18n_test
