#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cmath>

#include "ShellTestSupport.h"
#include "gui/qt/AboutDialog.h"
#include "gui/qt/Windows1252.h"

namespace kxtest {
namespace {

namespace command = gui::command;

// The About box as the responder saw it while it was open.
struct SeenAbout {
    bool opened = false;
    bool stayedOpenAfterEscape = false;
    bool stayedOpenAfterCloseBox = false;
    bool closedByAnswer = false;
};

gui::qt::AboutDialog* openAbout() {
    return visibleWindow<gui::qt::AboutDialog>();
}

// Escape and the close box first, then the given way out.
DialogResponder::Step tryToClose(SeenAbout& seen, const std::function<void(QDialog&)>& answer) {
    return [&seen, answer] {
        gui::qt::AboutDialog* about = openAbout();
        if (about == nullptr) {
            return false;
        }
        seen.opened = true;
        QTest::keyClick(about, Qt::Key_Escape);
        seen.stayedOpenAfterEscape = about->isVisible();
        about->close();
        seen.stayedOpenAfterCloseBox = about->isVisible();
        answer(*about);
        seen.closedByAnswer = !about->isVisible();
        return true;
    };
}

class AboutBoxTest : public ShellTest {};

TEST_F(AboutBoxTest, OpensFromOmIgnoresEscapeAndClosesWithOk) {
    SeenAbout seen;
    const DialogResponder responder({tryToClose(seen, [](QDialog& about) {
        QPushButton* ok = about.findChild<QPushButton*>();
        ASSERT_NE(ok, nullptr);
        QTest::mouseClick(ok, Qt::LeftButton);
    })});
    run(command::about);
    ASSERT_TRUE(responder.finished());
    EXPECT_TRUE(seen.opened);
    EXPECT_TRUE(seen.stayedOpenAfterEscape);
    EXPECT_TRUE(seen.stayedOpenAfterCloseBox);
    EXPECT_TRUE(seen.closedByAnswer);
}

TEST_F(AboutBoxTest, EnterClosesItThroughTheDefaultButton) {
    SeenAbout seen;
    const DialogResponder responder(
        {tryToClose(seen, [](QDialog& about) { QTest::keyClick(&about, Qt::Key_Return); })});
    run(command::about);
    ASSERT_TRUE(responder.finished());
    EXPECT_TRUE(seen.stayedOpenAfterEscape);
    EXPECT_TRUE(seen.closedByAnswer);
}

// Dialog units as Windows maps them for an 8-point MS Sans Serif at 96 dpi, edge by edge.
QRect pixelsOf(int x, int y, int width, int height) {
    const auto across = [](int units) { return static_cast<int>(std::lround(units * 1.5)); };
    const auto down = [](int units) { return static_cast<int>(std::lround(units * 1.625)); };
    return QRect(QPoint(across(x), down(y)), QPoint(across(x + width) - 1, down(y + height) - 1));
}

TEST(DialogUnits, MapEdgesLikeWindows) {
    const int samples[][4] = {{0, 0, 300, 180},  {125, 158, 50, 14}, {7, 7, 286, 145},
                              {16, 18, 268, 20}, {1, 1, 1, 1},       {3, 5, 7, 9}};
    for (const auto& sample : samples) {
        EXPECT_EQ(gui::qt::dialogUnitsToPixels(sample[0], sample[1], sample[2], sample[3]),
                  pixelsOf(sample[0], sample[1], sample[2], sample[3]));
    }
}

TEST_F(AboutBoxTest, ItemsFollowTheTemplate) {
    gui::qt::AboutDialog about(window, window.clientArea());
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    EXPECT_EQ(utf8(about.windowTitle()), "Om...");
    EXPECT_TRUE(about.isModal());
    EXPECT_EQ(about.parentWidget(), &window);
    EXPECT_EQ(about.size(), QSize(450, 293));
    EXPECT_EQ(about.pos(), window.clientArea().mapToGlobal(QPoint(0, 0)));

    const QList<QWidget*> items =
        about.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(static_cast<std::size_t>(items.size()), gui::aboutItems.size());
    for (std::size_t index = 0; index < gui::aboutItems.size(); ++index) {
        const gui::DialogItemSpec& spec = gui::aboutItems[index];
        const QWidget& item = *items[static_cast<qsizetype>(index)];
        SCOPED_TRACE(index);
        EXPECT_EQ(item.geometry(), pixelsOf(spec.x, spec.y, spec.width, spec.height));
        EXPECT_TRUE(item.isVisible());
    }
    const auto* ok = qobject_cast<const QPushButton*>(items[0]);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_TRUE(ok->isDefault());
    const auto* group = qobject_cast<const QGroupBox*>(items[1]);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(utf8(group->title()), "Om Diffie-Hellman n\xC3\xB8gleudveksling");

    for (std::size_t index = 2; index < gui::aboutItems.size(); ++index) {
        const auto* label = qobject_cast<const QLabel*>(items[static_cast<qsizetype>(index)]);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        EXPECT_TRUE(label->wordWrap());
        // Lines end in a lone carriage return in the template and in a line break on screen.
        std::string lines(gui::aboutItems[index].text);
        std::replace(lines.begin(), lines.end(), '\r', '\n');
        EXPECT_EQ(gui::qt::toWindows1252(label->text()), lines);
    }
    // Every text fits its item in the font the box chose.
    const QFontMetrics metrics(about.font());
    for (qsizetype text = 2; text < items.size(); ++text) {
        const auto* label = qobject_cast<const QLabel*>(items[text]);
        const QRect needed = metrics.boundingRect(
            QRect(0, 0, label->width(), 0), Qt::AlignHCenter | Qt::TextWordWrap, label->text());
        EXPECT_LE(needed.height(), label->height()) << text;
    }
    about.done(QDialog::Accepted);
}

}  // namespace
}  // namespace kxtest
