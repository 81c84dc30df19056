// What fits a field: a value is written only when reading it back shows the same value.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "model/memory_form.h"
#include "blocks/blocks.h"
#include "blocks/field_fit.h"

namespace quorvane {
namespace {

// The number a text means, in millionths, signed; "-0" is 0.
long double Meaning(const std::string& text) {
    const auto number = ReadDecimal(text);
    if (!number) return -1e30L;
    const auto scaled = ScaledMagnitude(*number, 8);
    if (!scaled) return -1e30L;
    const auto magnitude = static_cast<long double>(*scaled);
    return number->negative ? -magnitude : magnitude;
}

std::string RandomNumberText(std::mt19937& rng) {
    std::uniform_int_distribution<int> pick(0, 9);
    std::string text;
    const int sign = pick(rng);
    if (sign == 0) text += '-';
    if (sign == 1) text += '+';
    const int whole = std::uniform_int_distribution<int>(0, 11)(rng);
    for (int i = 0; i < whole; ++i) text += static_cast<char>('0' + pick(rng));
    if (pick(rng) < 4) {
        text += '.';
        const int decimals = std::uniform_int_distribution<int>(0, 8)(rng);
        for (int i = 0; i < decimals; ++i) text += static_cast<char>('0' + pick(rng));
    }
    return text;
}

std::string RandomText(std::mt19937& rng, std::size_t width) {
    std::string text(std::uniform_int_distribution<std::size_t>(0, width + 3)(rng), ' ');
    for (char& c : text) c = static_cast<char>(std::uniform_int_distribution<int>(1, 255)(rng));
    return text;
}

// Random texts into every numeric and text field of every table-driven block: whatever
// is encoded must decode to the same value; whatever is not must be refused by name.
TEST(FieldFit, WhatIsWrittenReadsBackTheSame) {
    std::mt19937 rng(20261209);
    int written = 0, refused = 0;
    for (const BlockLayout* layout : {&GprsBlockLayout(), &MainBlockLayout(), &MainExtBlockLayout(),
                                      &InterfaceBlockLayout(), &TemperatureBlockLayout(), &SmsBlockLayout(),
                                      &GeoFenceBlockLayout()}) {
        for (const FieldDef& field : *layout) {
            const bool text = field.kind == FieldKind::Text;
            if (!text && (field.kind == FieldKind::Zero || field.kind == FieldKind::ReadOnlyText ||
                          field.kind == FieldKind::Index || field.kind == FieldKind::SensorId ||
                          field.kind == FieldKind::Switches || field.kind == FieldKind::GeoAlarm))
                continue;
            for (int round = 0; round < 150; ++round) {
                MemoryForm form;
                const std::string value = text ? RandomText(rng, field.width) : RandomNumberText(rng);
                form.SetText(field.control, value);
                TxPayload tx;
                try {
                    ConvertBox(field.control, [&] { EncodeField(form, field, tx); });
                } catch (const EConvertError& e) {
                    ++refused;
                    EXPECT_EQ(e.Control(), field.control);
                    continue;
                }
                ++written;
                MemoryForm back;
                DecodeField(back, field, tx.View());
                if (text) {
                    EXPECT_EQ(back.Text(field.control), value) << field.control;
                } else {
                    EXPECT_EQ(Meaning(back.Text(field.control)), Meaning(value))
                        << field.control << " '" << value << "' read back as '" << back.Text(field.control) << "'";
                }
            }
        }
    }
    EXPECT_GT(written, 2000);
    EXPECT_GT(refused, 2000);
}

TEST(FieldFit, AControlIsCheckedAloneAndOnlyForFit) {
    MemoryForm form;
    form.SetText("RoamingInterval", "");  // another field of the same block that does not convert
    form.SetText("Speed", "abc");         // left to the write's own conversion error
    EXPECT_NO_THROW(CheckControlFits(form, "Speed"));
    EXPECT_NO_THROW(CheckControlFits(form, "AuthCode"));  // no block carries it
    form.SetText("APN", std::string(32, 'a'));
    EXPECT_NO_THROW(CheckControlFits(form, "APN"));

    const auto refusal = [&](const char* control, const char* value) {
        form.SetText(control, value);
        try {
            CheckControlFits(form, control);
        } catch (const EDoesNotFit& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(refusal("Speed", "70000"), "'70000' is out of range for Speed (0 to 65535)");
    EXPECT_EQ(refusal("LowSpeedName", "seventeen chars!!"),
              "'seventeen chars!!' is too long for LowSpeedName (at most 16 characters)");

    form.SetText("APNName", std::string("a\0b", 3));
    EXPECT_THROW(CheckControlFits(form, "APNName"), EDoesNotFit) << "the tracker's text ends at a zero byte";
}

}  // namespace
}  // namespace quorvane
