#include "blocks/event_block.h"

#include <string>

#include "blocks/convert.h"
#include "blocks/event_catalogue.h"
#include "blocks/field_fit.h"
#include "blocks/memory_map.h"

namespace quorvane {

namespace {

constexpr FlagGroup kGroups[kFlagGroupCount] = {FlagGroup::Gprs, FlagGroup::Sms, FlagGroup::Call,
                                                FlagGroup::Moni, FlagGroup::Out};

std::uint8_t GroupFlags(const Form& form, const EventDef& event, FlagGroup group) {
    std::uint8_t bits = 0;
    for (const EventFlag& f : EventFlagsInColumnOrder())
        if (f.group == group && form.Checked(event.prefix + f.name)) bits |= 1U << (f.number - 1);
    return bits;
}

void SetGroupFlags(Form& form, const EventDef& event, FlagGroup group, std::uint8_t bits) {
    for (const EventFlag& f : EventFlagsInColumnOrder())
        if (f.group == group) form.SetChecked(event.prefix + f.name, FlagBit(bits, f.number - 1));
}

}  // namespace

void EncodeEventBlock(const Form& form, TxPayload& tx) {
    BeginWriteRequest(tx, BlockId::Event);
    for (int code = 0; code < kEventCodeCount; ++code) {
        const EventDef* event = FindEvent(code);
        if (!event) {
            AppendZeros(tx, kEventRecordLength);
            continue;
        }
        if (event->nameEdit.empty()) {
            AppendZeros(tx, kEventNameWidth);
        } else {
            const std::string name = form.Text(event->nameEdit);
            try {
                CheckTextFits(event->nameEdit, name, kEventNameWidth);
            } catch (EConvertError& e) {
                tx.Clear();
                e.NameControl(event->nameEdit);
                throw;
            }
            AppendTextField(tx, name, kEventNameWidth);
        }
        for (FlagGroup g : kGroups) tx.Append(event->Has(g) ? GroupFlags(form, *event, g) : 0);
        AppendZeros(tx, kEventRecordLength - kEventFlagsOffset - kFlagGroupCount);
    }
    FinishWriteRequest(tx);
}

bool DecodeEventBlock(Form& form, std::span<const std::uint8_t> answer, std::size_t index) {
    if (!AnswerHoldsBlock(BlockId::Event, answer, index)) return false;
    const auto data = answer.subspan(index + 4);
    for (const EventDef& event : EventCatalogue()) {
        const auto record = data.subspan(kEventRecordLength * static_cast<std::size_t>(event.code));
        if (!event.nameEdit.empty())
            form.SetText(event.nameEdit, TextFromField(record.first(kEventNameWidth)));
        if (event.code == kReplyCurrentCode) continue;
        for (FlagGroup g : kGroups)
            if (event.Has(g))
                SetGroupFlags(form, event, g, record[kEventFlagsOffset + static_cast<std::size_t>(g)]);
    }
    return true;
}

}  // namespace quorvane
