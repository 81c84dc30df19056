// Window -> block -> window for every control of the table-driven blocks, at the
// ends of each field's range.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/memory_form.h"
#include "model/window_model.h"
#include "blocks/blocks.h"
#include "tests/blocks/answer_builder.h"

namespace quorvane {
namespace {

struct BlockCase {
    const char* name;
    BlockId id;
    const BlockLayout& (*layout)();
    void (*encode)(const Form&, TxPayload&);
    bool (*decode)(Form&, std::span<const std::uint8_t>, std::size_t);
};

const BlockCase kCases[] = {
    {"Gprs", BlockId::Gprs, GprsBlockLayout, EncodeGprsBlock, DecodeGprsBlock},
    {"Main", BlockId::Main, MainBlockLayout, EncodeMainBlock, DecodeMainBlock},
    {"MainExt", BlockId::MainExt, MainExtBlockLayout, EncodeMainExtBlock, DecodeMainExtBlock},
    {"Interface", BlockId::Interface, InterfaceBlockLayout, EncodeInterfaceBlock, DecodeInterfaceBlock},
    {"Temperature", BlockId::Temperature, TemperatureBlockLayout, EncodeTemperatureBlock, DecodeTemperatureBlock},
    {"Sms", BlockId::Sms, SmsBlockLayout, EncodeSmsBlock, DecodeSmsBlock},
    {"GeoFence", BlockId::GeoFence, GeoFenceBlockLayout, EncodeGeoFenceBlock, DecodeGeoFenceBlock},
};

// Variants: 0 the low end, 1 the high end, 2 and 3 the high and low ends with the
// check boxes alternating (2: first box ticked, 3: first box clear).
constexpr int kVariants = 4;
bool High(int variant) { return variant == 1 || variant == 2; }

// A full-width text of non-zero 8-bit characters, different for every field.
std::string FullText(std::size_t width, std::uint16_t offset) {
    std::string text;
    for (std::size_t i = 0; i < width; ++i) text.push_back(static_cast<char>(1 + (std::size_t{offset} * 7 + i * 37) % 255));
    return text;
}

struct Value {
    std::string in, out;
};

Value NumberValue(const FieldDef& f, int variant) {
    const bool high = High(variant);
    switch (f.kind) {
    case FieldKind::Text: {
        const std::string t = high ? FullText(f.width, f.offset) : "";
        return {t, t};
    }
    case FieldKind::Word: return high ? Value{"65535", "65535"} : Value{"0", "0"};
    case FieldKind::Byte: return high ? Value{"255", "255"} : Value{"0", "0"};
    case FieldKind::Long: return high ? Value{"4294967295", "4294967295"} : Value{"0", "0"};
    case FieldKind::Voltage: return high ? Value{"655.35", "655.35"} : Value{"0", "0.00"};
    case FieldKind::Temperature: return high ? Value{"3276.7", "3276.7"} : Value{"-3276.6", "-3276.6"};
    case FieldKind::SensorId:
        return high ? Value{"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF"} : Value{"0000000000000101", "0000000000000101"};
    case FieldKind::Coordinate:
        return high ? Value{"255.999999", "255.999999"} : Value{"-255.999999", "-255.999999"};
    case FieldKind::TimeZone: return high ? Value{"35791394", "35791394"} : Value{"-35791394", "-35791394"};
    default: return {};
    }
}

int IndexValue(const FieldDef& f, int variant) {
    return High(variant) ? static_cast<int>(FindControl(f.control)->items.size()) - 1 : -1;
}

bool BoxValue(int variant, std::size_t position) {
    if (variant < 2) return variant == 1;
    return (position % 2 == 0) == (variant == 2);
}

void Apply(Form& form, const FieldDef& f, int variant) {
    if (f.kind == FieldKind::Index) {
        form.SetItemIndex(f.control, IndexValue(f, variant));
    } else if (f.kind == FieldKind::Switches || f.kind == FieldKind::GeoAlarm) {
        const auto boxes = FieldControls(f);
        for (std::size_t i = 0; i < boxes.size(); ++i) form.SetChecked(boxes[i], BoxValue(variant, i));
    } else {
        form.SetText(f.control, NumberValue(f, variant).in);
    }
}

void Expect(const Form& form, const FieldDef& f, int variant, const char* block) {
    if (f.kind == FieldKind::Index) {
        EXPECT_EQ(form.ItemIndex(f.control), IndexValue(f, variant)) << block << " " << f.control;
    } else if (f.kind == FieldKind::Switches || f.kind == FieldKind::GeoAlarm) {
        const auto boxes = FieldControls(f);
        for (std::size_t i = 0; i < boxes.size(); ++i)
            EXPECT_EQ(form.Checked(boxes[i]), BoxValue(variant, i)) << block << " " << boxes[i] << " " << variant;
    } else {
        EXPECT_EQ(form.Text(f.control), NumberValue(f, variant).out) << block << " " << f.control << " " << variant;
    }
}

bool RoundTrips(const FieldDef& f) { return f.kind != FieldKind::Zero && f.kind != FieldKind::ReadOnlyText; }

TEST(RoundTrip, EveryControlAtTheEndsOfItsRange) {
    for (const BlockCase& c : kCases) {
        for (int variant = 0; variant < kVariants; ++variant) {
            MemoryForm form;
            MemoryForm back;
            for (const FieldDef& f : c.layout()) {
                if (!RoundTrips(f)) continue;
                Apply(form, f, variant);
                Apply(back, f, variant ^ 1);  // the opposite, so every decoded control must change
            }
            TxPayload tx;
            c.encode(form, tx);
            ASSERT_EQ(tx.length, 5 + Block(c.id).writeLength) << c.name;
            const test::Answer a = test::AnswerFromWrite(c.id, tx);
            ASSERT_TRUE(c.decode(back, a.View(), a.index)) << c.name;
            for (const FieldDef& f : c.layout())
                if (RoundTrips(f)) Expect(back, f, variant, c.name);
        }
    }
}

// Each field's bytes belong to its own control: a value set in one control alone
// shows in that control alone after the round trip.
TEST(RoundTrip, FieldsDoNotOverlap) {
    for (const BlockCase& c : kCases) {
        const BlockLayout& layout = c.layout();
        for (const FieldDef& lone : layout) {
            if (!RoundTrips(lone)) continue;
            MemoryForm form;
            for (const FieldDef& f : layout)
                if (RoundTrips(f)) Apply(form, f, 0);
            Apply(form, lone, 1);
            TxPayload tx;
            c.encode(form, tx);
            MemoryForm back;
            const test::Answer a = test::AnswerFromWrite(c.id, tx);
            ASSERT_TRUE(c.decode(back, a.View(), a.index));
            for (const FieldDef& f : layout)
                if (RoundTrips(f)) Expect(back, f, &f == &lone ? 1 : 0, c.name);
        }
    }
}

}  // namespace
}  // namespace quorvane
