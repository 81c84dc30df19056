#include "tests/qt/qt_test_support.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QFile>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <utility>

#include "app/form1.h"

namespace quorvane::qt_test {

namespace {

// One QApplication for the whole test program, created before the first test.
class QtApplication : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        // The user's options and folders go to a scratch place, never the real ones,
        // and one of this process's own: test programs run side by side, and a shared
        // options file would let one test's switches leak into another's window.
        home_ = std::make_unique<QTemporaryDir>();
        if (home_->isValid()) {
            for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
                qputenv(name, QDir(home_->path()).filePath(QString::fromLatin1(name)).toLocal8Bit());
        }
        QStandardPaths::setTestModeEnabled(true);
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override {
        app_.reset();
        home_.reset();
    }

private:
    int argc_ = 1;
    char name_[16] = "quorvane_qt";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QTemporaryDir> home_;
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kApplication =
    ::testing::AddGlobalTestEnvironment(new QtApplication);

void Activate(QWidget& window, int menuHeight) {
    window.resize(TForm1Window::kClientWidth, TForm1Window::kClientHeight + menuHeight);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

}  // namespace

BarePages::BarePages() {
    pages = new QTabWidget(&window);
    window.setCentralWidget(pages);
    built = BuildPages(*pages, rules);
    form = std::make_unique<WidgetForm>(window, *pages);
    // The window's status bar, so that the pages get the room they have in the window.
    ui = std::make_unique<QtUi>(window, *built.eventBox);
}

void BarePages::ShowActive() { Activate(window, 0); }

std::string ProgramDirOf(const QTemporaryDir& dir) {
    const QByteArray path = QFile::encodeName(dir.path() + QLatin1Char('/'));
    return std::string(path.constData(), static_cast<std::size_t>(path.size()));
}

Window::Window(std::vector<std::string> ports) {
    window = std::make_unique<TForm1Window>(ProgramDirOf(programDir));
    window->Logic().Watch().SetPortSource(
        std::make_shared<FunctionPortSource>([ports = std::move(ports)] { return BarePorts(ports); }));
    window->Create();
    // The tests tick the logic themselves.
    window->Timer1().stop();
    window->Timer2().stop();
}

void Window::ShowActive() { Activate(*window, window->menuBar()->sizeHint().height()); }

std::string BoxMessage(const QMessageBox& box) {
    std::string message = box.text().toStdString();
    if (!box.informativeText().isEmpty()) message += "\n" + box.informativeText().toStdString();
    return message;
}

std::string AnswerNextBox(const std::function<void()>& action, bool yes) {
    std::string text;
    bool answered = false;
    // A timer of this call: gone with it when no box opened.
    QTimer answer;
    answer.setSingleShot(true);
    answer.setInterval(0);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        text = BoxMessage(*box);
        answered = true;
        QAbstractButton* button = box->button(yes ? QMessageBox::Yes : QMessageBox::No);
        if (button == nullptr) button = box->button(QMessageBox::Ok);
        if (button != nullptr) button->click();
    });
    answer.start();
    action();
    EXPECT_TRUE(answered) << "no message box opened";
    return text;
}

BoxAnswerer::BoxAnswerer() {
    auto* timer = new QTimer;
    timer->setInterval(1);
    QObject::connect(timer, &QTimer::timeout, [this] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) return;
        texts_.push_back(BoxMessage(*box));
        QAbstractButton* button = box->button(QMessageBox::Ok);
        if (button == nullptr) button = box->button(QMessageBox::Yes);
        if (button != nullptr) button->click();
    });
    timer->start();
    timer_.reset(timer);
}

BoxAnswerer::~BoxAnswerer() = default;

std::string Caption(const QAction& action) {
    QString text = action.text();
    return text.remove(QLatin1Char('&')).toStdString();
}

}  // namespace quorvane::qt_test
