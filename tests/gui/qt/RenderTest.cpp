#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <QSet>
#include <QTest>

#include "CurveOracle.h"
#include "ShellTestSupport.h"
#include "gui/qt/AboutDialog.h"

// Renders the window and the About box into the build folder, for a person to look at.
namespace kxtest {
namespace {

namespace command = gui::command;

struct Coverage {
    int colours = 0;
    double drawnShare = 0;  // pixels that differ from the most common colour
};

Coverage coverageOf(const QImage& image) {
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
    const int total = image.width() * image.height();
    return {static_cast<int>(counts.size()),
            total == 0 ? 0.0 : 1.0 - static_cast<double>(commonest) / total};
}

void saveAndCheck(QWidget& widget, const QString& name) {
    const QImage image = widget.grab().toImage();
    const QString path = QDir(QStringLiteral(KX_RENDER_DIR)).filePath(name);
    EXPECT_TRUE(image.save(path)) << utf8(path);
    const Coverage coverage = coverageOf(image);
    EXPECT_GT(coverage.colours, 16) << utf8(name);
    EXPECT_GT(coverage.drawnShare, 0.02) << utf8(name);
}

class RenderTest : public ShellTest {};

TEST_F(RenderTest, WindowAndAboutBoxRenderToPng) {
    // Halfway through an exchange: the other party's Pa has arrived as Pb.
    run(command::useTestValues);
    const AffinePoint received = testCurve.multiply(0x5A17C0FFEE, testPoint);
    state.Pb().fromText(pointText(received));
    edit(app::TextField::a).setText(QStringLiteral("1F2E3D4C5B6A"));
    run(command::updatePaPab);
    EXPECT_EQ(shown(app::TextField::Pab), pointText(testCurve.multiply(0x1F2E3D4C5B6A, received)));
    saveAndCheck(window, QStringLiteral("main-window.png"));

    bool rendered = false;
    const DialogResponder responder({[&rendered] {
        gui::qt::AboutDialog* about = visibleWindow<gui::qt::AboutDialog>();
        if (about == nullptr) {
            return false;
        }
        saveAndCheck(*about, QStringLiteral("about-box.png"));
        rendered = true;
        QTest::mouseClick(about->findChild<QPushButton*>(), Qt::LeftButton);
        return true;
    }});
    run(command::about);
    EXPECT_TRUE(responder.finished());
    EXPECT_TRUE(rendered);
}

}  // namespace
}  // namespace kxtest
