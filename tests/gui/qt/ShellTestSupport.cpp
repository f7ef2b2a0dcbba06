#include "ShellTestSupport.h"

#include <QDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTest>
#include <QWindow>
#include <cstdlib>
#include <string_view>

namespace kxtest {

std::uint64_t testSeed() {
    const char* text = std::getenv("KX_TEST_SEED");
    if (text == nullptr || *text == '\0') {
        return 0x6B78716174657374;
    }
    return std::strtoull(text, nullptr, 0);
}

std::uint64_t SeededRandom::nextWide() {
    std::uint64_t mixed = (state_ += 0x9E3779B97F4A7C15);
    mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9;
    mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EB;
    return mixed ^ (mixed >> 31);
}

std::uint32_t SeededRandom::nextWord() {
    return static_cast<std::uint32_t>(nextWide() >> 32);
}

QString utf8(const char* text) {
    return QString::fromUtf8(text);
}

std::string utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

DialogResponder::DialogResponder(std::vector<Step> steps) : steps_(std::move(steps)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start(5);
    clock_.start();
}

void DialogResponder::poll() {
    constexpr qint64 patienceMilliseconds = 20000;
    if (!finished() && steps_[next_]()) {
        ++next_;
        clock_.restart();
    }
    if (finished()) {
        timer_.stop();
        return;
    }
    if (clock_.elapsed() > patienceMilliseconds) {
        timer_.stop();
        ADD_FAILURE() << "step " << next_ << " found nothing to answer";
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible()) {
                dialog->done(QDialog::Rejected);
            }
        }
    }
}

DialogWatchdog::DialogWatchdog() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { check(); });
    timer_.start(100);
    clock_.start();
}

void DialogWatchdog::check() {
    constexpr qint64 patienceMilliseconds = 15000;
    const qint64 now = clock_.elapsed();
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (dialog == nullptr || !dialog->isVisible()) {
            firstSeen_.remove(widget);
            continue;
        }
        const qint64 seen = firstSeen_.value(widget, now);
        firstSeen_.insert(widget, seen);
        if (now - seen > patienceMilliseconds) {
            const auto* box = qobject_cast<QMessageBox*>(dialog);
            ADD_FAILURE() << "unanswered window \"" << utf8(dialog->windowTitle())
                          << "\": " << (box != nullptr ? utf8(box->text()) : std::string());
            firstSeen_.remove(widget);
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
        seen = {utf8(box->text()),     utf8(box->windowTitle()),
                box->icon(),           box->parent() != nullptr,
                box->windowModality(), QApplication::activeModalWidget() != nullptr};
        if (whileOpen) {
            whileOpen();
        }
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        return true;
    };
}

void clickThroughWindow(QWidget& target) {
    QWidget& topLevel = *target.window();
    const QPoint at = target.mapTo(&topLevel, target.rect().center());
    QTest::mouseClick(topLevel.windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
}

void typeText(QWidget& widget, const QString& text) {
    const QList<uint> codePoints = text.toUcs4();
    for (const uint codePoint : codePoints) {
        const QString keyText = QStringView(QChar::fromUcs4(codePoint)).toString();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, keyText);
        QApplication::sendEvent(&widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, keyText);
        QApplication::sendEvent(&widget, &release);
    }
}

ShellTest::ShellTest() : seed(testSeed()), random(seed) {}

void ShellTest::SetUp() {
    RecordProperty("seed", std::to_string(seed));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
}

QWidget& ShellTest::control(int id) {
    const QList<QWidget*> found =
        window.clientArea().findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    QWidget* match = nullptr;
    int matches = 0;
    for (QWidget* candidate : found) {
        if (candidate->property("controlId").toInt() == id) {
            match = candidate;
            ++matches;
        }
    }
    if (matches != 1) {
        throw std::logic_error("not exactly one control " + std::to_string(id));
    }
    return *match;
}

QLineEdit& ShellTest::edit(app::TextField field) {
    auto* found = qobject_cast<QLineEdit*>(&control(gui::controlFor(field).id));
    if (found == nullptr) {
        throw std::logic_error("field is no edit");
    }
    return *found;
}

QLabel& ShellTest::valueLabel(app::TextField field) {
    auto* found = qobject_cast<QLabel*>(&control(gui::controlFor(field).id));
    if (found == nullptr) {
        throw std::logic_error("field is no label");
    }
    return *found;
}

QPushButton& ShellTest::button(int command) {
    auto* found = qobject_cast<QPushButton*>(&control(command));
    if (found == nullptr) {
        throw std::logic_error("control is no button");
    }
    return *found;
}

QAction& ShellTest::action(int command) {
    const QList<QAction*> actions = window.menuBar()->findChildren<QAction*>();
    for (QAction* candidate : actions) {
        if (candidate->data().toInt() == command && !candidate->isSeparator()) {
            return *candidate;
        }
    }
    throw std::logic_error("no menu command " + std::to_string(command));
}

}  // namespace kxtest
