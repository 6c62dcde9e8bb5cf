#pragma once
#include <string>

// Full path of the running program's own file; empty when the system cannot tell.
std::string CurrentExecutablePath();
