#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QTest>

#include "ShellTestSupport.h"
#include "tests/gui/CurveOracle.h"

namespace kxtest {
namespace {

using app::TextField;
namespace command = gui::command;

std::string fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "<missing>";
}

void writeFile(const QString& path, const std::string& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

// Picks the path in the file dialog (or cancels when it is empty). The dialog closes once this step
// has returned, so that a following step can answer what accepting shows.
DialogResponder::Step chooseFile(const QString& path,
                                 std::function<void(QFileDialog&)> inspect = {}) {
    return [path, inspect] {
        QFileDialog* dialog = visibleWindow<QFileDialog>();
        if (dialog == nullptr) {
            return false;
        }
        if (inspect) {
            inspect(*dialog);
        }
        dialog->selectFile(path);
        QDialog* asDialog = dialog;
        QMetaObject::invokeMethod(
            dialog, [asDialog, path] { path.isEmpty() ? asDialog->reject() : asDialog->accept(); },
            Qt::QueuedConnection);
        return true;
    };
}
const auto cancelFileDialog = [] { return chooseFile(QString()); };

// Presses the button in the message box that Qt's own file dialog shows as its child.
DialogResponder::Step answerFileDialogBox(QMessageBox::StandardButton choice, std::string* text) {
    return [choice, text] {
        QMessageBox* box = visibleWindow<QMessageBox>(
            [](QMessageBox& candidate) { return candidate.parent() != nullptr; });
        if (box != nullptr) {
            *text = utf8(box->text());
            QTest::mouseClick(box->button(choice), Qt::LeftButton);
        }
        return box != nullptr;
    };
}

class FileCommandTest : public ShellTest {
  protected:
    void runWithFile(gui::qt::MainWindow& target, int commandId, const char* name) {
        const DialogResponder responder({chooseFile(inFolder(name))});
        runOn(target, commandId);
        EXPECT_TRUE(responder.finished()) << commandId;
    }
    QString inFolder(const char* name) const { return QDir(folder.path()).filePath(name); }
};

struct DialogCase {
    int command;
    bool isLoad;
    const char* firstFilter;
    const char* allFiles;
    const char* suffix;
};

void PrintTo(const DialogCase& dialogCase, std::ostream* out) {
    *out << dialogCase.suffix;
}

class FileDialogTest : public FileCommandTest, public testing::WithParamInterface<DialogCase> {};

INSTANTIATE_TEST_SUITE_P(
    EveryFileCommand, FileDialogTest,
    testing::Values(DialogCase{command::savePublicData, false, "Offentlig data (*.public)",
                               "All Files (*.*)", "public"},
                    DialogCase{command::openPublicData, true, "Offentlig data (*.public)",
                               "All files (*.*)", "public"},
                    DialogCase{command::saveSecretKey, false, "Hemmelige n\xC3\xB8gler (*.secret)",
                               "All Files (*.*)", "secret"},
                    DialogCase{command::openSecretKey, true, "Hemmelige n\xC3\xB8gler (*.secret)",
                               "All Files (*.*)", "secret"},
                    DialogCase{command::saveSharedKey, false,
                               "F\xC3\xA6lles hemmelige n\xC3\xB8gler (*.comkey)",
                               "All Files (*.*)", "comkey"}),
    [](const auto& named) { return "command" + std::to_string(named.param.command); });

TEST_P(FileDialogTest, AsksWithItsFiltersAndACancelWritesNothing) {
    const DialogCase& expected = GetParam();
    window.setFieldText(TextField::A, "00ff");
    bool inspected = false;
    const DialogResponder responder({chooseFile(QString(), [&](QFileDialog& dialog) {
        inspected = true;
        EXPECT_EQ(dialog.nameFilters(),
                  QStringList({utf8(expected.firstFilter), utf8(expected.allFiles)}));
        EXPECT_EQ(utf8(dialog.selectedNameFilter()), expected.firstFilter);
        EXPECT_EQ(utf8(dialog.defaultSuffix()), expected.suffix);
        EXPECT_EQ(dialog.acceptMode(),
                  expected.isLoad ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
        EXPECT_EQ(dialog.fileMode(),
                  expected.isLoad ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        EXPECT_FALSE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
        EXPECT_EQ(dialog.parentWidget(), &window);
        EXPECT_TRUE(dialog.isModal());
        const auto* buttons = dialog.findChild<QDialogButtonBox*>();  // Qt's own texts in Danish
        ASSERT_NE(buttons, nullptr);
        const QPushButton* confirm =
            buttons->button(expected.isLoad ? QDialogButtonBox::Open : QDialogButtonBox::Save);
        ASSERT_NE(confirm, nullptr);
        EXPECT_EQ(utf8(confirm->text()), expected.isLoad ? "&\u00C5bn" : "&Gem");
        EXPECT_EQ(utf8(buttons->button(QDialogButtonBox::Cancel)->text()), "Annuller");
    })});
    run(expected.command);
    ASSERT_TRUE(responder.finished());
    EXPECT_TRUE(inspected);
    // All but the secret's save update, also after a cancel: A is read and shown canonically.
    EXPECT_EQ(shown(TextField::A), expected.command == command::saveSecretKey ? "00ff" : "FF");
    EXPECT_TRUE(QDir(folder.path()).isEmpty());
}

TEST_F(FileCommandTest, TwoUsersExchangePublicDataAndReachTheSamePab) {
    SeededRandom bobRandom(seed + 1);
    app::KeyExchange bobState(bobRandom);
    gui::qt::MainWindow bob(bobState);
    bob.show();

    run(command::useTestValues);
    run(command::generateSecret);
    const std::optional<std::uint64_t> alicesSecret = parseHexText(shown(TextField::a));
    ASSERT_TRUE(alicesSecret.has_value());
    runWithFile(window, command::savePublicData, "alice");  // suffix added
    const AffinePoint alicesPa = testCurve.multiply(*alicesSecret, testPoint);
    EXPECT_EQ(fileBytes(inFolder("alice.public")),
              hexText(testCurve.q) + "*" + hexText(testCurve.A) + "*" + hexText(testCurve.B) + "*" +
                  hexText(testPoint.x) + "*" + hexText(testPoint.y) + "*" + pointText(alicesPa) +
                  std::string(1, '\0'));

    runWithFile(bob, command::openPublicData, "alice.public");
    EXPECT_EQ(bob.fieldText(TextField::q), hexText(testCurve.q));
    EXPECT_EQ(bob.fieldText(TextField::Pb), pointText(alicesPa));
    runOn(bob, command::generateSecret);
    const std::optional<std::uint64_t> bobsSecret = parseHexText(bob.fieldText(TextField::a));
    ASSERT_TRUE(bobsSecret.has_value());
    runWithFile(bob, command::savePublicData, "bob.public");
    runWithFile(window, command::openPublicData, "bob.public");

    const std::string sharedText =
        pointText(testCurve.multiply(*alicesSecret, testCurve.multiply(*bobsSecret, testPoint)));
    EXPECT_EQ(shown(TextField::Pab), sharedText) << "seed " << seed;
    EXPECT_EQ(bob.fieldText(TextField::Pab), sharedText);
    runWithFile(window, command::saveSharedKey, "shared");
    EXPECT_EQ(fileBytes(inFolder("shared.comkey")), sharedText);
}

TEST_F(FileCommandTest, SecretKeyRoundTrip) {
    run(command::useTestValues);
    run(command::generateSecret);
    const std::string secret = shown(TextField::a);
    runWithFile(window, command::saveSecretKey, "mine");
    EXPECT_EQ(fileBytes(inFolder("mine.secret")), secret);

    edit(TextField::a).setText(QStringLiteral("7"));
    runWithFile(window, command::openSecretKey, "mine.secret");
    EXPECT_EQ(shown(TextField::a), secret);
    const std::optional<std::uint64_t> a = parseHexText(secret);
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(shown(TextField::Pa), pointText(testCurve.multiply(*a, testPoint)));
}

TEST_F(FileCommandTest, ExtraSeparatorsAreReportedWithAWarning) {
    writeFile(inFolder("extra.public"), "1*2*3*4*5*6*(uendelig)");
    SeenMessage seen;
    std::string qWhileOpen, pyWhileOpen;
    const DialogResponder responder(
        {chooseFile(inFolder("extra.public")), recordAndDismiss(seen, [&] {
             qWhileOpen = shown(TextField::q);
             pyWhileOpen = shown(TextField::Py);
         })});
    run(command::openPublicData);
    ASSERT_TRUE(responder.finished());
    EXPECT_EQ(seen.text, "For meget data");
    EXPECT_EQ(seen.caption, "Wierdness");
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.modality, Qt::NonModal);
    EXPECT_EQ(qWhileOpen, "1");
    EXPECT_EQ(pyWhileOpen, "5");
    // Then the update: everything modulo 1 is zero.
    EXPECT_EQ(shown(TextField::Px), "0");
    EXPECT_EQ(shown(TextField::Pb), "(uendelig)");
}

TEST_F(FileCommandTest, OverwritingAsksFirstAndOnlyYesReplacesTheFile) {
    const QString path = inFolder("old.secret");
    writeFile(path, "OLD");
    window.setFieldText(TextField::a, "ABC");
    std::string question;
    for (const QMessageBox::StandardButton choice : {QMessageBox::No, QMessageBox::Yes}) {
        std::vector<DialogResponder::Step> steps{chooseFile(path),
                                                 answerFileDialogBox(choice, &question)};
        if (choice == QMessageBox::No) {
            steps.push_back(cancelFileDialog());  // No returns to the dialog
        }
        const DialogResponder responder(std::move(steps));
        run(command::saveSecretKey);
        ASSERT_TRUE(responder.finished());
        EXPECT_NE(question.find("old.secret"), std::string::npos) << question;
        EXPECT_EQ(fileBytes(path), choice == QMessageBox::Yes ? "ABC" : "OLD");
    }
}

}  // namespace
}  // namespace kxtest
