#include "system/NamelessFile.h"
#include "system/ErrnoError.h"

#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

TFileDescriptor OpenNamelessFile(const std::filesystem::path& folder)
{
    TFileDescriptor file(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (!file.Valid() && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // A file system without O_TMPFILE: a name that is removed at once.
        std::string name = (folder / "tarvel-XXXXXX").string();
        file.Reset(::mkostemp(name.data(), O_CLOEXEC));
        if (file.Valid()) ::unlink(name.c_str());
    }
    if (!file.Valid()) throw ErrnoError("Cannot make a file in '" + folder.string() + "'");
    return file;
}
