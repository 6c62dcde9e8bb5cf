// Which device nodes count as serial ports.
#include "serial/SerialPortList.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class SerialPortListTest : public ::testing::Test
{
protected:
    SerialPortListTest()
        : fRoot(fs::temp_directory_path() / ("tarvel-ports-" + std::to_string(::getpid())))
    {
        fs::create_directories(fRoot / "dev" / "serial" / "by-id");
        fs::create_directories(fRoot / "sys");
    }
    ~SerialPortListTest() override { fs::remove_all(fRoot); }

    void Node(const std::string& name) { std::ofstream(fRoot / "dev" / name); }
    void Uart(const std::string& name, const std::string& type)
    {
        fs::create_directories(fRoot / "sys" / name);
        std::ofstream(fRoot / "sys" / name / "type") << type << "\n";
    }
    std::string Dev(const std::string& name) const { return (fRoot / "dev" / name).string(); }

    fs::path fRoot;
};

TEST_F(SerialPortListTest, ListsRealUartsAndUsbAdaptersSorted)
{
    Node("ttyS0");
    Uart("ttyS0", "4"); // a 16550A
    Node("ttyS1");
    Uart("ttyS1", "0"); // no UART behind it
    Node("ttyS2");      // no sysfs entry at all
    Node("ttyUSB0");
    Node("ttyACM1");
    Node("tty0");
    fs::create_directories(fRoot / "sys" / "tty0"); // a virtual console: no device behind it
    Node("ttyprintk");
    Node("ttyAMA0"); // an on-board UART: named like nothing above, but sysfs has its device
    fs::create_directories(fRoot / "sys" / "ttyAMA0" / "device");
    Node("serial/by-id/usb-FTDI_FT232R-if00-port0");

    const auto ports = ListSerialPorts((fRoot / "dev").string(), (fRoot / "sys").string());
    EXPECT_EQ(ports, (std::vector<std::string>{
                         Dev("serial/by-id/usb-FTDI_FT232R-if00-port0"),
                         Dev("ttyACM1"),
                         Dev("ttyAMA0"),
                         Dev("ttyS0"),
                         Dev("ttyUSB0"),
                     }));
}

TEST_F(SerialPortListTest, MissingDirectoriesGiveAnEmptyList)
{
    EXPECT_TRUE(ListSerialPorts((fRoot / "nothing").string(), (fRoot / "none").string()).empty());
}

} // namespace

namespace {

// A fake sysfs as the kernel lays out a USB adapter: the tty's device link points into the USB
// interface, whose parent folder holds the device's ids and serial number.
TEST_F(SerialPortListTest, UsbIdentityIsFoundThroughTheTtysDeviceAndItsByIdName)
{
    const fs::path usb = fRoot / "devices" / "usb1" / "1-1";
    fs::create_directories(usb / "1-1:1.0" / "ttyUSB0");
    std::ofstream(usb / "idVendor") << "0403\n";
    std::ofstream(usb / "idProduct") << "6001\n";
    std::ofstream(usb / "serial") << "A50285BI\n";
    std::ofstream(usb / "manufacturer") << "FTDI\n";
    std::ofstream(usb / "product") << "FT232R USB UART\n";
    fs::create_directories(fRoot / "sys" / "ttyUSB0");
    fs::create_directory_symlink(usb / "1-1:1.0" / "ttyUSB0", fRoot / "sys" / "ttyUSB0" / "device");
    Node("ttyUSB0");
    fs::create_symlink(Dev("ttyUSB0"), fRoot / "dev" / "serial" / "by-id" / "usb-FTDI_A50285BI");
    Node("ttyS0");

    const std::string sys = (fRoot / "sys").string();
    for (const std::string& path : {Dev("ttyUSB0"), Dev("serial/by-id/usb-FTDI_A50285BI")}) {
        const auto identity = UsbIdentity(path, sys);
        ASSERT_TRUE(identity) << path;
        EXPECT_EQ(identity->Vendor, "0403");
        EXPECT_EQ(identity->Product, "6001");
        EXPECT_EQ(identity->Serial, "A50285BI");
    }
    EXPECT_FALSE(UsbIdentity(Dev("ttyS0"), sys));

    // Listed once, by the stable name, described so that two like adapters can be told apart.
    Uart("ttyS0", "4");
    const auto listed = DescribeSerialPorts((fRoot / "dev").string(), sys);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].Path, Dev("serial/by-id/usb-FTDI_A50285BI"));
    EXPECT_EQ(listed[0].Description, "ttyUSB0 \u2014 FT232R USB UART (FTDI) A50285BI");
    EXPECT_EQ(listed[1].Path, Dev("ttyS0"));
    EXPECT_EQ(listed[1].Description, "ttyS0");
}

} // namespace
