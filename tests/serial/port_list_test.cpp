// The port list read from a made-up tty class directory.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "serial/port_list.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;

class FakeTtyClass : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tty-class-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        fs::create_directories(root_ / "devices" / "uart");
        fs::create_directories(root_ / "class");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    // A tty as sysfs shows it: a link to its directory under devices, holding a
    // `device` link when hardware stands behind it, and a UART type when given.
    void AddTty(const std::string& name, bool withDevice, const char* uartType = nullptr) {
        const fs::path dir = root_ / "devices" / "tty" / name;
        fs::create_directories(dir);
        if (withDevice) fs::create_directory_symlink(root_ / "devices" / "uart", dir / "device");
        if (uartType != nullptr) std::ofstream(dir / "type") << uartType << "\n";
        fs::create_directory_symlink(dir, ClassDir() / name);
    }
    fs::path ClassDir() const { return root_ / "class"; }

    fs::path root_;
};

TEST_F(FakeTtyClass, ListsHardwarePortsInNaturalOrder) {
    AddTty("ttyUSB0", true);
    AddTty("ttyS10", true, "4");
    AddTty("ttyS2", true, "4");
    AddTty("ttyS1", true, "0");  // no UART behind this legacy port
    AddTty("ttyS3", true);       // no type to read: kept
    AddTty("ttyACM0", true);
    AddTty("ttyUSB10", true);
    AddTty("ttyUSB9", true);
    AddTty("tty0", false);
    AddTty("console", false);
    AddTty("ptmx", false);
    std::ofstream(ClassDir() / "stray-file") << "x";

    const std::vector<std::string> expected = {"ttyACM0", "ttyS2",   "ttyS3",   "ttyS10",
                                               "ttyUSB0", "ttyUSB9", "ttyUSB10"};
    EXPECT_EQ(ListSerialPorts(ClassDir().string()), expected);
}

TEST_F(FakeTtyClass, NoPortsGiveAnEmptyList) {
    AddTty("tty1", false);
    EXPECT_TRUE(ListSerialPorts(ClassDir().string()).empty());
    EXPECT_TRUE(ListSerialPorts((root_ / "absent").string()).empty());
}

TEST_F(FakeTtyClass, LatencyTimerOfAUsbAdapterWithAHintAboveOneMillisecond) {
    AddTty("ttyS2", true, "4");  // a UART: no latency timer
    const fs::path usb = root_ / "devices" / "usb-serial" / "ttyUSB0";
    fs::create_directories(usb);
    std::ofstream(usb / "latency_timer") << "16\n";
    const fs::path dir = root_ / "devices" / "tty" / "ttyUSB0";
    fs::create_directories(dir);
    fs::create_directory_symlink(usb, dir / "device");
    fs::create_directory_symlink(dir, ClassDir() / "ttyUSB0");

    EXPECT_EQ(LatencyTimerMs("ttyUSB0", ClassDir().string()), 16);
    EXPECT_EQ(LatencyTimerMs("/dev/ttyUSB0", ClassDir().string()), 16);
    EXPECT_EQ(LatencyTimerMs("ttyS2", ClassDir().string()), std::nullopt);
    EXPECT_EQ(LatencyTimerMs("ttyUSB7", ClassDir().string()), std::nullopt);

    const std::string slow = LatencyTimerText("ttyUSB0", 16);
    EXPECT_EQ(slow.rfind("ttyUSB0: latency timer 16 ms (", 0), 0U) << slow;
    EXPECT_NE(slow.find("/sys/bus/usb-serial/devices/ttyUSB0/latency_timer"), std::string::npos) << slow;
    EXPECT_EQ(LatencyTimerText("ttyUSB0", 1), "ttyUSB0: latency timer 1 ms");
}

TEST(PortList, SystemListHoldsOnlyPlainNames) {
    for (const std::string& name : ListSerialPorts()) {
        EXPECT_FALSE(name.empty());
        EXPECT_EQ(name.find('/'), std::string::npos) << name;
    }
}

}  // namespace
}  // namespace quorvane
