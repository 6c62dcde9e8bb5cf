#pragma once

#include <string>
#include <system_error>

// Windows error codes (GetLastError) as the C++ library's error convention: a category whose
// messages are the system's own texts, so an exception carries its cause as on Linux.
const std::error_category& Win32Category();
std::string Win32ErrorText(unsigned long code);
// The last error of the calling thread, with the call that failed.
std::system_error Win32Error(const char* call);
