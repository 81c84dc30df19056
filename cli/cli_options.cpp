#include "cli/cli_options.h"

#include <cmath>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "blocks/convert.h"
#include "station/escape.h"
#include "station/people_text.h"
#include "link/groups.h"
#include "platform/system.h"
#include "station/escape.h"

namespace quorvane {
namespace {

const std::map<std::string, CliCommand>& Commands() {
    static const std::map<std::string, CliCommand> commands = {
        {"ports", CliCommand::Ports},
        {"dump", CliCommand::Dump},
        {"info", CliCommand::Info},
        {"read", CliCommand::Read},
        {"read-all", CliCommand::ReadAll},
        {"write", CliCommand::Write},
        {"write-all", CliCommand::WriteAll},
        {"default", CliCommand::Default},
        {"clear-sms", CliCommand::ClearSms},
        {"clear-gprs1", CliCommand::ClearGprs1},
        {"clear-gprs2", CliCommand::ClearGprs2},
        {"clear-gps-log", CliCommand::ClearGpsLog},
        {"set-mileage", CliCommand::SetMileage},
        {"rfid-auth", CliCommand::RfidAuth},
        {"rfid-delete", CliCommand::RfidDelete},
        {"rfid-check", CliCommand::RfidCheck},
        {"temp-pair", CliCommand::TempPair},
        {"find", CliCommand::Find},
        {"diff", CliCommand::Diff},
    };
    return commands;
}

double ParseSeconds(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value) || value <= 0 ||
        value > 86400) {
        throw EUsage("--timeout takes a number of seconds above 0, not '" + text + "'");
    }
    return value;
}

int ParseCount(const std::string& option, const std::string& text) {
    std::size_t used = 0;
    int count = -1;
    try {
        count = std::stoi(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || count < 0 || count > 100) {
        throw EUsage(option + " takes a count from 0 to 100, not '" + text + "'");
    }
    return count;
}

// The code as the connect request takes it; a message names where it came from,
// never the code itself.
std::string CheckedAuth(std::string code, const std::string& source) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!code.empty() && blank(code.back())) code.pop_back();
    std::size_t lead = 0;
    while (lead < code.size() && blank(code[lead])) ++lead;
    code.erase(0, lead);
    if (code.empty()) throw EUsage(source + " holds no authorization code");
    try {
        (void)StrToInt(code);
    } catch (const EConvertError&) {
        throw EUsage(source + " holds an authorization code that is not a whole number");
    }
    return code;
}

std::string AuthFromEnvironment(const std::string& name) {
    if (name.empty()) throw EUsage("--auth-env needs a variable name");
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) throw EUsage("--auth-env: the environment variable " + name + " is not set");
    return CheckedAuth(value, "the environment variable " + name);
}

std::string AuthFromFile(const std::string& path) {
    constexpr std::size_t kMaxAuthFile = 4096;
    std::string text;
    std::error_code error;
    if (!ReadWholeFile(path, kMaxAuthFile, text, error))
        throw EUsage("--auth-file " + path + ": cannot be read: " + FileErrorReason(error));
    const std::size_t end = text.find_first_of("\r\n");
    return CheckedAuth(text.substr(0, end), "the file " + path);
}

}  // namespace

std::string CommandWords(const CliOptions& options) {
    std::string words;
    for (const auto& [name, command] : Commands()) {
        if (command == options.command) words = name;
    }
    if (!options.group.empty()) words += " " + options.group;
    if (options.file) words += " " + *options.file;
    return words;
}

const char* CliUsage() {
    return "usage: quorvane-cli [OPTIONS] COMMAND [ARG]\n"
           "options:\n"
           "  --port NAME             serial port (ttyUSB0 or a device path)\n"
           "  --auth CODE             authorization code sent with the connect request\n"
           "  --auth-env NAME         the code from the environment variable NAME (not shown by ps)\n"
           "  --auth-file PATH        the code from the first line of the file PATH\n"
           "  --load FILE             load a settings file before the command\n"
           "  --set CONTROL=VALUE     set a control after --load (repeatable)\n"
           "  --timeout SECONDS       wait this long for the connect answer (default 10)\n"
           "  --trace FILE            write every frame and stray byte run on the line to FILE\n"
           "  --verify                with write, write-all: read back what was written and compare\n"
           "  --backup DIR            with write, write-all, default: save the tracker's settings to\n"
           "                          DIR/IMEI/YYYYMMDD-HHMMSS.ini first; nothing is written without it\n"
           "  --from-start-values     with write, write-all: controls not given by --load, --set or\n"
           "                          --per-tracker get the window's start values, not the tracker's\n"
           "several trackers:\n"
           "  --port NAME --port ...  run on several ports at once; --port all for every port\n"
           "  --per-tracker FILE.csv  values per tracker, by IMEI or SN, on top of --load/--set\n"
           "  --report FILE           append one JSON line per tracker and attempt\n"
           "  --json                  stdout: one JSON object per port (dump: one object)\n"
           "  --retry N               try a failed port again up to N times\n"
           "  --repeat                keep serving trackers until Ctrl+C\n"
           "commands:\n"
           "  ports | dump [GROUP] | info | read GROUP [FILE] | read-all [FILE]\n"
           "  write GROUP | write-all | default | clear-sms | clear-gprs1 | clear-gprs2\n"
           "  clear-gps-log | set-mileage | rfid-auth | rfid-delete | rfid-check | temp-pair\n"
           "  find [PORT...]          ask every listed port (or --port and these) for a tracker\n"
           "  diff A B (A, B: a settings file or 'tracker'; exit 0 equal, 1 different, 2 not compared)\n"
           "groups: gprs main interface temp auth geo event\n";
}

CliOptions ParseCliArguments(const std::vector<std::string>& args) {
    CliOptions options;
    options.arguments = args;
    std::size_t i = 0;
    auto value = [&](const std::string& option) -> std::string {
        if (i + 1 >= args.size()) throw EUsage(option + " needs a value");
        return args[++i];
    };
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0) break;
        if (arg == "--port") {
            options.ports.push_back(value(arg));
            if (options.ports.back().empty()) throw EUsage("--port needs a name");
            if (options.port.empty()) options.port = options.ports.back();
        } else if (arg == "--auth") {
            options.auth = value(arg);
            options.authHidden = false;
        } else if (arg == "--auth-env") {
            const std::string name = value(arg);
            options.auth = AuthFromEnvironment(name);
            options.authHidden = true;
        } else if (arg == "--auth-file") {
            const std::string path = value(arg);
            options.auth = AuthFromFile(path);
            options.authHidden = true;
        } else if (arg == "--load") {
            options.load = value(arg);
        } else if (arg == "--set") {
            const std::string assignment = value(arg);
            const auto eq = assignment.find('=');
            if (eq == std::string::npos || eq == 0) {
                throw EUsage("--set takes CONTROL=VALUE, not '" + assignment + "'");
            }
            try {
                // Typed as UTF-8 where the terminal speaks it; the escapes stay bytes.
                options.sets.emplace_back(assignment.substr(0, eq),
                                          UnescapeValue(EightBitFromPeople(assignment.substr(eq + 1))));
            } catch (const std::invalid_argument& e) {  // EBadEscape, ENoEightBitForm
                throw EUsage("--set " + assignment.substr(0, eq) + ": " + e.what());
            }
        } else if (arg == "--timeout") {
            options.timeoutSeconds = ParseSeconds(value(arg));
        } else if (arg == "--trace") {
            options.trace = value(arg);
        } else if (arg == "--timing") {
            options.timing = true;
        } else if (arg == "--per-tracker") {
            options.perTracker = value(arg);
        } else if (arg == "--report") {
            options.report = value(arg);
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--retry") {
            options.retry = ParseCount(arg, value(arg));
        } else if (arg == "--repeat") {
            options.repeat = true;
        } else if (arg == "--verify") {
            options.verify = true;
        } else if (arg == "--from-start-values") {
            options.fromStartValues = true;
        } else if (arg == "--backup") {
            options.backupDir = value(arg);
            if (options.backupDir->empty()) throw EUsage("--backup needs a folder");
        } else {
            throw EUsage("unknown option " + arg);
        }
    }
    if (i >= args.size()) throw EUsage("no command given");
    const auto command = Commands().find(args[i]);
    if (command == Commands().end()) throw EUsage("unknown command '" + args[i] + "'");
    options.command = command->second;
    std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());

    auto expectGroup = [&](bool required) {
        if (rest.empty()) {
            if (required) throw EUsage(args[i] + " needs a GROUP");
            return;
        }
        if (!FindGroup(rest.front())) throw EUsage("unknown group '" + rest.front() + "'");
        options.group = rest.front();
        rest.erase(rest.begin());
    };
    switch (options.command) {
        case CliCommand::Dump: expectGroup(false); break;
        case CliCommand::Read:
        case CliCommand::Write: expectGroup(true); break;
        default: break;
    }
    if ((options.command == CliCommand::Read || options.command == CliCommand::ReadAll) && !rest.empty()) {
        options.file = rest.front();
        rest.erase(rest.begin());
    }
    if (options.command == CliCommand::Find) {
        options.findPorts = options.ports;
        options.findPorts.insert(options.findPorts.end(), rest.begin(), rest.end());
        rest.clear();
    }
    if (options.command == CliCommand::Diff) {
        if (rest.size() != 2) throw EUsage("diff needs two sides: a settings file or 'tracker' each");
        options.diffA = rest[0];
        options.diffB = rest[1];
        rest.clear();
    }
    if (!rest.empty()) throw EUsage("unexpected argument '" + rest.front() + "'");
    const bool writes = options.command == CliCommand::Write || options.command == CliCommand::WriteAll;
    if (options.verify && !writes) throw EUsage("--verify goes with write or write-all");
    if (options.fromStartValues && !writes) throw EUsage("--from-start-values goes with write or write-all");
    if (options.backupDir && !writes && options.command != CliCommand::Default)
        throw EUsage("--backup goes with write, write-all or default");
    bool needsPort = options.command != CliCommand::Ports && options.command != CliCommand::Dump &&
                     options.command != CliCommand::Find;
    if (options.command == CliCommand::Diff)
        needsPort = options.diffA == kDiffTracker || options.diffB == kDiffTracker;
    if (needsPort && options.port.empty()) throw EUsage(args[i] + " needs --port");
    return options;
}

}  // namespace quorvane
