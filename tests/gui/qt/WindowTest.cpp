#include <gtest/gtest.h>

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <limits>

#include "ShellTestSupport.h"
#include "gui/qt/ValueField.h"
#include "gui/qt/Windows1252.h"

namespace kxtest {
namespace {

using gui::ControlClass;
using WindowTest = ShellTest;

TEST_F(WindowTest, ControlsFollowTheSharedTableInCreationOrder) {
    const QList<QWidget*> children =
        window.clientArea().findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(static_cast<std::size_t>(children.size()), gui::controls.size());
    for (std::size_t index = 0; index < gui::controls.size(); ++index) {
        const gui::ControlSpec& row = gui::controls[index];
        const QWidget& widget = *children[static_cast<qsizetype>(index)];
        SCOPED_TRACE(testing::Message() << "control #" << index + 1 << " id " << row.id);
        const auto* label = qobject_cast<const QLabel*>(&widget);
        const auto* lineEdit = qobject_cast<const QLineEdit*>(&widget);
        const auto* pushButton = qobject_cast<const QPushButton*>(&widget);
        const auto* value = dynamic_cast<const gui::qt::ValueField*>(&widget);
        ASSERT_TRUE(row.controlClass == ControlClass::button ? pushButton != nullptr
                    : row.controlClass == ControlClass::edit ? lineEdit != nullptr
                    : row.field.has_value()                  ? value != nullptr
                                                             : label != nullptr);
        const QString text = label      ? label->text()
                             : lineEdit ? lineEdit->text()
                             : value    ? value->text()
                                        : pushButton->text();
        EXPECT_EQ(utf8(text), utf8(gui::qt::fromWindows1252(row.text)));
        EXPECT_EQ(widget.property("controlId").toInt(), row.id);
        // As on Windows, what lies beyond the client area is cut off.
        EXPECT_EQ(widget.geometry(), QRect(row.x, row.y, row.width, row.height) &
                                         QRect(QPoint(0, 0), window.clientArea().size()));
        EXPECT_TRUE(widget.isVisible());
    }
}

TEST_F(WindowTest, EditsTakeAnyTextOfAnyLengthAndValuesAreReadOnly) {
    const std::string text = std::string(100000, 'F') + "*xyz\xE6";
    for (const app::TextField field : app::allTextFields) {
        SCOPED_TRACE(gui::controlFor(field).id);
        window.setFieldText(field, text);
        EXPECT_EQ(shown(field), text);
        QWidget& widget = control(gui::controlFor(field).id);
        if (auto* fieldEdit = qobject_cast<QLineEdit*>(&widget)) {
            EXPECT_EQ(fieldEdit->maxLength(), std::numeric_limits<int>::max());
            EXPECT_FALSE(fieldEdit->isReadOnly());
            EXPECT_EQ(fieldEdit->validator(), nullptr);
            EXPECT_TRUE(fieldEdit->inputMask().isEmpty());
        } else {
            auto* value = dynamic_cast<gui::qt::ValueField*>(&widget);
            ASSERT_NE(value, nullptr);
            EXPECT_TRUE(value->isReadOnly());
        }
    }
}

TEST_F(WindowTest, TypedTextCrossesTheEdgeAsWindows1252) {
    const struct {
        const char* typedUtf8;
        std::string bytes;
    } cases[] = {
        {"\xC3\xA6\xC3\xB8\xC3\xA5", "\xE6\xF8\xE5"},        // æøå
        {"\xE2\x82\xAC", "\x80"},                            // €
        {"\xC3\x86\xC3\x98\xC3\x85 1A", "\xC6\xD8\xC5 1A"},  // ÆØÅ 1A
        {"x\xCE\xA9y", "x?y"},                               // Ω has no byte
        {"\xF0\x9F\x94\x91", "?"},                           // one character, one ?
    };
    QLineEdit& field = edit(app::TextField::q);
    field.setFocus();
    for (const auto& [typedUtf8, bytes] : cases) {
        SCOPED_TRACE(typedUtf8);
        field.clear();
        typeText(field, utf8(typedUtf8));
        EXPECT_EQ(shown(app::TextField::q), bytes);
    }
    window.setFieldText(app::TextField::a, "\xE6\xF8\xE5\x80");
    EXPECT_EQ(utf8(edit(app::TextField::a).text()), "\xC3\xA6\xC3\xB8\xC3\xA5\xE2\x82\xAC");
}

TEST_F(WindowTest, WindowHasTitleIconAndAFixedClientAreaBelowTheMenu) {
    EXPECT_EQ(utf8(window.windowTitle()), "Diffie-Hellman n\xC3\xB8gleudveksling");
    EXPECT_EQ(window.clientArea().size(), QSize(484, 331));
    EXPECT_EQ(window.clientArea().geometry().top(), window.menuBar()->geometry().bottom() + 1);
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    const QList<QSize> sizes = window.windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(32, 32)));
}

TEST_F(WindowTest, MenuBarFollowsTheSharedTable) {
    const QList<QAction*> entries = window.menuBar()->actions();
    ASSERT_EQ(static_cast<std::size_t>(entries.size()), gui::menuBar.size());
    for (std::size_t index = 0; index < gui::menuBar.size(); ++index) {
        const gui::MenuSpec& row = gui::menuBar[index];
        const QAction& entry = *entries[static_cast<qsizetype>(index)];
        SCOPED_TRACE(utf8(entry.text()));
        EXPECT_EQ(gui::qt::toWindows1252(entry.text()), row.text);
        if (row.items.empty()) {  // a command on the bar itself
            EXPECT_EQ(entry.menu(), nullptr);
            EXPECT_EQ(entry.data().toInt(), row.command);
            continue;
        }
        ASSERT_NE(entry.menu(), nullptr);
        const QList<QAction*> items = entry.menu()->actions();
        ASSERT_EQ(static_cast<std::size_t>(items.size()), row.items.size());
        for (std::size_t item = 0; item < row.items.size(); ++item) {
            const QAction& action = *items[static_cast<qsizetype>(item)];
            EXPECT_EQ(gui::qt::toWindows1252(action.text()), row.items[item].text);
            EXPECT_EQ(action.data().toInt(), row.items[item].command);
            EXPECT_TRUE(action.isEnabled() && !action.isSeparator() && !action.isCheckable());
        }
    }
}

TEST_F(WindowTest, UsualKeysRunTheCommandsUsedMost) {
    const std::pair<QKeyCombination, int> keys[] = {
        {Qt::CTRL | Qt::Key_O, gui::command::openPublicData},
        {Qt::CTRL | Qt::Key_S, gui::command::savePublicData},
        {Qt::CTRL | Qt::Key_Q, gui::command::exit},
        {QKeyCombination(Qt::Key_F5), gui::command::updatePaPab}};
    for (const auto& [key, command] : keys) {
        QList<int> commands;
        for (const QAction* action : window.menuBar()->findChildren<QAction*>()) {
            if (action->shortcuts().contains(QKeySequence(key))) {
                commands.append(action->data().toInt());
            }
        }
        EXPECT_EQ(commands, QList<int>({command})) << utf8(QKeySequence(key).toString());
    }
    edit(app::TextField::q).setText(QStringLiteral("00ff"));
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_F5);
    EXPECT_EQ(shown(app::TextField::q), "FF");
}

}  // namespace
}  // namespace kxtest
