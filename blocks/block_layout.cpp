#include "blocks/block_layout.h"

#include <stdexcept>

#include "blocks/convert.h"
#include "blocks/field_fit.h"

namespace quorvane {

std::vector<std::string> FieldControls(const FieldDef& field) {
    switch (field.kind) {
    case FieldKind::Zero:
        return {};
    case FieldKind::Switches:
        return {field.control + "Answer", field.control + "Monitor", field.control + "Hangup",
                field.control + "Position"};
    case FieldKind::GeoAlarm:
        return {field.control + "In", field.control + "Out"};
    default:
        return {field.control};
    }
}

void EncodeField(const Form& form, const FieldDef& f, TxPayload& tx) {
    switch (f.kind) {
    case FieldKind::Text: {
        const std::string text = form.Text(f.control);
        CheckTextFits(f.control, text, f.width);
        AppendTextField(tx, text, f.width);
        break;
    }
    case FieldKind::ReadOnlyText:
        break;
    case FieldKind::Word:
        AppendWord(tx, static_cast<std::uint16_t>(UnsignedThatFits(f, form.Text(f.control))));
        break;
    case FieldKind::Byte:
        tx.Append(static_cast<std::uint8_t>(UnsignedThatFits(f, form.Text(f.control))));
        break;
    case FieldKind::Long:
        AppendLong(tx, UnsignedThatFits(f, form.Text(f.control)));
        break;
    case FieldKind::Index: {
        const int index = form.ItemIndex(f.control);
        CheckIndexFits(f.control, index, form.Items(f.control).size());
        tx.Append(IndexByte(index));
        break;
    }
    case FieldKind::Voltage:
        AppendWord(tx, VoltageThatFits(f, form.Text(f.control)));
        break;
    case FieldKind::Temperature:
        AppendWord(tx, TemperatureThatFits(f, form.Text(f.control)));
        break;
    case FieldKind::SensorId:
        tx.Append(SensorIdFromText(form.Text(f.control)));
        break;
    case FieldKind::Coordinate:
        AppendLong(tx, static_cast<std::uint32_t>(CoordinateThatFits(f, form.Text(f.control))));
        break;
    case FieldKind::TimeZone:
        AppendLong(tx, static_cast<std::uint32_t>(TimeZoneThatFits(f, form.Text(f.control))));
        break;
    case FieldKind::Switches: {
        const auto names = FieldControls(f);
        AppendWord(tx, SwitchWord({form.Checked(names[0]), form.Checked(names[1]),
                                   form.Checked(names[2]), form.Checked(names[3])}));
        break;
    }
    case FieldKind::GeoAlarm:
        tx.Append(GeoAlarmFlags(form.Checked(f.control + "In"), form.Checked(f.control + "Out")));
        break;
    case FieldKind::Zero:
        AppendZeros(tx, f.width);
        break;
    }
}

void DecodeField(Form& form, const FieldDef& f, std::span<const std::uint8_t> bytes) {
    switch (f.kind) {
    case FieldKind::Text:
    case FieldKind::ReadOnlyText:
        form.SetText(f.control, TextFromField(bytes));
        break;
    case FieldKind::Word:
        form.SetText(f.control, std::to_string(ReadWord(bytes, 0)));
        break;
    case FieldKind::Byte:
        form.SetText(f.control, std::to_string(bytes[0]));
        break;
    case FieldKind::Long:
        form.SetText(f.control, std::to_string(ReadLong(bytes, 0)));
        break;
    case FieldKind::Index:
        form.SetItemIndex(f.control, bytes[0]);
        break;
    case FieldKind::Voltage:
        form.SetText(f.control, VoltageToText(ReadWord(bytes, 0)));
        break;
    case FieldKind::Temperature:
        form.SetText(f.control, TemperatureToText(ReadWord(bytes, 0)));
        break;
    case FieldKind::SensorId:
        form.SetText(f.control, SensorIdToText(bytes.first<8>()));
        break;
    case FieldKind::Coordinate:
        form.SetText(f.control, CoordinateToText(static_cast<std::int32_t>(ReadLong(bytes, 0))));
        break;
    case FieldKind::TimeZone:
        form.SetText(f.control, TimeZoneToText(static_cast<std::int32_t>(ReadLong(bytes, 0))));
        break;
    case FieldKind::Switches: {
        const auto names = FieldControls(f);
        const AuthSwitches s = SwitchesFromWord(ReadWord(bytes, 0));
        form.SetChecked(names[0], s.answer);
        form.SetChecked(names[1], s.monitor);
        form.SetChecked(names[2], s.hangup);
        form.SetChecked(names[3], s.position);
        break;
    }
    case FieldKind::GeoAlarm:
        form.SetChecked(f.control + "In", GeoInAlarm(bytes[0]));
        form.SetChecked(f.control + "Out", GeoOutAlarm(bytes[0]));
        break;
    case FieldKind::Zero:
        break;
    }
}

void EncodeLayout(const Form& form, BlockId id, const BlockLayout& layout, TxPayload& tx) {
    const BlockInfo& block = Block(id);
    BeginWriteRequest(tx, id);
    try {
        for (const FieldDef& f : layout) {
            if (f.kind == FieldKind::ReadOnlyText) continue;
            if (tx.length - kBlockHeaderLength + block.writeOffset != f.offset)
                throw std::logic_error("block layout out of order at " + f.control);
            ConvertBox(f.control, [&] { EncodeField(form, f, tx); });
        }
    } catch (...) {
        tx.Clear();
        throw;
    }
    if (tx.length - kBlockHeaderLength != block.writeLength || tx.overflow) {
        tx.Clear();
        throw std::logic_error("block layout does not fill its block");
    }
    FinishWriteRequest(tx);
}

bool DecodeLayout(Form& form, BlockId id, const BlockLayout& layout,
                  std::span<const std::uint8_t> answer, std::size_t index) {
    if (!AnswerHoldsBlock(id, answer, index)) return false;
    const BlockInfo& block = Block(id);
    for (const FieldDef& f : layout)
        if (f.kind != FieldKind::Zero &&
            (f.offset < block.readOffset || f.offset + f.width - block.readOffset > block.dataUsed))
            throw std::logic_error("block layout reads beyond its block at " + f.control);
    const auto data = answer.subspan(index + 4);
    for (const FieldDef& f : layout) {
        if (f.kind == FieldKind::Zero) continue;
        DecodeField(form, f, data.subspan(f.offset - block.readOffset, f.width));
    }
    return true;
}

}  // namespace quorvane
