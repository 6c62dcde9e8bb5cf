#pragma once
// A failed POSIX call as the C++ library's exception, carrying errno as its cause: the one way an
// OS failure is raised on Linux (Win32Error.h is the same for Windows).

#include <cerrno>
#include <string>
#include <system_error>

// errno as it is now, with what failed ("poll", "Cannot write the terminal's file").
inline std::system_error ErrnoError(const std::string& what)
{
    return std::system_error(errno, std::generic_category(), what);
}
