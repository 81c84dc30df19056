// Payloads of the one-shot commands: the connect request's authorization code, the
// mileage, the RFID ID list and the temperature sensor pairing. The commands'
// handlers are members of TransactionEngine (maintenance.cpp).
#pragma once

#include <stdexcept>
#include <string>

#include "seams/form.h"
#include "blocks/payload.h"

namespace quorvane {

// An RFID ID list that does not fit one frame; nothing is sent.
class ERfidListTooLong : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// 0x01, then the AuthCode edit as a 32-bit integer, least significant byte first;
// FF FF FF FF when the edit is empty. Throws EConvertError, leaving `tx` as it was.
void BuildAuthCodePayload(const Form& form, TxPayload& tx);

// The Mileage edit as a 32-bit integer, least significant byte first. Throws
// EConvertError, leaving `tx` as it was.
void BuildMileagePayload(const Form& form, TxPayload& tx);

// Every character of RFID_Memo as one byte, line breaks included, nothing added.
// Throws ERfidListTooLong, leaving `tx` as it was, when the text does not fit one frame.
void BuildRfidPayload(const Form& form, TxPayload& tx);

// Temperature sensor pairing: the first character of `index`, then "," and at most
// the first 16 characters of `name` when a name is given. An empty `index` gives
// the empty payload (delete all sensors).
void BuildTemperaturePairPayload(const std::string& index, const std::string& name, TxPayload& tx);

}  // namespace quorvane
