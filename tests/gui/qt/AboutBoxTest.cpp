#include <gtest/gtest.h>

#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QTest>
#include <algorithm>
#include <cmath>

#include "ShellTestSupport.h"
#include "gui/qt/AboutDialog.h"
#include "gui/qt/Windows1252.h"
#include "tests/gui/CurveOracle.h"

namespace kxtest {
namespace {

namespace command = gui::command;
using gui::qt::AboutDialog;

// Escape and the close box must leave the About box open; the parameter's way out closes it.
class AboutBoxTest : public ShellTest, public testing::WithParamInterface<bool> {};

INSTANTIATE_TEST_SUITE_P(OkAndEnter, AboutBoxTest, testing::Bool(),
                         [](const auto& named) { return named.param ? "Enter" : "OK"; });

TEST_P(AboutBoxTest, OpensFromOmIgnoresEscapeAndTheCloseBoxAndClosesWithOkOrEnter) {
    bool afterEscape = false, afterCloseBox = false, afterAnswer = true;
    const DialogResponder responder({[&] {
        AboutDialog* about = visibleWindow<AboutDialog>();
        if (about == nullptr) {
            return false;
        }
        QTest::keyClick(about, Qt::Key_Escape);
        afterEscape = about->isVisible();
        about->close();
        afterCloseBox = about->isVisible();
        if (GetParam()) {
            QTest::keyClick(about, Qt::Key_Return);
        } else {
            QTest::mouseClick(about->findChild<QPushButton*>(), Qt::LeftButton);
        }
        afterAnswer = about->isVisible();
        return true;
    }});
    run(command::about);
    ASSERT_TRUE(responder.finished());
    EXPECT_TRUE(afterEscape);
    EXPECT_TRUE(afterCloseBox);
    EXPECT_FALSE(afterAnswer);
}

// Dialog units as Windows maps them for an 8-point MS Sans Serif at 96 dpi, edge by edge.
QRect pixelsOf(int x, int y, int width, int height) {
    const auto across = [](int units) { return static_cast<int>(std::lround(units * 1.5)); };
    const auto down = [](int units) { return static_cast<int>(std::lround(units * 1.625)); };
    return QRect(QPoint(across(x), down(y)), QPoint(across(x + width) - 1, down(y + height) - 1));
}

using AboutItemsTest = ShellTest;

TEST_F(AboutItemsTest, ItemsFollowTheTemplate) {
    AboutDialog about(window, window.clientArea());
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
    const auto* ok = qobject_cast<const QPushButton*>(items[0]);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_TRUE(ok->isDefault());
    const auto* group = qobject_cast<const QGroupBox*>(items[1]);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(utf8(group->title()), "Om Diffie-Hellman n\xC3\xB8gleudveksling");
    for (std::size_t index = 0; index < gui::aboutItems.size(); ++index) {
        const gui::DialogItemSpec& row = gui::aboutItems[index];
        const QWidget& item = *items[static_cast<qsizetype>(index)];
        SCOPED_TRACE(index);
        EXPECT_EQ(item.geometry(), pixelsOf(row.x, row.y, row.width, row.height));
        EXPECT_TRUE(item.isVisible());
        if (index < 2) {
            continue;
        }
        const auto* label = qobject_cast<const QLabel*>(&item);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        // Lines end in a lone carriage return in the template and in a line break on screen.
        std::string lines(row.text);
        std::replace(lines.begin(), lines.end(), '\r', '\n');
        EXPECT_EQ(gui::qt::toWindows1252(label->text()), lines);
    }
    about.done(QDialog::Accepted);
}

// Saves the widget as PNG in the build folder for a person to look at; checks it is not blank:
// many colours, and a fair share of pixels unlike the commonest one.
void saveAndCheck(QWidget& widget, const char* name) {
    const QImage image = widget.grab().toImage();
    EXPECT_TRUE(image.save(QDir(QStringLiteral(KX_RENDER_DIR)).filePath(QString::fromUtf8(name))));
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            ++counts[image.pixel(x, y)];
        }
    }
    int commonest = 0;
    for (const int count : counts) {
        commonest = std::max(commonest, count);
    }
    EXPECT_GT(counts.size(), 16) << name;
    EXPECT_GT(image.width() * image.height() - commonest, image.width() * image.height() / 50)
        << name;
}

using RenderTest = ShellTest;

TEST_F(RenderTest, WindowAndAboutBoxRenderToPng) {
    // Halfway through an exchange: the other party's Pa has arrived as Pb.
    run(command::useTestValues);
    const AffinePoint received = testCurve.multiply(0x5A17C0FFEE, testPoint);
    state.Pb().fromText(pointText(received));
    edit(app::TextField::a).setText(QStringLiteral("1F2E3D4C5B6A"));
    run(command::updatePaPab);
    EXPECT_EQ(shown(app::TextField::Pab), pointText(testCurve.multiply(0x1F2E3D4C5B6A, received)));
    saveAndCheck(window, "main-window.png");
    const DialogResponder responder({[] {
        AboutDialog* about = visibleWindow<AboutDialog>();
        if (about != nullptr) {
            saveAndCheck(*about, "about-box.png");
            QTest::mouseClick(about->findChild<QPushButton*>(), Qt::LeftButton);
        }
        return about != nullptr;
    }});
    run(command::about);
    EXPECT_TRUE(responder.finished());
}

}  // namespace
}  // namespace kxtest
