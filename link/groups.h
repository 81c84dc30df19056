// The parameter groups the editor reads and writes, each one tab of the window and
// one or more blocks, with the names its front ends know it by and the texts the
// engine shows for it; and the operations the engine runs, with how each ended.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "seams/form.h"
#include "blocks/memory_map.h"
#include "blocks/payload.h"

namespace quorvane {

struct Group {
    const char* name;            // on the command line: "gprs"
    const char* title;           // in the window's words: "GPRS" ("Read GPRS")
    const char* tab;             // "TabSheet2"
    const char* readHandler;     // "GPRSReadClick"
    const char* writeHandler;    // "GPRSWriteClick"
    std::span<const BlockId> blocks;  // in the order they go over the line
    const char* reading;         // "Reading GPRS..."
    const char* writing;         // "Writing GPRS..."
    const char* readOk;          // "Read GPRS OK", once its last block is read
    const char* writeOk;         // "Write GPRS OK"
    const char* readCompleted;   // "Read GPRS Completed!"
    const char* writeCompleted;  // "Write GPRS Completed!"
};

// In the window's tab order, which is also the order "Read All" goes through them.
std::span<const Group> Groups();
const Group* FindGroup(std::string_view name);
// The group a block belongs to.
const Group& GroupOf(BlockId block);
// "Read All" / "Write All": every group's blocks, in order, and their own texts
// (its name is "all" and it has no tab).
const Group& AllGroups();

// The encoder and decoder of a parameter block (none for the Device ID).
using BlockEncoder = void (*)(const Form&, TxPayload&);
using BlockDecoder = bool (*)(Form&, std::span<const std::uint8_t>, std::size_t);
BlockEncoder EncoderOf(BlockId block);
BlockDecoder DecoderOf(BlockId block);
// Encodes each of the group's blocks and drops the payloads: the first EConvertError
// (a text that does not convert, a value that does not fit) propagates. A write runs
// it before its first block goes out, so it never stops halfway.
void EncodeEveryBlock(const Form& form, const Group& group);

// What the engine runs: one group's read or write, all groups', or a one-shot command.
enum class Operation : std::uint8_t {
    Connect,  // the connect answer and the automatic Device ID read after it
    ReadGroup,
    WriteGroup,
    ReadAll,
    WriteAll,
    Default,
    ClearSms,
    ClearGprs1,
    ClearGprs2,
    ClearGpsLog,
    SetMileage,
    AuthorizeId,
    DeleteId,
    CheckId,
    TemperaturePair,
};

// The window's name for a one-shot operation ("Default", "Clear SMS Buffer"); "" for
// the connect and the group operations, which a Group names.
const char* TitleOf(Operation op);

// The button handler that starts `op`; `group` names the group of a group's read
// or write and is ignored otherwise.
const char* HandlerOf(Operation op, const Group* group = nullptr);
// The operation a button handler starts, and its group; nullopt for other names.
struct HandlerTarget {
    Operation op;
    const Group* group;
};
std::optional<HandlerTarget> OperationOfHandler(std::string_view handler);

enum class Outcome : std::uint8_t {
    Completed,
    AnswerError,  // the answer was for another command ("Read Error!", "Write Error!")
    Refused,      // the tracker answered with an error status ("Auth ID Error!")
    Busy,         // the tracker is still at it ("Under Authorization...", "Deleting ID...")
    TimedOut,     // no answer in time ("Read Overtime!")
    Restarted,    // a connect request replaced it, without a report
    Abandoned,    // the port went away, without a report
};

// How an operation ended, reported once per operation.
struct OperationResult {
    Operation op = Operation::ReadGroup;
    const Group* group = nullptr;  // the group read or written; AllGroups() for all
    Outcome outcome = Outcome::Completed;
    int blocksDone = 0;   // blocks acknowledged or decoded
    int blocksTotal = 0;  // blocks the operation covers; 0 for one-shot commands
    std::string text;     // the notice shown; empty when nothing was shown
};

}  // namespace quorvane
