// Who may use a device and who holds it, as the system tells it.
#include "serial/DeviceUsers.h"
#include "tests/support/TPseudoTerminal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(DeviceUsersTest, TheDevicesGroupByNameOrNothing)
{
    const std::string path = testing::TempDir() + "tarvel-group-" + std::to_string(::getpid());
    std::ofstream(path) << "node";
    struct stat info
    {
    };
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    const group* own = ::getgrgid(info.st_gid);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(DeviceGroupName(path), std::string(own->gr_name));
    EXPECT_EQ(DeviceGroupName(path + ".missing"), std::nullopt);

    // A group id the system has no name for (only root can give a file one).
    gid_t unnamed = 54321;
    while (::getgrgid(unnamed) != nullptr)
        ++unnamed;
    if (::chown(path.c_str(), static_cast<uid_t>(-1), unnamed) == 0) {
        EXPECT_EQ(DeviceGroupName(path), std::nullopt);
    }
    std::filesystem::remove(path);
}

TEST(DeviceUsersTest, TheProcessHoldingATerminalIsFound)
{
    TPseudoTerminal terminal; // this process holds its device end open
    const std::optional<TDeviceHolder> holder = FindDeviceHolder(terminal.DevicePath());
    ASSERT_TRUE(holder.has_value());
    EXPECT_EQ(holder->Pid, static_cast<long>(::getpid()));
    std::string name;
    std::getline(std::ifstream("/proc/self/comm"), name);
    EXPECT_EQ(holder->Program, name);

    // Only character devices are looked for.
    const std::string file = testing::TempDir() + "tarvel-holder-" + std::to_string(::getpid());
    std::ofstream(file) << "not a device";
    EXPECT_EQ(FindDeviceHolder(file), std::nullopt);
    std::filesystem::remove(file);
}

} // namespace
