// quorvane-cli: the editor's logic without a window, for provisioning from scripts.
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/cli_runner.h"
#include "platform/system.h"
#include "station/escape.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args.front() == "--help" || args.front() == "-h")) {
        std::cout << quorvane::CliUsage();
        return quorvane::kExitDone;
    }
    try {
        quorvane::CliOptions options = quorvane::ParseCliArguments(args);
        if (argc > 0 && argv[0] != nullptr && argv[0][0] != '\0') options.program = argv[0];
        return quorvane::RunCli(options, std::cout, std::cerr, quorvane::ProgramDir(argv[0]));
    } catch (const quorvane::EUsage& e) {
        std::cerr << "error: " << quorvane::EscapeValue(e.what()) << '\n' << quorvane::CliUsage();
        return quorvane::kExitNoStart;
    } catch (const std::exception& e) {
        std::cerr << "error: " << quorvane::EscapeValue(e.what()) << '\n';
        return quorvane::kExitFailed;
    }
}
