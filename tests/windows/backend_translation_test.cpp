// The Windows backend's translations between the component and the Win32 serial
// API, and what opening a port that is none or not there says.
#include <gtest/gtest.h>

#include <filesystem>

#include "serial/comm.h"
#include "serial/comm_backend_windows.h"
#include "serial/mailbox.h"
#include "platform/system.h"

namespace quorvane::test {
namespace {

TEST(WindowsErrors, OpenFailuresKeepTheirMessageAndEveryLaterErrorIsALostPort) {
    for (DWORD error : {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED,
                        ERROR_SHARING_VIOLATION, ERROR_INVALID_NAME, ERROR_GEN_FAILURE}) {
        EXPECT_EQ(win::StatusFromError(error, true), CommStatus::OpenFailed) << error;
    }
    EXPECT_EQ(win::StatusFromError(ERROR_INVALID_FUNCTION, true), CommStatus::NotACommDevice);
    EXPECT_EQ(win::StatusFromError(ERROR_NOT_SUPPORTED, true), CommStatus::NotACommDevice);
    for (DWORD error : {ERROR_GEN_FAILURE, ERROR_DEVICE_REMOVED, ERROR_BAD_COMMAND,
                        ERROR_ACCESS_DENIED, ERROR_NOT_SUPPORTED}) {
        EXPECT_EQ(win::StatusFromError(error, false), CommStatus::Hangup) << error;
    }
    // Beside the message, the reason in the user's terms.
    EXPECT_EQ(win::OpenFailureReason(ERROR_ACCESS_DENIED, "COM3"), "COM3 is busy: another program has it open. Close it.");
    EXPECT_EQ(win::OpenFailureReason(ERROR_FILE_NOT_FOUND, "COM9").rfind("No such device: COM9", 0), 0u);
    EXPECT_EQ(win::OpenFailureReason(ERROR_GEN_FAILURE, "COM3"), "");
    EXPECT_TRUE(win::IsUnsupported(ERROR_NOT_SUPPORTED));
    EXPECT_TRUE(win::IsUnsupported(ERROR_INVALID_FUNCTION));
    EXPECT_FALSE(win::IsUnsupported(ERROR_GEN_FAILURE));
    EXPECT_FALSE(win::IsUnsupported(ERROR_OPERATION_ABORTED));
}

TEST(WindowsNames, PortsOpenInTheDeviceNamespace) {
    EXPECT_EQ(win::DevicePath("COM5"), "\\\\.\\COM5");
    EXPECT_EQ(win::DevicePath("COM12"), "\\\\.\\COM12");
    EXPECT_EQ(win::DevicePath("\\\\.\\COM3"), "\\\\.\\COM3");
}

TEST(WindowsLine, TheMainWindowsSettingsBecomeOneDcb) {
    DCB before{};
    before.EofChar = 0x1A;
    before.EvtChar = 0x7E;
    const DCB dcb = win::DcbFromSettings(LineSettings{}, before);  // 115200 8N1, DTR and RTS off
    EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
    EXPECT_EQ(dcb.BaudRate, 115200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.fParity, 0u);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
    EXPECT_EQ(dcb.fNull, 0u);
    EXPECT_EQ(dcb.fAbortOnError, 0u);
    EXPECT_EQ(dcb.XonChar, 0x11);
    EXPECT_EQ(dcb.XoffChar, 0x13);
    EXPECT_EQ(dcb.EofChar, 0x1A) << "what the settings do not name stays as the driver had it";
    EXPECT_EQ(dcb.EvtChar, 0x7E);
}

TEST(WindowsLine, EveryOtherSettingHasItsDcbField) {
    LineSettings s;
    s.baudRate = 9600;
    s.parityCheck = true;
    s.ctsFlow = s.dsrFlow = s.dsrSensitivity = s.txContinueOnXoff = true;
    s.outXonXoff = s.inXonXoff = s.replaceWhenParityError = true;
    s.dtrControl = TDtrControl::DtrHandshake;
    s.rtsControl = TRtsControl::RtsTransmissionAvailable;
    s.xonLimit = 100;
    s.xoffLimit = 200;
    s.byteSize = TByteSize::_7;
    s.parity = TParity::Mark;
    s.stopBits = TStopBits::_1_5;
    s.replacedChar = '?';
    DCB dcb = win::DcbFromSettings(s, DCB{});
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.fParity + dcb.fOutxCtsFlow + dcb.fOutxDsrFlow + dcb.fDsrSensitivity +
                  dcb.fTXContinueOnXoff + dcb.fOutX + dcb.fInX + dcb.fErrorChar,
              8u);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_HANDSHAKE));
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_TOGGLE));
    EXPECT_EQ(dcb.XonLim, 100);
    EXPECT_EQ(dcb.XoffLim, 200);
    EXPECT_EQ(dcb.ByteSize, 7);
    EXPECT_EQ(dcb.Parity, MARKPARITY);
    EXPECT_EQ(dcb.StopBits, ONE5STOPBITS);
    EXPECT_EQ(dcb.ErrorChar, '?');

    s.parity = TParity::Space;
    s.stopBits = TStopBits::_2;
    s.rtsControl = TRtsControl::RtsHandshake;
    s.dtrControl = TDtrControl::DtrEnable;
    dcb = win::DcbFromSettings(s, dcb);
    EXPECT_EQ(dcb.Parity, SPACEPARITY);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
}

TEST(WindowsLine, TheFiveTimeoutsReachTheDriverInTheirPlaces) {
    const COMMTIMEOUTS t = win::ToCommTimeouts({30, 2, 500, 7, 900});
    EXPECT_EQ(t.ReadIntervalTimeout, 30u);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 2u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 500u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 7u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 900u);
}

TEST(WindowsLine, EventsAndErrorFlagsBecomeTheComponentsEvents) {
    std::uint32_t errors = 0;
    std::uint32_t modem = 0;
    win::LineEventsFrom(EV_ERR, CE_RXOVER | CE_OVERRUN | CE_RXPARITY | CE_FRAME, errors, modem);
    EXPECT_EQ(errors, kCommErrorRxOver | kCommErrorOverrun | kCommErrorParity | kCommErrorFrame);
    EXPECT_EQ(modem, 0u);
    win::LineEventsFrom(EV_BREAK | EV_RLSD | EV_RING, 0, errors, modem);
    EXPECT_EQ(errors, kCommErrorBreak);
    EXPECT_EQ(modem, kModemCarrierDetect + kModemRing);
    win::LineEventsFrom(EV_RXCHAR | EV_TXEMPTY, CE_TXFULL, errors, modem);
    EXPECT_EQ(errors, 0u) << "only line errors are reported";
    EXPECT_EQ(modem, 0u);
}

TEST(WindowsOpen, APortThatIsNotThereOrIsNoSerialPortSaysSo) {
    QueueMailbox mailbox;
    TComm comm(mailbox);
    comm.SetCommName("COM199");
    try {
        comm.OpenComm();
        FAIL() << "COM199 opened";
    } catch (const ECommsError& e) {
        EXPECT_STREQ(e.what(), "Error opening serial port");
        EXPECT_EQ(e.Detail().rfind("No such device: COM199", 0), 0u) << e.Detail();
    }
    EXPECT_FALSE(comm.IsOpen());

    comm.SetCommName("NUL");  // a character device, but no serial port
    try {
        comm.OpenComm();
        FAIL() << "NUL opened as a serial port";
    } catch (const ECommsError& e) {
        EXPECT_STREQ(e.what(), "File handle is not a comm handle ");
    }
    EXPECT_FALSE(comm.IsOpen());
}

TEST(WindowsPaths, TheProgramsFolderHoldsTheProgram) {
    const std::string dir = ProgramDir("ignored");
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '\\');
    EXPECT_TRUE(std::filesystem::exists(dir + "windows_serial_test.exe")) << dir;
}

}  // namespace
}  // namespace quorvane::test
