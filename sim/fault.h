// Faults the simulated tracker can be told to commit, by name, so that a test or a
// technician provokes a situation by saying what it is: "no-answer", "split-answer".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::sim {

enum class Fault {
    NoAnswer,       // the request is carried out, its answer is lost
    CorruptCrc,     // the answer goes out with a wrong CRC
    SplitAnswer,    // the answer goes out in two parts with a pause between them
    GarbageBefore,  // line noise precedes the answer in the same burst
    WrongCommand,   // the answer carries another command code than the request
    // The request is not carried out and the answer says so: its status is 0 (or 2 for
    // Refused); a connect answer's authorization result is 0 for both. Read answers
    // carry no status and go out unchanged; so does the ID list under StatusZero,
    // while Refused answers a check with the lone status 2.
    StatusZero,
    Refused,
    BootText,       // the tracker restarts: its boot banner instead of the answer
    // A write is acknowledged as done, but the first data byte is stored one higher
    // than sent (wrapping at 255); other answers go out unchanged.
    StoreWrong,
    // The answer goes out, and the same answer again kRepeatPauseMs later: by then the
    // editor awaits its next request's answer.
    RepeatAnswer,
    // The answer sent before this one goes out again first, and this answer
    // kRepeatPauseMs after it. With no earlier answer, only this one goes out.
    StaleAnswer,
    // A busy tracker: the answer goes out kLateAnswerMs after the request, so the
    // editor's connect poll repeats its request meanwhile; the answer after this one
    // follows it only kSplitPauseMs later still, as the tracker works through what
    // queued up.
    LateAnswer,
};

// The pause between the two parts of a split answer; longer than the 30 ms of silence
// after which the editor's port delivers what it has received.
inline constexpr int kSplitPauseMs = 60;
// Between an answer and its repeat (repeat-answer, stale-answer).
inline constexpr int kRepeatPauseMs = 50;
// How late a late answer goes out: after the editor's second connect request (its
// poll repeats every 500 ms), well inside the 4 s a read or write waits.
inline constexpr int kLateAnswerMs = 900;

struct FaultNameInfo {
    Fault fault;
    std::string_view name;
    std::string_view meaning;
};
const std::vector<FaultNameInfo>& FaultNames();

std::string_view FaultName(Fault fault);
std::optional<Fault> ParseFault(std::string_view name);

// A fault to commit on the next `count` answers (negative: on every answer), on
// answers to `command` only when it is given, after letting `skip` of them pass.
struct FaultPlan {
    Fault fault = Fault::NoAnswer;
    int count = 1;
    std::optional<std::uint8_t> command;
    int skip = 0;
};

// Parses NAME[:COUNT][@CMD][+SKIP]: COUNT a number from 1 or "all" (default 1), CMD a
// command code as 0x59 or 89, SKIP how many matching answers go out untouched first.
// Throws std::invalid_argument with a message naming the problem.
FaultPlan ParseFaultPlan(std::string_view text);

}  // namespace quorvane::sim
