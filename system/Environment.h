#pragma once
// The process's environment as the folder rules (the spill file's, the session logs') take it,
// and which platform's folders they give.

#include <cstdlib>
#include <optional>
#include <string>

inline std::optional<std::string> EnvironmentVariable(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

#ifdef _WIN32
inline constexpr bool WindowsFolders = true;
#else
inline constexpr bool WindowsFolders = false;
#endif
