#include "trust/stored_value.h"

#include <map>

#include "model/memory_form.h"
#include "blocks/blocks.h"
#include "blocks/event_catalogue.h"

namespace quorvane {

namespace {

void AddLayout(std::vector<StoredUnit>& units, BlockId block, const BlockLayout& layout) {
    for (const FieldDef& f : layout) {
        switch (f.kind) {
        case FieldKind::Zero:
        case FieldKind::ReadOnlyText:
            break;
        case FieldKind::Switches: {
            const std::vector<std::string> names = FieldControls(f);
            for (std::size_t i = 0; i < names.size(); ++i) units.push_back({names[i], block, f, 1U << i, true});
            break;
        }
        case FieldKind::GeoAlarm:
            units.push_back({f.control + "Out", block, f, GeoAlarmFlags(false, true), true});
            units.push_back({f.control + "In", block, f, GeoAlarmFlags(true, false), true});
            break;
        default:
            units.push_back({f.control, block, f, 0, true});
            break;
        }
    }
}

void AddEvents(std::vector<StoredUnit>& units) {
    for (const EventDef& e : EventCatalogue()) {
        const auto record = static_cast<std::uint16_t>(kEventRecordLength * static_cast<std::size_t>(e.code));
        if (!e.nameEdit.empty())
            units.push_back({e.nameEdit, BlockId::Event,
                             FieldDef{record, static_cast<std::uint16_t>(kEventNameWidth), FieldKind::Text, e.nameEdit},
                             0, true});
        for (const EventFlag& f : EventFlagsInColumnOrder()) {
            if (!e.Has(f.group)) continue;
            const auto at = static_cast<std::uint16_t>(record + kEventFlagsOffset + static_cast<std::size_t>(f.group));
            units.push_back({e.prefix + f.name, BlockId::Event, FieldDef{at, 1, FieldKind::Byte, ""},
                             1U << (f.number - 1), e.code != kReplyCurrentCode});
        }
    }
}

std::vector<StoredUnit> BuildUnits() {
    std::vector<StoredUnit> units;
    AddLayout(units, BlockId::Gprs, GprsBlockLayout());
    AddLayout(units, BlockId::Main, MainBlockLayout());
    AddLayout(units, BlockId::MainExt, MainExtBlockLayout());
    AddLayout(units, BlockId::Interface, InterfaceBlockLayout());
    AddLayout(units, BlockId::Temperature, TemperatureBlockLayout());
    AddLayout(units, BlockId::Sms, SmsBlockLayout());
    AddLayout(units, BlockId::GeoFence, GeoFenceBlockLayout());
    AddEvents(units);
    return units;
}

// The field's bytes inside `data`, or an empty span when `data` does not hold them.
std::span<const std::uint8_t> FieldBytes(std::span<const std::uint8_t> data, std::uint16_t dataOffset,
                                         const FieldDef& field) {
    if (field.offset < dataOffset) return {};
    const std::size_t at = field.offset - dataOffset;
    if (at + field.width > data.size()) return {};
    return data.subspan(at, field.width);
}

bool MaskedBit(std::span<const std::uint8_t> bytes, std::uint32_t mask) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < bytes.size() && i < 4; ++i) value |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
    return (value & mask) != 0;
}

const char* CheckText(bool checked) { return checked ? "checked" : "clear"; }

}  // namespace

const std::vector<StoredUnit>& StoredUnits() {
    static const std::vector<StoredUnit> units = BuildUnits();
    return units;
}

const StoredUnit* FindStoredUnit(std::string_view control) {
    static const std::map<std::string, const StoredUnit*, std::less<>> index = [] {
        std::map<std::string, const StoredUnit*, std::less<>> m;
        for (const StoredUnit& u : StoredUnits()) m.emplace(u.control, &u);
        return m;
    }();
    const auto it = index.find(control);
    return it == index.end() ? nullptr : it->second;
}

std::optional<std::string> StoredValueOf(const Form& form, const StoredUnit& unit) {
    if (unit.mask != 0) return std::string(form.Checked(unit.control) ? "1" : "0");
    TxPayload tx;
    try {
        EncodeField(form, unit.field, tx);
    } catch (const EConvertError&) {
        return std::nullopt;
    }
    const auto bytes = tx.View();
    return std::string(bytes.begin(), bytes.end());
}

std::optional<std::string> StoredValueOf(std::span<const std::uint8_t> data, std::uint16_t dataOffset,
                                         const StoredUnit& unit) {
    const auto bytes = FieldBytes(data, dataOffset, unit.field);
    if (bytes.empty()) return std::nullopt;
    if (unit.mask != 0) return std::string(MaskedBit(bytes, unit.mask) ? "1" : "0");
    return std::string(bytes.begin(), bytes.end());
}

std::string ShownValue(const Form& form, const ControlDef& control) {
    switch (control.kind) {
    case ControlKind::CheckBox:
        return CheckText(form.Checked(control.name));
    case ControlKind::ComboBox: {
        const int index = form.ItemIndex(control.name);
        const std::vector<std::string> items = form.Items(control.name);
        if (index < 0 || static_cast<std::size_t>(index) >= items.size()) return "(none)";
        return items[static_cast<std::size_t>(index)];
    }
    default:
        return form.Text(control.name);
    }
}

std::string ShownValueOf(std::span<const std::uint8_t> data, std::uint16_t dataOffset, const StoredUnit& unit) {
    const auto bytes = FieldBytes(data, dataOffset, unit.field);
    if (bytes.empty()) return "(not read)";
    if (unit.mask != 0) return CheckText(MaskedBit(bytes, unit.mask));
    const ControlDef* control = FindControl(unit.control);
    if (control == nullptr) return {};
    MemoryForm scratch;
    DecodeField(scratch, unit.field, bytes);
    return ShownValue(scratch, *control);
}

std::string ControlLabel(const ControlDef& control) {
    const TableHeadings* table = FindTable(control.group);
    if (table != nullptr && control.row >= 0) {
        const auto row = static_cast<std::size_t>(control.row);
        const auto column = static_cast<std::size_t>(control.column);
        const bool hasColumn = control.column >= 0 && column < table->columns.size();
        if (control.group == "ScrollBox1" && row < EventCatalogue().size()) {
            const EventDef& e = EventCatalogue()[row];
            std::string label = "(" + std::to_string(e.code) + ") " + e.name + ": ";
            if (hasColumn) return label + table->columnGroups[column] + " " + table->columns[column];
            return label + control.label;
        }
        if (!table->rows.empty() && row < table->rows.size() && hasColumn)
            return table->columns[column] + " " + table->rows[row];
        if (!table->numberHeading.empty() && hasColumn) {
            const std::string& h = table->numberHeading;
            return h + (h.back() == '.' ? "" : " ") + std::to_string(row + 1) + " " + table->columns[column];
        }
    }
    if (!control.labelControl.empty()) {
        const ControlDef* label = FindControl(control.labelControl);
        if (label != nullptr && !label->label.empty()) return label->label;
    }
    return control.label.empty() ? control.name : control.label;
}

std::string TabCaption(std::string_view tabSheet) {
    for (const TabDef& t : Tabs())
        if (t.name == tabSheet) return t.caption;
    return std::string(tabSheet);
}

}  // namespace quorvane
