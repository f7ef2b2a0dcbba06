#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

#include "CurveOracle.h"
#include "ShellTestSupport.h"

namespace kxtest {
namespace {

using app::TextField;
namespace command = gui::command;

// The file's bytes, or "<missing>" when it cannot be read.
std::string fileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return "<missing>";
    }
    return file.readAll().toStdString();
}

void writeFile(const QString& path, const std::string& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

// Picks the file in the open file dialog; the dialog accepts once this step has returned, so
// that a following step can answer what accepting shows.
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
        QDialog& asDialog = *dialog;
        QMetaObject::invokeMethod(
            dialog, [&asDialog] { asDialog.accept(); }, Qt::QueuedConnection);
        return true;
    };
}

DialogResponder::Step cancelFileDialog(std::function<void(QFileDialog&)> inspect = {}) {
    return [inspect] {
        QFileDialog* dialog = visibleWindow<QFileDialog>();
        if (dialog == nullptr) {
            return false;
        }
        if (inspect) {
            inspect(*dialog);
        }
        QDialog& asDialog = *dialog;
        QMetaObject::invokeMethod(
            dialog, [&asDialog] { asDialog.reject(); }, Qt::QueuedConnection);
        return true;
    };
}

class FileCommandTest : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        ASSERT_TRUE(folder.isValid());
    }

    // Runs a file command with its dialog answered by the given path.
    void runWithFile(gui::qt::MainWindow& target, int commandId, const QString& path) {
        const DialogResponder responder({chooseFile(path)});
        runOn(target, commandId);
        EXPECT_TRUE(responder.finished()) << commandId;
    }

    static void runOn(gui::qt::MainWindow& target, int commandId) {
        for (QAction* candidate : target.menuBar()->findChildren<QAction*>()) {
            if (candidate->data().toInt() == commandId) {
                candidate->trigger();
                return;
            }
        }
        FAIL() << "no menu command " << commandId;
    }

    QString inFolder(const char* name) const { return QDir(folder.path()).filePath(name); }

    QTemporaryDir folder;
};

struct DialogCase {
    int command;
    QFileDialog::AcceptMode mode;
    std::vector<const char*> filtersUtf8;
    const char* suffix;
};

void PrintTo(const DialogCase& dialogCase, std::ostream* out) {
    *out << "command " << dialogCase.command;
}

class FileDialogTest : public FileCommandTest, public testing::WithParamInterface<DialogCase> {};

const DialogCase dialogCases[] = {
    {command::savePublicData,
     QFileDialog::AcceptSave,
     {"Offentlig data (*.public)", "All Files (*.*)"},
     "public"},
    {command::openPublicData,
     QFileDialog::AcceptOpen,
     {"Offentlig data (*.public)", "All files (*.*)"},
     "public"},
    {command::saveSecretKey,
     QFileDialog::AcceptSave,
     {"Hemmelige n\xC3\xB8gler (*.secret)", "All Files (*.*)"},
     "secret"},
    {command::openSecretKey,
     QFileDialog::AcceptOpen,
     {"Hemmelige n\xC3\xB8gler (*.secret)", "All Files (*.*)"},
     "secret"},
    {command::saveSharedKey,
     QFileDialog::AcceptSave,
     {"F\xC3\xA6lles hemmelige n\xC3\xB8gler (*.comkey)", "All Files (*.*)"},
     "comkey"},
};

INSTANTIATE_TEST_SUITE_P(EveryFileCommand, FileDialogTest, testing::ValuesIn(dialogCases),
                         [](const testing::TestParamInfo<DialogCase>& caseInfo) {
                             return "command" + std::to_string(caseInfo.param.command);
                         });

TEST_P(FileDialogTest, AsksWithItsFiltersAndACancelWritesNothing) {
    const DialogCase& expected = GetParam();
    window.setFieldText(TextField::A, "00ff");
    bool inspected = false;
    const DialogResponder responder({cancelFileDialog([&](QFileDialog& dialog) {
        inspected = true;
        std::vector<std::string> filters;
        for (const QString& filter : dialog.nameFilters()) {
            filters.push_back(utf8(filter));
        }
        EXPECT_EQ(filters, std::vector<std::string>(expected.filtersUtf8.begin(),
                                                    expected.filtersUtf8.end()));
        EXPECT_EQ(utf8(dialog.selectedNameFilter()), expected.filtersUtf8.front());
        EXPECT_EQ(utf8(dialog.defaultSuffix()), expected.suffix);
        EXPECT_EQ(dialog.acceptMode(), expected.mode);
        EXPECT_EQ(dialog.fileMode(), expected.mode == QFileDialog::AcceptOpen
                                         ? QFileDialog::ExistingFile
                                         : QFileDialog::AnyFile);
        EXPECT_FALSE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
        EXPECT_EQ(dialog.parentWidget(), &window);
        EXPECT_TRUE(dialog.isModal());
    })});
    run(expected.command);
    ASSERT_TRUE(responder.finished());
    EXPECT_TRUE(inspected);
    // The loads update after a cancel too: the A field is read and shown canonically.
    const bool isLoad = expected.mode == QFileDialog::AcceptOpen;
    EXPECT_EQ(shown(TextField::A), isLoad ? "FF" : "00ff");
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
    runWithFile(window, command::savePublicData, inFolder("alice"));  // suffix added
    const AffinePoint alicesPa = testCurve.multiply(*alicesSecret, testPoint);
    EXPECT_EQ(fileBytes(inFolder("alice.public")),
              hexText(testCurve.q) + "*" + hexText(testCurve.A) + "*" + hexText(testCurve.B) + "*" +
                  hexText(testPoint.x) + "*" + hexText(testPoint.y) + "*" + pointText(alicesPa) +
                  std::string(1, '\0'));

    runWithFile(bob, command::openPublicData, inFolder("alice.public"));
    EXPECT_EQ(bob.fieldText(TextField::q), hexText(testCurve.q));
    EXPECT_EQ(bob.fieldText(TextField::Pb), pointText(alicesPa));
    runOn(bob, command::generateSecret);
    const std::optional<std::uint64_t> bobsSecret = parseHexText(bob.fieldText(TextField::a));
    ASSERT_TRUE(bobsSecret.has_value());
    runWithFile(bob, command::savePublicData, inFolder("bob.public"));
    runWithFile(window, command::openPublicData, inFolder("bob.public"));

    const std::string sharedText =
        pointText(testCurve.multiply(*alicesSecret, testCurve.multiply(*bobsSecret, testPoint)));
    EXPECT_EQ(shown(TextField::Pab), sharedText) << "seed " << seed;
    EXPECT_EQ(bob.fieldText(TextField::Pab), sharedText);
    runWithFile(window, command::saveSharedKey, inFolder("shared"));
    EXPECT_EQ(fileBytes(inFolder("shared.comkey")), sharedText);
}

TEST_F(FileCommandTest, SecretKeyRoundTrip) {
    run(command::useTestValues);
    run(command::generateSecret);
    const std::string secret = shown(TextField::a);
    runWithFile(window, command::saveSecretKey, inFolder("mine"));
    EXPECT_EQ(fileBytes(inFolder("mine.secret")), secret);

    edit(TextField::a).setText(QStringLiteral("7"));
    runWithFile(window, command::openSecretKey, inFolder("mine.secret"));
    EXPECT_EQ(shown(TextField::a), secret);
    const std::optional<std::uint64_t> a = parseHexText(secret);
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(shown(TextField::Pa), pointText(testCurve.multiply(*a, testPoint)));
}

TEST_F(FileCommandTest, TypedDanishLettersAndEuroReachTheFileAsSingleBytes) {
    QLineEdit& field = edit(TextField::a);
    field.setFocus();
    typeText(field, utf8("\xC3\xA6\xC3\xB8\xC3\xA5\xE2\x82\xAC\xCE\xA9"));  // æøå€Ω
    runWithFile(window, command::saveSecretKey, inFolder("letters.secret"));
    EXPECT_EQ(fileBytes(inFolder("letters.secret")), "\xE6\xF8\xE5\x80?");
}

TEST_F(FileCommandTest, ExtraSeparatorsAreReportedWithAWarning) {
    const QString path = inFolder("extra.public");
    writeFile(path, "1*2*3*4*5*6*(uendelig)");
    SeenMessage seen;
    std::string qWhileOpen;
    std::string pyWhileOpen;
    const DialogResponder responder({chooseFile(path), recordAndDismiss(seen, [&] {
                                         qWhileOpen = shown(TextField::q);
                                         pyWhileOpen = shown(TextField::Py);
                                     })});
    run(command::openPublicData);
    ASSERT_TRUE(responder.finished());
    EXPECT_EQ(seen.text, "For meget data");
    EXPECT_EQ(seen.caption, "Wierdness");
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_FALSE(seen.hasParent);
    EXPECT_EQ(seen.modality, Qt::NonModal);
    EXPECT_EQ(qWhileOpen, "1");
    EXPECT_EQ(pyWhileOpen, "5");
    // Then the update: everything modulo 1 is zero.
    EXPECT_EQ(shown(TextField::q), "1");
    EXPECT_EQ(shown(TextField::Px), "0");
    EXPECT_EQ(shown(TextField::Pb), "(uendelig)");
}

TEST_F(FileCommandTest, OverwritingAsksFirstAndNoKeepsTheFile) {
    const QString path = inFolder("old.secret");
    writeFile(path, "OLD");
    window.setFieldText(TextField::a, "ABC");
    std::string question;
    const auto answer = [&question](QMessageBox::StandardButton choice) {
        return [&question, choice] {
            QMessageBox* box = visibleWindow<QMessageBox>(
                [](QMessageBox& candidate) { return candidate.parent() != nullptr; });
            if (box == nullptr) {
                return false;
            }
            question = utf8(box->text());
            QTest::mouseClick(box->button(choice), Qt::LeftButton);
            return true;
        };
    };
    {
        const DialogResponder responder(
            {chooseFile(path), answer(QMessageBox::No), cancelFileDialog()});
        run(command::saveSecretKey);
        ASSERT_TRUE(responder.finished());
    }
    EXPECT_NE(question.find("old.secret"), std::string::npos) << question;
    EXPECT_EQ(fileBytes(path), "OLD");
    {
        const DialogResponder responder({chooseFile(path), answer(QMessageBox::Yes)});
        run(command::saveSecretKey);
        ASSERT_TRUE(responder.finished());
    }
    EXPECT_EQ(fileBytes(path), "ABC");
}

TEST_F(FileCommandTest, OpenRefusesAFileThatDoesNotExist) {
    window.setFieldText(TextField::a, "5");
    const DialogResponder responder(
        {chooseFile(inFolder("missing.secret")),
         [] {
             // Qt's dialog says the file is missing and stays open.
             QMessageBox* box = visibleWindow<QMessageBox>(
                 [](QMessageBox& candidate) { return candidate.parent() != nullptr; });
             if (box == nullptr) {
                 return false;
             }
             QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
             return true;
         },
         cancelFileDialog()});
    run(command::openSecretKey);
    ASSERT_TRUE(responder.finished());
    EXPECT_EQ(shown(TextField::a), "5");
}

}  // namespace
}  // namespace kxtest
