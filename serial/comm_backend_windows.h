// The Windows backend's translations between the component and the Win32 serial
// communications API, apart from the backend so they can be checked one by one.
// Windows builds only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "serial/comm_backend.h"

namespace quorvane::win {

// The one place where Windows error codes become the component's outcomes.
// `opening` tells an open failure from a failure on an open port: after the open,
// every error is a lost port (Hangup).
CommStatus StatusFromError(DWORD error, bool opening);

// A driver's refusal of a function it does not offer (line-event waits or modem-line
// control on some adapters and emulations): the port goes on without it.
bool IsUnsupported(DWORD error);
// Why opening `name` failed, in the user's terms, beside "Error opening serial port";
// "" when the error code says nothing more.
std::string OpenFailureReason(DWORD error, const std::string& name);

// "COM5" opens as "\\.\COM5", which also reaches COM10 and up; a name already in
// the device namespace is left as it is.
std::string DevicePath(const std::string& name);

// `dcb` with the line settings applied; its other fields stay as the driver had them.
DCB DcbFromSettings(const LineSettings& settings, DCB dcb);

COMMTIMEOUTS ToCommTimeouts(const CommTimeouts& timeouts);

// The line events a WaitCommEvent mask and ClearCommError's flags stand for, as
// kCommError* flags and kModem* values.
void LineEventsFrom(DWORD eventMask, DWORD commErrors, std::uint32_t& errors,
                    std::uint32_t& modemEvent);

// The events the backend waits for.
inline constexpr DWORD kLineEventMask = EV_BREAK | EV_ERR | EV_RING | EV_RLSD;

}  // namespace quorvane::win
