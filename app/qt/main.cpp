// quorvane-editor: the parameter editor's window.
#include <QApplication>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/form1.h"
#include "app/qt/main_window.h"
#include "app/qt/widget_form.h"
#if QUORVANE_HAVE_SIMULATOR
#include "sim/pty_tracker.h"
#endif

namespace {

constexpr const char* kUsage =
    "Usage: quorvane-editor [--port NAME] [--simulate]\n"
    "\n"
    "  --port NAME        show NAME as the port to open (ttyUSB0, /dev/ttyACM0, ...)\n"
    "  --simulate         start a simulated tracker on a pseudo-terminal and preset its port;\n"
    "                     it stops when the editor closes\n"
    "  --help             show this text\n"
    "\n"
    "Qt's own options (-platform, -style, ...) are passed to Qt.\n";

struct Options {
    std::optional<std::string> port;
    bool simulate = false;
    bool help = false;
};

// Our options start with "--"; single-dash options are left to Qt.
std::optional<Options> Parse(int argc, char** argv, std::string& error) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&](std::string_view name) -> std::optional<std::string> {
            if (i + 1 >= argc) {
                error = std::string(name) + " needs a value";
                return std::nullopt;
            }
            return std::string(argv[++i]);
        };
        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--simulate") {
            o.simulate = true;
        } else if (arg == "--port") {
            if (!(o.port = value(arg))) return std::nullopt;
        } else if (arg.starts_with("--")) {
            error = "unknown option " + std::string(arg);
            return std::nullopt;
        } else if (arg.starts_with("-")) {
            // Qt's option; those with a value take the next argument along.
            static const std::string_view withValue[] = {"-platform", "-platformpluginpath", "-platformtheme",
                                                         "-plugin", "-qwindowgeometry", "-qwindowicon",
                                                         "-qwindowtitle", "-style", "-stylesheet", "-display",
                                                         "-geometry", "-title", "-name", "-session"};
            for (std::string_view w : withValue) {
                if (arg == w) ++i;
            }
        } else {
            error = "unexpected argument " + std::string(arg);
            return std::nullopt;
        }
    }
#if !QUORVANE_HAVE_SIMULATOR
    if (o.simulate) {
        error = "--simulate: this build has no simulated tracker (it runs on a pseudo-terminal)";
        return std::nullopt;
    }
#endif
    if (o.simulate && o.port) {
        error = "--port and --simulate both set the port; give one of them";
        return std::nullopt;
    }
    return o;
}

bool HasDisplay(int argc, char** argv) {
#if defined(_WIN32)
    (void)argc;
    (void)argv;
    return true;  // a Windows session always has its desktop
#else
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "-platform") return true;
    }
    return false;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const std::optional<Options> options = Parse(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "quorvane-editor: %s\n\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (options->help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!HasDisplay(argc, argv)) {
        std::fputs(
            "quorvane-editor: no display found (DISPLAY and WAYLAND_DISPLAY are unset), so the window cannot "
            "open.\n"
            "Run it from a terminal inside a desktop session, or on a machine without a screen under a virtual\n"
            "one:  xvfb-run -a quorvane-editor\n",
            stderr);
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quorvane-editor"));

    std::optional<std::string> port = options->port;
#if QUORVANE_HAVE_SIMULATOR
    // Declared before the window so that it stops after the window has closed the port.
    std::unique_ptr<quorvane::sim::PtyTracker> tracker;
    if (options->simulate) {
        try {
            tracker = std::make_unique<quorvane::sim::PtyTracker>(quorvane::sim::PtyTrackerOptions{});
        } catch (const std::exception& e) {
            std::fprintf(stderr, "quorvane-editor: cannot start the simulated tracker: %s\n", e.what());
            return 1;
        }
        port = tracker->SlavePath();
    }
#endif

    const QByteArray programDir = QFile::encodeName(QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    quorvane::TForm1Window window(std::string(programDir.constData(), static_cast<std::size_t>(programDir.size())));
    window.Create();
    if (port) window.Controls().SetText("ComboBox1", *port);

    window.show();
    return QApplication::exec();
}
