#include "ShellTestSupport.h"

#include <gmock/gmock.h>

#include <QDialog>
#include <QDir>
#include <QKeyEvent>
#include <QMenuBar>
#include <QTest>
#include <cstdlib>

#include "gui/qt/DanishQtTexts.h"

namespace kxtest {

std::uint64_t SeededRandom::nextWide() {
    std::uint64_t mixed = (state_ += 0x9E3779B97F4A7C15);
    mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9;
    mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EB;
    return mixed ^ (mixed >> 31);
}

DialogResponder::DialogResponder(std::vector<Step> steps) : steps_(std::move(steps)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start(5);
    sinceStep_.start();
}

void DialogResponder::poll() {
    if (!finished() && steps_[next_]()) {
        ++next_;
        sinceStep_.restart();
    }
    if (visibleWindow<QDialog>() == nullptr) {
        sinceStep_.restart();
    }
    if (sinceStep_.elapsed() < 15000) {
        return;
    }
    sinceStep_.restart();
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible()) {
            const auto* box = qobject_cast<QMessageBox*>(dialog);
            ADD_FAILURE() << "unanswered \"" << utf8(dialog->windowTitle())
                          << "\": " << (box ? utf8(box->text()) : std::string());
            dialog->done(QDialog::Rejected);
        }
    }
}

DialogResponder::Step recordAndDismiss(SeenMessage& seen, std::function<void()> whileOpen) {
    return [&seen, whileOpen] {
        QMessageBox* box = visibleWindow<QMessageBox>(
            [](QMessageBox& candidate) { return candidate.parent() == nullptr; });
        if (box == nullptr) {
            return false;
        }
        seen = {utf8(box->text()), utf8(box->windowTitle()), box->icon(), box->windowModality(),
                QApplication::activeModalWidget() != nullptr};
        if (whileOpen) {
            whileOpen();
        }
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        return true;
    };
}

void typeText(QWidget& widget, const QString& text) {
    for (const uint codePoint : text.toUcs4()) {
        const QString key = QStringView(QChar::fromUcs4(codePoint)).toString();
        for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent event(type, Qt::Key_unknown, Qt::NoModifier, key);
            QApplication::sendEvent(&widget, &event);
        }
    }
}

namespace {
std::uint64_t testSeed() {
    const char* text = std::getenv("KX_TEST_SEED");
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 0) : 0x6B78716174657374;
}
}  // namespace

ShellTest::ShellTest() : seed(testSeed()), random(seed) {}

void ShellTest::SetUp() {
    RecordProperty("seed", std::to_string(seed));
    ASSERT_TRUE(folder.isValid());
    previousFolder = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder.path()));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
}

void ShellTest::TearDown() {
    QDir::setCurrent(previousFolder);
}

QWidget& ShellTest::control(int id) {
    QList<QWidget*> found;
    for (QWidget* candidate : window.clientArea().findChildren<QWidget*>()) {
        if (candidate->property("controlId").toInt() == id) {
            found.append(candidate);
        }
    }
    if (found.size() != 1) {
        throw std::logic_error("not exactly one control " + std::to_string(id));
    }
    return *found.front();
}

QLineEdit& ShellTest::edit(app::TextField field) {
    auto* found = qobject_cast<QLineEdit*>(&control(gui::controlFor(field).id));
    if (found == nullptr) {
        throw std::logic_error("field is no edit");
    }
    return *found;
}

void ShellTest::runOn(gui::qt::MainWindow& target, int command) {
    for (QAction* candidate : target.menuBar()->findChildren<QAction*>()) {
        if (candidate->data().toInt() == command && !candidate->isSeparator()) {
            candidate->trigger();
            return;
        }
    }
    throw std::logic_error("no menu command " + std::to_string(command));
}

}  // namespace kxtest

int main(int argc, char** argv) {
    ::testing::InitGoogleMock(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) {  // CTest's discovery needs no display
        return RUN_ALL_TESTS();
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    gui::qt::useDanishQtTexts(application);  // as the program does; the tests see if it worked
    QApplication::setQuitOnLastWindowClosed(false);  // a closed window must not end later tests
    return RUN_ALL_TESTS();
}
