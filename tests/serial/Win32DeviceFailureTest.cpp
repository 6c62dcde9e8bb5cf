#include "serial/TQorComPort.h"
#include "serial/Win32SerialBackend.h"
#include "system/Win32Error.h"
#include "tests/serial/TestMainThread.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>

#include <winerror.h> // the codes alone: windows.h would rename SetPort

namespace {

// Opens nothing: every open fails with one Windows code, as the system backend reports it.
class TRefusingBackend final : public ISerialBackend
{
public:
    explicit TRefusingBackend(unsigned long code) : fCode(code) {}
    TDeviceResult<std::unique_ptr<ISerialDevice>> Open(const std::string&) override
    {
        return Win32DeviceFailure(fCode);
    }

private:
    unsigned long fCode;
};

// A code with an errno match keeps that errno, which the catalogues word; one without keeps the
// system's own text instead of a vague "I/O error".
TEST(Win32DeviceFailure, AnOpenFailureWithoutAnErrnoMatchSaysTheSystemsText)
{
    const struct
    {
        unsigned long Code;
        int Errno; // 0: none matches
    } cases[] = {
        {ERROR_FILE_NOT_FOUND, ENOENT}, {ERROR_ACCESS_DENIED, EBUSY}, {ERROR_GEN_FAILURE, ENODEV},
        {ERROR_SEM_TIMEOUT, 0},         {ERROR_BAD_COMMAND, 0},       {ERROR_INVALID_PARAMETER, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Code);
        TTestMainThread mainThread;
        TRefusingBackend backend(c.Code);
        TQorComPort port(mainThread, backend);
        port.SetPort(3);
        try {
            port.SetActive(true);
            ADD_FAILURE() << "opened";
        } catch (const EQorComPort& e) {
            EXPECT_EQ(e.ErrorCode(), c.Errno);
            if (c.Errno != 0) {
                EXPECT_STREQ(e.what(), "Cannot open port 'COM3'");
                EXPECT_FALSE(e.SystemError());
                continue;
            }
            const std::string text = Win32ErrorText(c.Code);
            EXPECT_FALSE(text.starts_with("Windows error")) << "the system has no text: " << text;
            EXPECT_EQ(e.what(), "Cannot open port 'COM3': " + text);
            EXPECT_EQ(e.SystemError().value(), static_cast<int>(c.Code));
        }
    }
}

} // namespace
