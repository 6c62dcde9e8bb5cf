#pragma once
#include <string>

// Full path of the running program's own file; empty when the system cannot tell.
std::string CurrentExecutablePath();

// The folder part of a path with its separator, "" when it has none. Windows paths may separate
// with a backslash or a slash.
inline std::string FolderWithSeparator(const std::string& path)
{
#ifdef _WIN32
    const auto end = path.find_last_of("\\/");
#else
    const auto end = path.rfind('/');
#endif
    return end == std::string::npos ? std::string() : path.substr(0, end + 1);
}
