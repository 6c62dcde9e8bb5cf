#pragma once
// A failed POSIX call (on Windows, a C library call) as the C++ library's exception, carrying
// errno as its cause: the one way such a failure is raised (Win32Error.h does the same for the
// Windows API).

#include <cerrno>
#include <string>
#include <system_error>

// errno as it is now, with what failed ("poll", "Cannot write the terminal's file").
inline std::system_error ErrnoError(const std::string& what)
{
    return std::system_error(errno, std::generic_category(), what);
}
