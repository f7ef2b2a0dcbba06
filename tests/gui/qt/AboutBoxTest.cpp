#include <gtest/gtest.h>

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QUrl>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "ShellTestSupport.h"
#include "gui/qt/AboutDialog.h"
#include "gui/qt/ValueField.h"
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

TEST_F(AboutItemsTest, ItemsFollowTheTemplateAndTheGuidesNameOpensIt) {
    const QString guide = QDir(folder.path()).filePath(QStringLiteral("l\u00E6smig.pdf"));
    AboutDialog about(window, window.clientArea(), guide);
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
        QTextDocument shownText;
        shownText.setHtml(label->text());
        const bool links = lines.find("l\xE6smig.pdf") != std::string::npos;
        EXPECT_EQ(gui::qt::toWindows1252(links ? shownText.toPlainText() : label->text()), lines);
        EXPECT_EQ(label->text().contains(
                      QStringLiteral("<a href=\"%1\">")
                          .arg(QUrl::fromLocalFile(guide).toString(QUrl::FullyEncoded))),
                  links);
        EXPECT_EQ(label->openExternalLinks(), links);
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
    EXPECT_EQ(window.clientArea().size(), QSize(484, 331)) << "short points leave the window be";
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

// A curve as typed into the window: q, A, B, Px, Py.
struct TypedCurve {
    const char* name;
    std::array<const char*, 5> numbers;
};

void PrintTo(const TypedCurve& curve, std::ostream* out) {
    *out << curve.name;
}

class LongPointTest : public ShellTest, public testing::WithParamInterface<TypedCurve> {};

INSTANTIATE_TEST_SUITE_P(
    StandardCurves, LongPointTest,
    testing::Values(
        TypedCurve{"p256",
                   {"FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFF",
                    "FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFC",
                    "5AC635D8AA3A93E7B3EBBD55769886BC651D06B0CC53B0F63BCE3C3E27D2604B",
                    "6B17D1F2E12C4247F8BCE6E563A440F277037D812DEB33A0F4A13945D898C296",
                    "4FE342E2FE1A7F9B8EE7EB4A7C0F9E162BCE33576B315ECECBB6406837BF51F5"}},
        TypedCurve{
            "p521",
            {"1FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
             "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF",
             "1FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
             "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFC",
             "51953EB9618E1C9A1F929A21A0B68540EEA2DA725B99B315F3B8B489918EF109E156193951EC7E937B1"
             "652C0BD3BB1BF073573DF883D2C34F1EF451FD46B503F00",
             "C6858E06B70404E9CD9E3ECB662395B4429C648139053FB521F828AF606B4D3DBAA14B5E77EFE75928F"
             "E1DC127A2FFA8DE3348B3C1856A429BF97E7E31C2E5BD66",
             "11839296A789A3BC0045C8A5FB42C7D1BD998F54449579B446817AFBD17273E662C97EE72995EF42640"
             "C550B9013FAD0761353C7086A272C24088BE94769FD16650"}}),
    [](const auto& named) { return std::string(named.param.name); });

// Every character of a point is laid out on lines inside its field, which lies inside the window;
// a picture of each window is left for a person to look at. The context menu copies it whole.
TEST_P(LongPointTest, WholePointsShowInsideTheirFieldsAndCopyWhole) {
    const std::array<app::TextField, 5> numberFields{app::TextField::q, app::TextField::A,
                                                     app::TextField::B, app::TextField::Px,
                                                     app::TextField::Py};
    for (std::size_t index = 0; index < numberFields.size(); ++index) {
        edit(numberFields[index]).setText(QString::fromLatin1(GetParam().numbers[index]));
    }
    edit(app::TextField::a).setText(QStringLiteral("C0FFEE5A17ED5EC12E7B1DF00D"));
    run(command::updatePaPab);
    state.Pb().fromText(shown(app::TextField::Pa));  // as if the other party had the same a
    run(command::updatePaPab);
    QCoreApplication::processEvents();
    for (const app::TextField field :
         {app::TextField::Pa, app::TextField::Pb, app::TextField::Pab}) {
        const auto& value = dynamic_cast<gui::qt::ValueField&>(control(gui::controlFor(field).id));
        SCOPED_TRACE(utf8(value.text()));
        EXPECT_GT(value.text().size(), 2 * (std::strlen(GetParam().numbers[0]) - 1));
        EXPECT_TRUE(QRect(QPoint(0, 0), window.clientArea().size()).contains(value.geometry()));
        EXPECT_FALSE(value.verticalScrollBar()->isVisible());
        const QTextLayout& layout = *value.document()->firstBlock().layout();
        int laidOut = 0;
        for (int index = 0; index < layout.lineCount(); ++index) {
            const QTextLine line = layout.lineAt(index);
            laidOut += line.textLength();
            EXPECT_TRUE(QRectF(value.viewport()->rect())
                            .contains(line.naturalTextRect().translated(layout.position())));
        }
        EXPECT_EQ(laidOut, value.text().size());
    }
    saveAndCheck(window, (std::string(GetParam().name) + "-window.png").c_str());

    auto& pab =
        dynamic_cast<gui::qt::ValueField&>(control(gui::controlFor(app::TextField::Pab).id));
    QStringList menuItems;
    const DialogResponder responder({[&menuItems] {
        auto* menu = visibleWindow<QMenu>();
        if (menu != nullptr) {
            for (QAction* action : menu->actions()) {
                menuItems.append(action->text());
            }
            QTest::mouseClick(menu, Qt::LeftButton, {},
                              menu->actionGeometry(menu->actions().front()).center());
        }
        return menu != nullptr;
    }});
    QContextMenuEvent request(QContextMenuEvent::Mouse, QPoint(5, 5),
                              pab.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(pab.viewport(), &request);
    EXPECT_TRUE(responder.finished());
    EXPECT_EQ(menuItems, QStringList({QStringLiteral("Kopi\u00E9r")}));
    EXPECT_EQ(utf8(QGuiApplication::clipboard()->text()), shown(app::TextField::Pab));
}

}  // namespace
}  // namespace kxtest
