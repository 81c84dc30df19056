// The operations of the engine fuzz target's input, shared with the seed generator.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "model/window_model.h"

namespace quorvane::fuzz {

enum EngineOp : std::uint8_t {
    OpStart,           // [handler]                        a start handler, see kHandlers
    OpRawBlock,        // [length (2)][bytes]              a received block as it stands
    OpFramedAnswer,    // [command][length (2)][payload]   a frame with a valid CRC, in port-sized blocks
    OpTick,            //                                  Timer2Timer
    OpSetText,         // [box (2)][length][text]          an edit's or memo's text
    OpSetIndex,        // [box (2)][index, signed]         a combo box's selection
    OpNestedBlock,     // [length (2)][bytes]              delivered inside the next message box
    OpNestedTick,      //                                  a tick inside the next message box
    OpWriterResult,    // [accepts]                        whether the port queues the next requests
    OpConfirmAnswer,   // [yes]                            the answer to Yes/No questions
    OpDiscard,         //                                  DiscardReceived
    OpSettingsLoaded,  // [loaded]                         the flag DecodeDeviceInfo is given
    OpCount
};

// Handler numbers of OpStart, in the order of the target's table.
enum EngineHandler : std::uint8_t {
    HConnect, HReadAll, HWriteAll,
    HGprsWrite, HMainWrite, HInterfaceWrite, HTempWrite, HSmsWrite, HGeoWrite, HEventWrite,
    HGprsRead, HMainRead, HInterfaceRead, HTempRead, HSmsRead, HGeoRead, HEventRead,
    HInitAll, HClearSms, HClearGprs1, HClearGprs2, HClearGpsLog, HSetMileage,
    HSetId, HDelId, HChkId, HTempPair,
    HandlerCount
};

// The boxes OpSetText and OpSetIndex number, in window model order.
inline std::vector<std::string> ControlNames(std::initializer_list<ControlKind> kinds) {
    std::vector<std::string> names;
    for (const ControlDef& c : Controls())
        for (ControlKind k : kinds)
            if (c.kind == k) names.push_back(c.name);
    return names;
}
inline const std::vector<std::string>& TextBoxes() {
    static const std::vector<std::string> names = ControlNames({ControlKind::Edit, ControlKind::Memo});
    return names;
}
inline const std::vector<std::string>& ComboBoxes() {
    static const std::vector<std::string> names = ControlNames({ControlKind::ComboBox});
    return names;
}

}  // namespace quorvane::fuzz
