// What the system knows about a port: identity for the drop-down and for finding a
// lost adapter again, and why a port could not be opened.
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "serial/comm.h"
#include "serial/mailbox.h"
#include "serial/port_list.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;

PortInfo Usb(const std::string& name, const std::string& serial, const std::string& vid = "abcd") {
    PortInfo info;
    info.name = name;
    info.vendor = "Acme";
    info.product = "USB Serial";
    info.serialNumber = serial;
    info.vendorId = vid;
    info.productId = "1234";
    return info;
}

TEST(PortInfo, DescribesWhatIsKnownAndMatchesBySerialNumberElseByName) {
    EXPECT_EQ(Usb("ttyUSB0", "A10K").DisplayText(), "ttyUSB0  (Acme USB Serial, serial A10K)");
    PortInfo bare;
    bare.name = "ttyS0";
    EXPECT_EQ(bare.DisplayText(), "ttyS0");
    PortInfo serialOnly;
    serialOnly.name = "ttyACM0";
    serialOnly.serialNumber = "77";
    EXPECT_EQ(serialOnly.Description(), "serial 77");

    // The same adapter under another name is the same device; another adapter of the
    // same kind, or the same number from another maker, is not.
    EXPECT_TRUE(Usb("ttyUSB0", "A10K").SameDevice(Usb("ttyUSB3", "A10K")));
    EXPECT_FALSE(Usb("ttyUSB0", "A10K").SameDevice(Usb("ttyUSB0", "B20L")));
    EXPECT_FALSE(Usb("ttyUSB0", "A10K").SameDevice(Usb("ttyUSB0", "A10K", "ef01")));
    // Without a serial number only the name tells.
    PortInfo other = bare;
    EXPECT_TRUE(bare.SameDevice(other));
    other.name = "ttyS1";
    EXPECT_FALSE(bare.SameDevice(other));
    EXPECT_FALSE(bare.SameDevice(Usb("ttyS0", "A10K")));
}

TEST(PortWatcher, ReportsAChangeOnlyWhenThePortsDiffer) {
    std::vector<PortInfo> now = {Usb("ttyUSB0", "A")};
    FunctionPortSource source([&] { return now; });
    PortWatcher watcher(source);
    EXPECT_TRUE(watcher.Poll());
    EXPECT_FALSE(watcher.Poll());
    now.push_back(Usb("ttyUSB1", "B"));
    EXPECT_TRUE(watcher.Poll());
    EXPECT_EQ(watcher.Ports().size(), 2U);
    now[1].serialNumber = "C";  // replugged: same name, another adapter
    EXPECT_TRUE(watcher.Poll());
    now.clear();
    EXPECT_TRUE(watcher.Poll());
    EXPECT_TRUE(watcher.Ports().empty());
}

TEST(PortSource, TheSystemsListHasTheSameNamesAsThePlainList) {
    std::vector<std::string> names;
    for (const PortInfo& port : MakeSystemPortSource()->List()) names.push_back(port.name);
    EXPECT_EQ(names, ListSerialPorts());
}

TEST(OpenFailure, TextsSayWhatToDo) {
    EXPECT_EQ(NoPermissionText("/dev/ttyUSB0", "dialout", "tech"),
              "No permission to open /dev/ttyUSB0: it belongs to the group \"dialout\" and the user \"tech\" is "
              "not a member of it. Add the user to that group (sudo usermod -aG dialout tech), then log out and "
              "in again.");
    EXPECT_EQ(BusyText("/dev/ttyUSB0", {}), "/dev/ttyUSB0 is busy: another program has it open.");
    EXPECT_EQ(BusyText("/dev/ttyACM0", {{812, "ModemManager"}}),
              "/dev/ttyACM0 is busy: another program has it open (ModemManager with process id 812). Close it; a "
              "modem manager probes new ports for a while after they appear, so waiting a few seconds may be "
              "enough.");
}

TEST(OpenFailure, FindsTheProgramsHoldingADevice) {
    const fs::path root = fs::temp_directory_path() / ("qv-proc-" + std::to_string(::getpid()));
    fs::remove_all(root);
    const fs::path device = root / "ttyUSB0";
    const auto process = [&](const std::string& pid, const std::string& comm, const fs::path& opened) {
        fs::create_directories(root / "proc" / pid / "fd");
        std::ofstream(root / "proc" / pid / "comm") << comm << '\n';
        fs::create_symlink(opened, root / "proc" / pid / "fd" / "3");
    };
    std::ofstream(device).put('x');
    std::ofstream(root / "other").put('x');
    process("812", "ModemManager", device);
    process("900", "bash", root / "other");
    process("self", "skipped", device);  // not a process id
    fs::create_directories(root / "proc" / "901");  // fd not readable: passed over

    const std::vector<PortHolder> holders = FindPortHolders(device.string(), (root / "proc").string());
    ASSERT_EQ(holders.size(), 1U);
    EXPECT_EQ(holders[0].pid, 812);
    EXPECT_EQ(holders[0].program, "ModemManager");
    fs::remove_all(root);
}

TEST(OpenFailure, APortInUseNamesThisProgramAndAMissingOneSaysSo) {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    QueueMailbox mailbox;
    TComm first(mailbox);
    first.SetCommName(name);
    first.OpenComm();
    TComm second(mailbox);
    second.SetCommName(name);
    try {
        second.OpenComm();
        ADD_FAILURE() << "opened twice";
    } catch (const ECommsError& e) {
        EXPECT_STREQ(e.what(), "Error opening serial port");
        EXPECT_NE(e.Detail().find(std::string(name) + " is busy: another program has it open ("), std::string::npos)
            << e.Detail();
        EXPECT_NE(e.Detail().find("with process id " + std::to_string(::getpid())), std::string::npos) << e.Detail();
    }
    first.CloseComm();
    ::close(master);
    ::close(slave);

    second.SetCommName("/dev/qv-no-such-port");
    try {
        second.OpenComm();
        ADD_FAILURE() << "opened a missing port";
    } catch (const ECommsError& e) {
        EXPECT_STREQ(e.what(), "Error opening serial port");
        EXPECT_EQ(e.Detail(), NoSuchDeviceText("/dev/qv-no-such-port"));
    }
}

}  // namespace
}  // namespace quorvane
