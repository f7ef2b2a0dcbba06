// The Qt shell's edge, under the offscreen platform: the window follows the shared tables, every
// menu item, button and key reaches its command, the dialogs are wired as the application asks,
// and text crosses as Windows-1252. What the commands compute is the application's tests' job.

#include <gtest/gtest.h>

#include <QTest>
#include <QtWidgets>
#include <functional>
#include <map>
#include <set>

#include "app/ExchangeFiles.h"
#include "gui/qt/AboutDialog.h"
#include "gui/qt/DanishQtTexts.h"
#include "gui/qt/MainWindow.h"
#include "gui/qt/Windows1252.h"
#include "tests/support/Fakes.h"
#include "tests/support/Support.h"

namespace kxtest {

using gui::qt::toWindows1252;
using namespace gui::command;

// A shown window on a state of its own.
struct Shell : testing::Test, QObject {
    void SetUp() override { window.show(); }
    QWidget& control(int id) { return *window.findChild<QWidget*>(QString("control%1").arg(id)); }

    // Runs the command and answers the window it opens (a dialog or a menu) from inside its event
    // loop, after what was queued before: Escape, the close box and Enter are tried in turn.
    // Returns what that window showed (title and text, linked names, a file dialog's filters and
    // extension, buttons, a message box's icon, whether only Enter closed it), else whether the
    // main window closed, else q.
    std::string run(const std::function<void()>& command) {
        QStringList shown;
        QObject scope;  // drops the answer when nothing opens
        QTimer::singleShot(0, &scope, [&] {
            for (QWidget* opened : QApplication::topLevelWidgets()) {
                if (!opened->isVisible() || opened == &window)
                    continue;
                shown << opened->windowTitle() << opened->property("text").toString();
                if (auto* files = qobject_cast<QFileDialog*>(opened))
                    shown = files->nameFilters() << files->defaultSuffix();
                for (const QLabel* label : opened->findChildren<QLabel*>())
                    shown << label->text().section("\">", 1).section("</a>", 0, 0);
                for (const QPushButton* button : opened->findChildren<QPushButton*>())
                    shown << button->text();
                if (auto* box = qobject_cast<QMessageBox*>(opened); box && box->icon())
                    shown << "icon " + QString::number(box->icon());
                if (dynamic_cast<gui::qt::AboutDialog*>(opened) != nullptr)
                    shown << QString("%1x%2").arg(opened->width()).arg(opened->height());
                QTest::keyClick(opened, Qt::Key_Escape);
                if (opened->isVisible() && !opened->close()) {
                    QTest::keyClick(opened, Qt::Key_Return);
                    shown << "only Enter closes it";
                }
                return;
            }
        });
        command();
        QCoreApplication::processEvents();
        shown.removeAll(QString());
        if (shown.empty())
            return window.isVisible() ? "q=" + window.fieldText(app::TextField::q) : "closed";
        return toWindows1252(shown.join('|'));
    }

    // Fails the allocation that follows the n-th control's identifier: the next control's own.
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::DynamicPropertyChange && --controlsBeforeFailure == 0)
            failNextAllocation();
        return false;
    }

    std::size_t controlsBeforeFailure = 0;
    SeededRandom random{testSeed()};
    app::KeyExchange state{random};
    gui::qt::MainWindow window{state};
};

// Each row of the table becomes a control with its text. A control that cannot be created (the
// background, created first, aside) is left out, with a box exactly where its row has a message.
TEST_F(Shell, ControlsFollowTheTableAndOneThatCannotBeCreatedIsReportedWhereItsRowHasAMessage) {
    const QObjectList controls = window.clientArea().children();
    qApp->installEventFilter(this);
    std::set<int> ids;  // the Windows shell finds a control by its identifier
    for (std::size_t index = 0; const gui::ControlSpec& row : gui::controls) {
        EXPECT_TRUE(row.id == gui::labelId || ids.insert(row.id).second) << row.text;
        const QObject* c = controls.value(static_cast<qsizetype>(index), this);
        const bool value = row.controlClass == gui::ControlClass::valueField;
        EXPECT_EQ(toWindows1252(c->property(value ? "plainText" : "text").toString()),
                  gui::shownText(row, gui::ShellKind::own));
        controlsBeforeFailure = index++;
        const std::string message(row.failureMessage);
        const std::string seen = run([&] { gui::qt::MainWindow failed(state); });
        EXPECT_EQ(seen, message.empty() ? "q=" : "Error|" + message + "|OK|icon 3") << row.text;
    }
}

// What a file dialog for these options shows: its filters, its extension and Danish buttons.
std::string files(const app::FileDialogOptions& o) {
    const std::string accept = o.kind == app::FileDialogKind::save ? "|&Gem" : "|&\305bn";
    return std::string(o.filters[0].description) + "|" + std::string(o.filters[1].description) +
           "|" + std::string(o.defaultExtension) + accept + "|Annuller";
}

// Each menu item and button, in the shown window with "00ff" in q and the rest of the curve 0,
// runs its command: the file dialog it asks for, the window closing, the About box, or its effect
// on q. The usual keys belong to their items.
TEST_F(Shell, MenuFollowsTheTableAndEveryItemButtonAndKeyReachesItsCommand) {
    // clang-format off
    const std::map<int, std::string> effects{{0, "q=00ff"},
        {savePublicData, files(app::publicDataSaveDialog)}, {gui::command::exit, "closed"},
        {openPublicData, files(app::publicDataOpenDialog)}, {clearAll, "q=0"},
        {saveSecretKey, files(app::secretKeySaveDialog)}, {updatePaPab, "q=FF"},
        {openSecretKey, files(app::secretKeyOpenDialog)}, {generateSecret, "q=FF"},
        {saveSharedKey, files(app::sharedKeySaveDialog)}, {useTestValues, "q=725F8E91CC4087"},
        // 300 x 180 dialog units at 6/4 and 13/8 pixels each
        {gui::command::about, "Om...|l\xE6smig.pdf|OK|450x293|only Enter closes it"}};
    std::map<int, QKeySequence> keys{{openPublicData, QKeySequence("Ctrl+O")},
        {savePublicData, QKeySequence("Ctrl+S")}, {updatePaPab, QKeySequence("F5")},
        {gui::command::exit, QKeySequence("Ctrl+Q")}};
    // clang-format on
    const auto effect = [&](const std::function<void()>& route) {
        window.show();
        state.clearAll(window);
        window.setFieldText(app::TextField::q, "00ff");
        return run(route);
    };
    const QList<QAction*> menu = window.menuBar()->findChildren<QAction*>();  // entries, items
    std::vector<gui::MenuItemSpec> table;  // each entry, then its items
    for (const gui::MenuSpec& entry : gui::menuBar) {
        table.push_back({entry.text, entry.command});
        table.insert(table.end(), entry.items.begin(), entry.items.end());
    }
    ASSERT_EQ(menu.size(), std::ssize(table) + 1);  // and the menu bar's own overflow menu
    for (qsizetype index = 0; const gui::MenuItemSpec& item : table) {
        QAction* action = menu[index++];
        EXPECT_EQ(toWindows1252(action->text()), item.text);
        EXPECT_EQ(action->shortcuts().contains(keys[item.command]), !keys[item.command].isEmpty());
        EXPECT_EQ(effect([action] { action->trigger(); }), effects.at(item.command));
    }
    for (const int id : {useTestValues, generateSecret})
        EXPECT_EQ(effect([&] { QTest::mouseClick(&control(id), Qt::LeftButton); }), effects.at(id));
}

TEST_F(Shell, TextCrossesTheEdgeAsWindows1252AndAMessageBoxLetsTheNextCommandRun) {
    QByteArray bytes;
    for (int byte = 0; byte < 256; ++byte)
        bytes += static_cast<char>(byte);
    const QString text = QStringDecoder("windows-1252")(bytes);  // ICU's, which keeps the five
    EXPECT_EQ(gui::qt::fromWindows1252(bytes.toStdString()).toStdString(), text.toStdString());
    EXPECT_EQ(toWindows1252(text), bytes.toStdString());  // undefined bytes as C1 controls too
    QKeyEvent typed(QEvent::KeyPress, 0, {}, QString::fromUtf16(u"\u00E6\u00F8\u20AC\u0100"));
    QApplication::sendEvent(&control(gui::controlFor(app::TextField::q).id), &typed);  // æø€Ā
    EXPECT_EQ(window.fieldText(app::TextField::q), "\xE6\xF8\x80?");
    // A command clicked through the window system while a message box shows runs at once.
    const QPoint p = control(useTestValues).mapTo(&window, QPoint(5, 5));
    QTimer::singleShot(0, [&] { QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, p); });
    EXPECT_EQ(run([&] { window.showMessage("Fejl", "Fejl!", app::MessageIcon::warning); }),
              "Fejl!|Fejl|OK|icon 2");
    EXPECT_EQ(window.fieldText(app::TextField::q), "725F8E91CC4087");
}

// A P-256 and a P-521 point, every hex digit in them, in a window twice as wide as the table's
// and then narrowed back: each line of each value field, measured in the field's font, ends
// inside the field and the client area, and all lines fit its height, at the scale factor of the
// run (QT_SCALE_FACTOR 1 and 2). Widened, the edits grow and a point takes fewer lines. Selected
// and copied, Pab is its whole text.
TEST_F(Shell, ValueFieldsShowEveryDigitAndCopyTheSavedPoint) {
    const auto values = {app::TextField::Pa, app::TextField::Pb, app::TextField::Pab};
    for (const int digits : {64, 131}) {
        const QString hex = QString("0123456789ABCDEF").repeated(9).left(digits);
        for (const app::TextField field : values)
            window.setFieldText(field, toWindows1252("(" + hex + ", " + hex + ")"));
        std::vector<int> lines;  // of Pa, Pb and Pab, wide, then narrow
        for (const int width : {2 * gui::clientWidth, gui::clientWidth}) {
            window.resize(width, window.height());
            QCoreApplication::processEvents();
            for (const app::TextField field : values) {
                auto& edit = dynamic_cast<QPlainTextEdit&>(control(gui::controlFor(field).id));
                const QWidget& client = window.clientArea();
                const QRect shown =
                    QRect(edit.viewport()->mapTo(&client, QPoint()), edit.viewport()->size()) &
                    client.rect();
                const QTextLayout& layout = *edit.document()->firstBlock().layout();
                qreal height = 0;
                for (int i = 0; i < layout.lineCount(); ++i) {
                    const QTextLine line = layout.lineAt(i);
                    const QString text =
                        edit.toPlainText().mid(line.textStart(), line.textLength());
                    EXPECT_LE(line.x() + QFontMetricsF(edit.font()).horizontalAdvance(text),
                              shown.width())
                        << text.toStdString();
                    height += line.height();
                }
                EXPECT_LE(height, shown.height()) << digits << " digits, width " << width;
                lines.push_back(layout.lineCount());
            }
            EXPECT_EQ(control(gui::controlFor(app::TextField::q).id).width() > 200,
                      width > gui::clientWidth);
        }
        EXPECT_LT(lines[2], lines[5]);
    }
    // The field's whole text is what "Gem fælles nøgle Pab..." writes (the application's tests).
    QWidget& Pab = control(gui::controlFor(app::TextField::Pab).id);
    QTest::keyClick(&Pab, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&Pab, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(toWindows1252(QGuiApplication::clipboard()->text()),
              window.fieldText(app::TextField::Pab));
}

// The guide is titled with its first heading and marked as Danish.
TEST(Guide, IsTitledWithItsFirstHeadingInDanish) {
    const std::string markdown = readFile(KX_GUIDE_MARKDOWN);
    const QByteArray pdf = QByteArray::fromStdString(readFile(KX_GUIDE_PDF));
    const QByteArray title =
        QStringEncoder(QStringEncoder::Utf16BE, QStringEncoder::Flag::WriteBom)(
            QString::fromStdString(markdown.substr(2, markdown.find('\n') - 2)));  // after "# "
    EXPECT_TRUE(pdf.contains("/Title (" + title + ")") && pdf.contains("/Lang (da)"));
}

}  // namespace kxtest

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    gui::qt::useDanishQtTexts(application);
    return RUN_ALL_TESTS();
}
