#include "blocks/interface_block.h"

#include <array>
#include <stdexcept>

namespace quorvane {

const BlockLayout& InterfaceBlockLayout() {
    using K = FieldKind;
    static const BlockLayout layout{
        {34, 1, K::Index, "In1Mode"},
        {35, 2, K::Word, "IN1ActiveTM"},
        {37, 1, K::Index, "In2Mode"},
        {38, 2, K::Word, "IN2ActiveTM"},
        {40, 1, K::Index, "In3Mode"},
        {41, 2, K::Word, "IN3ActiveTM"},
        {43, 1, K::Index, "In4Mode"},
        {44, 2, K::Word, "IN4ActiveTM"},
        {46, 1, K::Index, "In5Mode"},
        {47, 2, K::Word, "IN5ActiveTM"},
        {49, 1, K::Index, "In6Mode"},
        {50, 2, K::Word, "IN6ActiveTM"},
        {52, 6, K::Zero, ""},
        {58, 16, K::Text, "Tank1Name"},
        {74, 1, K::Index, "Tank1Type"},
        {75, 1, K::Index, "Tank1Source"},
        {76, 2, K::Word, "Tank1Lenght"},
        {78, 2, K::Word, "Tank1Wide"},
        {80, 2, K::Word, "Tank1High"},
        {82, 1, K::Byte, "Tank1Steal"},
        {83, 1, K::Byte, "Tank1StealTM"},
        {84, 1, K::Byte, "Tank1Low"},
        {85, 5, K::Zero, ""},
        {90, 16, K::Text, "Tank2Name"},
        {106, 1, K::Index, "Tank2Type"},
        {107, 1, K::Index, "Tank2Source"},
        {108, 2, K::Word, "Tank2Lenght"},
        {110, 2, K::Word, "Tank2Wide"},
        {112, 2, K::Word, "Tank2High"},
        {114, 1, K::Byte, "Tank2Steal"},
        {115, 1, K::Byte, "Tank2StealTM"},
        {116, 1, K::Byte, "Tank2Low"},
        {117, 5, K::Zero, ""},
        {122, 1, K::Index, "Out1Mode"},
        {123, 2, K::Word, "Out1TM"},
        {125, 2, K::Word, "Out1OnTM"},
        {127, 2, K::Word, "Out1OffTM"},
        {129, 1, K::Byte, "Out1Speed"},
        {130, 1, K::Index, "Out2Mode"},
        {131, 2, K::Word, "Out2TM"},
        {133, 2, K::Word, "Out2OnTM"},
        {135, 2, K::Word, "Out2OffTM"},
        {137, 1, K::Byte, "Out2Speed"},
        {138, 48, K::Zero, ""},
        {186, 1, K::Index, "RS232_1"},
        {187, 1, K::Index, "RS232_2"},
        {188, 2, K::Zero, ""},
    };
    return layout;
}

void EncodeInterfaceBlock(const Form& form, TxPayload& tx) {
    EncodeLayout(form, BlockId::Interface, InterfaceBlockLayout(), tx);
}

bool DecodeInterfaceBlock(Form& form, std::span<const std::uint8_t> answer, std::size_t index) {
    return DecodeLayout(form, BlockId::Interface, InterfaceBlockLayout(), answer, index);
}

namespace {

constexpr std::array<InputRowControls, 6> kInputRows{{
    {"In1Mode", "IN1ActiveTM", "Label219", "Label220", "Label221"},
    {"In2Mode", "IN2ActiveTM", "Label218", "Label222", "Label223"},
    {"In3Mode", "IN3ActiveTM", "Label214", "Label224", "Label225"},
    {"In4Mode", "IN4ActiveTM", "Label215", "Label226", "Label227"},
    {"In5Mode", "IN5ActiveTM", "Label216", "Label228", "Label229"},
    {"In6Mode", "IN6ActiveTM", "Label217", "Label230", "Label231"},
}};

void ShowRow(Form& form, int row, bool visible) {
    const InputRowControls& r = InputRow(row);
    for (const char* name : {r.label, r.mode, r.activeTimeLabel, r.time, r.msLabel})
        form.SetVisible(name, visible);
}

void NameRow(Form& form, int row, const char* caption) { form.SetCaption(InputRow(row).label, caption); }

void SelectMode(Form& form, int row, int mode) { form.SetItemIndex(InputRow(row).mode, mode); }

}  // namespace

const InputRowControls& InputRow(int row) {
    if (row < 1 || row > static_cast<int>(kInputRows.size())) throw std::out_of_range("no input row");
    return kInputRows[static_cast<std::size_t>(row - 1)];
}

void AdaptInputRowsToModel(Form& form, std::string_view firmware, bool settingsLoaded) {
    constexpr int kLowActive = 0, kHighActive = 1, kAdInput = 2;
    const bool isKr310 = firmware.find("KR310") != std::string_view::npos;
    const bool isKr420 = !isKr310 && firmware.find("KR420") != std::string_view::npos;
    if (isKr310) {
        for (int row = 3; row <= 6; ++row) ShowRow(form, row, true);
        NameRow(form, 1, "Input1");
        NameRow(form, 2, "Input2");
        NameRow(form, 3, "Input3");
        NameRow(form, 4, "Input4");
    } else if (isKr420) {
        ShowRow(form, 3, true);
        ShowRow(form, 4, true);
        ShowRow(form, 5, false);
        ShowRow(form, 6, false);
        NameRow(form, 1, "Input1");
        NameRow(form, 2, "Input2");
        NameRow(form, 3, "Input3(AD2)");
        NameRow(form, 4, "Input4(AD1)");
    } else {
        for (int row = 3; row <= 6; ++row) ShowRow(form, row, false);
        NameRow(form, 1, "Input1(AD1)");
        NameRow(form, 2, "Input2(AD2)");
    }
    if (settingsLoaded) return;
    SelectMode(form, 1, kLowActive);
    SelectMode(form, 2, kHighActive);
    if (isKr310 || isKr420) {
        SelectMode(form, 3, kHighActive);
        SelectMode(form, 4, kAdInput);
    }
}

}  // namespace quorvane
