// testdevice.h - a fresh emulated device (and storage card) for each test.
#ifndef CE_TESTS_TESTDEVICE_H
#define CE_TESTS_TESTDEVICE_H

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "device/device.h"

namespace cetest {

// A temporary host folder, removed with everything in it when destroyed.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
};

// Writes / reads a whole host file (folders are created as needed).
void WriteHostFile(const std::string &path, const std::string &content);
std::string ReadHostFile(const std::string &path);
bool HostExists(const std::string &path);

// UTF-16 <-> UTF-8 for assertions and host paths.
std::u16string U16(const std::string &utf8);
std::string U8(const std::u16string &utf16);

// A device in a temporary folder, opened as this process's device, with an
// empty card folder mounted as \Storage Card.
class DeviceFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Reopens the device with other overrides (os_version and so on).
    void Reopen(const plat::DeviceOverrides &overrides);

    std::string StoreHost(const std::string &rel) const; // host path under store/
    std::string CardHost(const std::string &rel) const;  // host path under the card

    TempDir root;         // holds device/ and card/
    std::string deviceDir;
    std::string cardDir;
};

// The setup's stand-in main window: a visible, grey, full-screen top-level
// window of the class named, for pages and message boxes to sit on.
HWND CreateMainWindow(const char16_t *className);

} // namespace cetest

#endif
