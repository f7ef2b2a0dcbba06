#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <limits>

#include "ShellTestSupport.h"
#include "gui/qt/Windows1252.h"

namespace kxtest {
namespace {

using gui::ControlClass;

const char* qtClassFor(ControlClass controlClass) {
    switch (controlClass) {
        case ControlClass::button:
            return "QPushButton";
        case ControlClass::edit:
            return "QLineEdit";
        case ControlClass::staticText:
            break;
    }
    return "QLabel";
}

QString textOf(const QWidget& widget) {
    if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
        return label->text();
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(&widget)) {
        return edit->text();
    }
    if (const auto* pushButton = qobject_cast<const QPushButton*>(&widget)) {
        return pushButton->text();
    }
    return QStringLiteral("<no text>");
}

using WindowTest = ShellTest;

TEST_F(WindowTest, ControlsFollowTheSharedTableInCreationOrder) {
    const QList<QWidget*> children =
        window.clientArea().findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(static_cast<std::size_t>(children.size()), gui::controls.size());
    for (std::size_t index = 0; index < gui::controls.size(); ++index) {
        const gui::ControlSpec& spec = gui::controls[index];
        const QWidget& widget = *children[static_cast<qsizetype>(index)];
        SCOPED_TRACE(testing::Message() << "control #" << index + 1 << " id " << spec.id);
        EXPECT_STREQ(widget.metaObject()->className(), qtClassFor(spec.controlClass));
        EXPECT_EQ(widget.property("controlId").toInt(), spec.id);
        EXPECT_EQ(widget.geometry(), QRect(spec.x, spec.y, spec.width, spec.height));
        EXPECT_EQ(utf8(textOf(widget)), utf8(gui::qt::fromWindows1252(spec.text)));
        EXPECT_TRUE(widget.isVisible());
    }
}

TEST_F(WindowTest, FieldsStartEmptyAndValuesShowDots) {
    const std::string dots = "...";
    for (const app::TextField field : app::allTextFields) {
        const bool isValue = field == app::TextField::Pa || field == app::TextField::Pb ||
                             field == app::TextField::Pab;
        EXPECT_EQ(shown(field), isValue ? dots : std::string());
    }
}

TEST_F(WindowTest, EditsTakeAnyTextOfAnyLengthAndValuesAreReadOnly) {
    constexpr std::size_t longText = 100000;
    for (const app::TextField field : app::allTextFields) {
        const gui::ControlSpec& spec = gui::controlFor(field);
        SCOPED_TRACE(spec.id);
        std::string text(longText, 'F');
        text += "*xyz\xE6";
        window.setFieldText(field, text);
        EXPECT_EQ(shown(field), text);
        if (spec.controlClass == ControlClass::edit) {
            const QLineEdit& fieldEdit = edit(field);
            EXPECT_EQ(fieldEdit.maxLength(), std::numeric_limits<int>::max());
            EXPECT_TRUE(fieldEdit.hasFrame());
            EXPECT_FALSE(fieldEdit.isReadOnly());
            EXPECT_EQ(fieldEdit.validator(), nullptr);
            EXPECT_TRUE(fieldEdit.inputMask().isEmpty());
        } else {
            EXPECT_FALSE(valueLabel(field).textInteractionFlags() & Qt::TextEditable);
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
    for (const auto& [typedUtf8, bytes] : cases) {
        SCOPED_TRACE(typedUtf8);
        QLineEdit& field = edit(app::TextField::q);
        field.clear();
        field.setFocus();
        typeText(field, utf8(typedUtf8));
        EXPECT_EQ(shown(app::TextField::q), bytes);
    }
    window.setFieldText(app::TextField::a, "\xE6\xF8\xE5\x80");
    EXPECT_EQ(utf8(edit(app::TextField::a).text()), "\xC3\xA6\xC3\xB8\xC3\xA5\xE2\x82\xAC");
}

TEST_F(WindowTest, WindowHasTheTitleAndAFixedClientAreaBelowTheMenu) {
    EXPECT_EQ(utf8(window.windowTitle()), "Diffie-Hellman n\xC3\xB8gleudveksling");
    EXPECT_EQ(window.clientArea().size(),
              QSize(gui::qt::MainWindow::clientWidth, gui::qt::MainWindow::clientHeight));
    EXPECT_EQ(window.clientArea().geometry().top(), window.menuBar()->geometry().bottom() + 1);
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    // Every edit and button lies wholly inside the client area.
    const QRect client(QPoint(0, 0), window.clientArea().size());
    for (const gui::ControlSpec& spec : gui::controls) {
        if (spec.controlClass != ControlClass::staticText) {
            EXPECT_TRUE(client.contains(QRect(spec.x, spec.y, spec.width, spec.height))) << spec.id;
        }
    }
}

TEST_F(WindowTest, WindowCarriesTheProgramIconInBothSizes) {
    const QList<QSize> sizes = window.windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
}

TEST_F(WindowTest, MenuBarFollowsTheSharedTable) {
    const QList<QAction*> entries = window.menuBar()->actions();
    ASSERT_EQ(static_cast<std::size_t>(entries.size()), gui::menuBar.size());
    for (std::size_t index = 0; index < gui::menuBar.size(); ++index) {
        const gui::MenuSpec& spec = gui::menuBar[index];
        const QAction& entry = *entries[static_cast<qsizetype>(index)];
        SCOPED_TRACE(utf8(entry.text()));
        EXPECT_EQ(gui::qt::toWindows1252(entry.text()), spec.text);
        EXPECT_TRUE(entry.isEnabled());
        if (spec.items.empty()) {
            EXPECT_EQ(entry.menu(), nullptr);
            EXPECT_EQ(entry.data().toInt(), spec.command);
            continue;
        }
        ASSERT_NE(entry.menu(), nullptr);
        const QList<QAction*> items = entry.menu()->actions();
        ASSERT_EQ(static_cast<std::size_t>(items.size()), spec.items.size());
        for (std::size_t item = 0; item < spec.items.size(); ++item) {
            const QAction& action = *items[static_cast<qsizetype>(item)];
            EXPECT_EQ(gui::qt::toWindows1252(action.text()), spec.items[item].text);
            EXPECT_EQ(action.data().toInt(), spec.items[item].command);
            EXPECT_FALSE(action.isSeparator());
            EXPECT_FALSE(action.isCheckable());
            EXPECT_TRUE(action.isEnabled());
        }
    }
}

}  // namespace
}  // namespace kxtest
