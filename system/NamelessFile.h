#pragma once
// A file without a name in a folder: nothing is left behind however the program ends.

#include "system/TFileDescriptor.h"

#include <filesystem>

// Opens it for reading and writing (O_TMPFILE; where the file system has none, a file whose name
// is removed at once). Throws std::system_error naming the folder and the cause.
TFileDescriptor OpenNamelessFile(const std::filesystem::path& folder);
