#include "blocks/device_info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "model/memory_form.h"
#include "blocks/interface_block.h"
#include "tests/blocks/form_snapshot.h"

namespace quorvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

// One byte at a time: g++ 12 misreads a range insert into a fresh vector as out of bounds.
void AppendText(Bytes& b, std::string_view text) {
    for (char c : text) b.push_back(static_cast<std::uint8_t>(c));
}
void AppendBig(Bytes& b, std::uint32_t v, int width) {
    for (int k = width - 1; k >= 0; --k) b.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}

// Bytes before payload offset 5 (frame header, length, command, five payload bytes).
constexpr std::size_t kIndex = 10;

// The device information from `index` of `answer`, as the engine hands it on.
void Decode(Form& form, std::span<const std::uint8_t> answer, std::size_t index, bool loaded) {
    DecodeDeviceInfo(form, answer.subspan(std::min(index, answer.size())), loaded);
}

Bytes ConnectAnswer(std::string_view texts, bool withRfid) {
    Bytes b(kIndex, 0x2C);  // commas before the index must not matter
    AppendText(b, texts);
    const std::uint32_t pairs[4][2] = {{5, 3000}, {0, 1}, {4294967295U, 7}, {12, 0}};
    for (const auto& p : pairs) {
        AppendBig(b, p[0], 4);
        AppendBig(b, p[1], 4);
    }
    b.push_back(87);
    b.insert(b.end(), {0x00, 0x01, 0xE2, 0x40});
    if (withRfid) AppendBig(b, 513, 2);
    return b;
}

TEST(DeviceInfo, AllFields) {
    MemoryForm form;
    const Bytes answer = ConnectAnswer("KR420-V2.1,356789012345678,SN0001,", true);
    Decode(form, answer, kIndex, false);
    EXPECT_EQ(form.Text("Firmware"), "KR420-V2.1");
    EXPECT_EQ(form.Text("IMEI"), "356789012345678");
    EXPECT_EQ(form.Text("SN"), "SN0001");
    EXPECT_EQ(form.Text("SMSBuffer"), "5/3000");
    EXPECT_EQ(form.Text("GPRS1Buffer"), "0/1");
    EXPECT_EQ(form.Text("GPRS2Buffer"), "4294967295/7");
    EXPECT_EQ(form.Text("GPSLog"), "12/0");
    EXPECT_EQ(form.Text("Battery"), "87");
    EXPECT_EQ(form.Text("Mileage"), "123456");
    EXPECT_EQ(form.Text("RFID"), "513");
}

TEST(DeviceInfo, WithoutTheRfidCountTheBoxStays) {
    MemoryForm form;
    form.SetText("RFID", "9");
    Bytes answer = ConnectAnswer("FW,IMEI,SN,", false);
    Decode(form, answer, kIndex, false);
    EXPECT_EQ(form.Text("Mileage"), "123456");
    EXPECT_EQ(form.Text("RFID"), "9");
    answer.push_back(0x01);  // one byte is not a count
    Decode(form, answer, kIndex, false);
    EXPECT_EQ(form.Text("RFID"), "9");
}

TEST(DeviceInfo, EmptyTextFieldsKeepTheOthersInPlace) {
    MemoryForm form;
    form.SetText("IMEI", "old");
    Decode(form, ConnectAnswer(",,SN9,", true), kIndex, false);
    EXPECT_EQ(form.Text("Firmware"), "");
    EXPECT_EQ(form.Text("IMEI"), "");
    EXPECT_EQ(form.Text("SN"), "SN9");
    EXPECT_EQ(form.Text("SMSBuffer"), "5/3000");
    EXPECT_EQ(form.Text("Mileage"), "123456");
    EXPECT_EQ(form.Text("RFID"), "513");
}

// Every cut of the answer decodes what is there and leaves the rest; run under the
// address sanitizer this also shows nothing beyond the answer is read.
TEST(DeviceInfo, CutShortAnswersNeverReadBeyondTheirEnd) {
    const Bytes full = ConnectAnswer("KR310,IMEI1,SN1,", true);
    const std::vector<std::pair<std::size_t, const char*>> lastSet{
        {kIndex + 1, "Firmware"},        {kIndex + 6, "Firmware"},  {kIndex + 7, "IMEI"},
        {kIndex + 12, "IMEI"},           {kIndex + 13, "SN"},       {kIndex + 16, "SN"},
        {kIndex + 16 + 7, "SN"},         {kIndex + 16 + 8, "SMSBuffer"}, {kIndex + 16 + 31, "GPRS2Buffer"},
        {kIndex + 16 + 32, "GPSLog"},    {kIndex + 16 + 33, "Battery"}, {kIndex + 16 + 36, "Battery"},
        {kIndex + 16 + 37, "Mileage"},   {kIndex + 16 + 38, "Mileage"}, {kIndex + 16 + 39, "RFID"},
    };
    const std::vector<const char*> order{"Firmware", "IMEI", "SN", "SMSBuffer", "GPRS1Buffer",
                                         "GPRS2Buffer", "GPSLog", "Battery", "Mileage", "RFID"};
    for (const auto& [size, last] : lastSet) {
        MemoryForm form;
        for (const char* box : order) form.SetText(box, "untouched");
        const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size));
        Decode(form, std::span<const std::uint8_t>(cut), kIndex, true);
        bool reached = false;
        for (const char* box : order) {
            const bool set = !reached;
            if (std::string(box) == last) reached = true;
            EXPECT_EQ(form.Text(box) != "untouched", set) << "cut at " << size << ": " << box;
        }
    }
    for (std::size_t size = 0; size <= full.size(); ++size) {
        MemoryForm form;
        const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size));
        Decode(form, cut, kIndex, true);
    }
}

TEST(DeviceInfo, AnIndexAtOrBeyondTheEndChangesNothing) {
    MemoryForm form;
    const auto before = test::Snapshot(form);
    const Bytes answer(kIndex, ',');
    Decode(form, answer, kIndex, false);
    Decode(form, answer, kIndex + 100, false);
    EXPECT_EQ(test::Changed(before, test::Snapshot(form)), "");
}

TEST(DeviceInfo, AdaptsTheInputRowsToTheFirmware) {
    MemoryForm form;
    Decode(form, ConnectAnswer("QV-KR310-1.0,I,S,", true), kIndex, false);
    EXPECT_TRUE(form.Visible("In6Mode"));
    EXPECT_EQ(form.Caption("Label214"), "Input3");
}

class ModelAdaptation : public ::testing::Test {
protected:
    bool RowShown(int row) {
        const InputRowControls& r = InputRow(row);
        bool all = true, any = false;
        for (const char* name : {r.mode, r.time, r.label, r.activeTimeLabel, r.msLabel}) {
            all = all && form.Visible(name);
            any = any || form.Visible(name);
        }
        EXPECT_EQ(all, any) << "row " << row << " partly shown";
        return all;
    }
    std::vector<std::string> Labels() {
        std::vector<std::string> labels;
        for (int row = 1; row <= 6; ++row) labels.push_back(form.Caption(InputRow(row).label));
        return labels;
    }
    std::vector<int> Modes() {
        std::vector<int> modes;
        for (int row = 1; row <= 6; ++row) modes.push_back(form.ItemIndex(InputRow(row).mode));
        return modes;
    }
    MemoryForm form;
};

TEST_F(ModelAdaptation, Kr310ShowsAllSixRows) {
    form.SetCaption("Label217", "mine");  // the labels of inputs 5 and 6 are left as they are
    AdaptInputRowsToModel(form, "KR310 V1", false);
    for (int row = 1; row <= 6; ++row) EXPECT_TRUE(RowShown(row)) << row;
    EXPECT_EQ(Labels(), (std::vector<std::string>{"Input1", "Input2", "Input3", "Input4", "Input5(AD1)", "mine"}));
    EXPECT_EQ(Modes(), (std::vector<int>{0, 1, 1, 2, 2, 2}));
}

TEST_F(ModelAdaptation, Kr310WinsOverKr420) {
    AdaptInputRowsToModel(form, "KR420/KR310", false);
    EXPECT_TRUE(RowShown(5));
    EXPECT_EQ(form.Caption("Label214"), "Input3");
}

TEST_F(ModelAdaptation, Kr420ShowsFourRows) {
    AdaptInputRowsToModel(form, "KR310 V1", false);
    form.SetCaption("Label219", "x");
    for (int row = 1; row <= 4; ++row) form.SetItemIndex(InputRow(row).mode, -1);
    AdaptInputRowsToModel(form, "xKR420", false);
    EXPECT_TRUE(RowShown(3));
    EXPECT_TRUE(RowShown(4));
    EXPECT_FALSE(RowShown(5));
    EXPECT_FALSE(RowShown(6));
    EXPECT_EQ(Labels(), (std::vector<std::string>{"Input1", "Input2", "Input3(AD2)", "Input4(AD1)",
                                                  "Input5(AD1)", "Input6(AD2)"}));
    EXPECT_EQ(Modes(), (std::vector<int>{0, 1, 1, 2, 2, 2}));
}

TEST_F(ModelAdaptation, OtherModelsShowTwoRows) {
    AdaptInputRowsToModel(form, "KR210", false);
    EXPECT_TRUE(RowShown(1));
    EXPECT_TRUE(RowShown(2));
    for (int row = 3; row <= 6; ++row) EXPECT_FALSE(RowShown(row)) << row;
    EXPECT_EQ(Labels()[0], "Input1(AD1)");
    EXPECT_EQ(Labels()[1], "Input2(AD2)");
    EXPECT_EQ(Labels()[2], "Input3(AD2)");
    EXPECT_EQ(Modes(), (std::vector<int>{0, 1, -1, -1, 2, 2}));
}

TEST_F(ModelAdaptation, ALoadedSettingsFileKeepsTheModes) {
    for (int row = 1; row <= 6; ++row) form.SetItemIndex(InputRow(row).mode, 2);
    AdaptInputRowsToModel(form, "KR310", true);
    EXPECT_EQ(Modes(), (std::vector<int>(6, 2)));
    EXPECT_TRUE(RowShown(6));
    AdaptInputRowsToModel(form, "", true);
    EXPECT_EQ(Modes(), (std::vector<int>(6, 2)));
    EXPECT_FALSE(RowShown(3));
}

}  // namespace
}  // namespace quorvane
