#include "serial/DeviceUsers.h"

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <grp.h>
#include <memory>
#include <sys/stat.h>
#include <vector>

namespace {

struct TDirCloser
{
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using TDir = std::unique_ptr<DIR, TDirCloser>;

bool IsNumber(const char* name)
{
    if (*name == '\0') return false;
    for (; *name != '\0'; ++name)
        if (*name < '0' || *name > '9') return false;
    return true;
}

} // namespace

std::optional<std::string> DeviceGroupName(const std::string& path)
{
    struct stat info
    {
    };
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    std::vector<char> buffer(4096);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::nullopt;
    return std::string(found->gr_name);
}

std::optional<TDeviceHolder> FindDeviceHolder(const std::string& path)
{
    struct stat device
    {
    };
    if (::stat(path.c_str(), &device) != 0 || !S_ISCHR(device.st_mode)) return std::nullopt;
    const TDir proc(::opendir("/proc"));
    if (!proc) return std::nullopt;
    while (const dirent* process = ::readdir(proc.get())) {
        if (!IsNumber(process->d_name)) continue;
        const std::string fdDir = std::string("/proc/") + process->d_name + "/fd";
        const TDir fds(::opendir(fdDir.c_str()));
        if (!fds) continue; // gone meanwhile, or not ours to look at
        while (const dirent* fd = ::readdir(fds.get())) {
            if (!IsNumber(fd->d_name)) continue;
            struct stat open
            {
            };
            if (::stat((fdDir + "/" + fd->d_name).c_str(), &open) != 0) continue;
            if (!S_ISCHR(open.st_mode) || open.st_rdev != device.st_rdev) continue;
            TDeviceHolder holder;
            holder.Pid = std::atol(process->d_name);
            std::ifstream comm(std::string("/proc/") + process->d_name + "/comm");
            std::getline(comm, holder.Program);
            return holder;
        }
    }
    return std::nullopt;
}
