#include "cli/CommandLine.h"

#include <algorithm>
#include <array>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/CurveChecks.h"
#include "app/ExchangeFiles.h"
#include "app/FailureReport.h"
#include "app/FileAccess.h"
#include "app/KeyExchange.h"
#include "app/KeyExchangeView.h"
#include "cli/Terminal.h"
#include "cli/TraceTable.h"
#include "curve/ScalarMultiplication.h"

namespace cli {

namespace {

using app::TextField;

constexpr std::string_view programName = "keyexchange-cli";
// Beyond this the arithmetic runs for minutes or longer, and a trace has more rows than anyone
// reads; the largest standard curve has 521 bits.
constexpr std::size_t largestNumberBits = 4096;

constexpr std::string_view helpText =
    "Brug: keyexchange-cli KOMMANDO ...\n"
    "\n"
    "Diffie-Hellman n\xF8gleudveksling p\xE5 kommandolinjen. Udvekslingsfilerne l\xE6ses pr\xE6"
    "cis, som\n"
    "vinduet l\xE6ser dem.\n"
    "\n"
    "  check FIL.public ...\n"
    "      Tjekker hver fil og skriver \xE9n linje: q's st\xF8rrelse i bit, om q er et primtal\n"
    "      (Miller-Rabin med 40 runder), om kurven er ikke-singul\xE6r (4A\xB3 + 27B\xB2 er ikke "
    "0\n"
    "      modulo q), og om P og filens Pa ligger p\xE5 kurven.\n"
    "  shared FIL.secret FIL.public [--expect FIL.comkey]\n"
    "      Skriver det f\xE6lles punkt Pab = a\xB7Pb, hvor a er det hemmelige tal og Pb er Pa fra\n"
    "      den offentlige fil, pr\xE6"
    "cis som \"Gem f\xE6lles n\xF8gle Pab...\" gemmer det. Med --expect\n"
    "      sammenlignes det med .comkey-filen.\n"
    "  trace FIL.secret FIL.public [--csv]\n"
    "  trace --test-values HEX_A [--csv]\n"
    "      Viser hvert trin af a\xB7P p\xE5 filens kurve (eller p\xE5 test-v\xE6rdierne med a = "
    "HEX_A):\n"
    "      bitten af a, om R l\xE6gges til resultatet (+R), om R fordobles (2R),\n"
    "      h\xE6ldningen af hver linje og resultatet og R efter trinnet. Med --csv som\n"
    "      kommaseparerede v\xE6rdier til et regneark.\n"
    "  --help\n"
    "      Viser denne hj\xE6lp.\n"
    "\n"
    "Afslutningsstatus: 0 n\xE5r alt er i orden, 1 n\xE5r et tjek, en sammenligning eller en\n"
    "udregning fejler, 2 ved forkert brug eller en fil, der ikke kan l\xE6ses.\n";

// The window's nine fields in memory, and its messages collected in order.
class MemoryView final : public app::KeyExchangeView {
  public:
    std::string fieldText(TextField field) const override { return fields_[index(field)]; }
    void setFieldText(TextField field, std::string_view text) override {
        fields_[index(field)] = std::string(text);
    }
    void showMessage(std::string_view text, std::string_view, app::MessageIcon) override {
        messages.emplace_back(text);
    }

    std::vector<std::string> messages;

  private:
    static std::size_t index(TextField field) { return static_cast<std::size_t>(field); }
    std::array<std::string, app::allTextFields.size()> fields_;
};

// Answers every file dialog with the file named on the command line.
class ArgumentChooser final : public app::FileChooser {
  public:
    explicit ArgumentChooser(std::string_view argument) : path_(argumentPath(argument)) {}
    std::optional<std::filesystem::path> choosePath(const app::FileDialogOptions&) override {
        return path_;
    }

  private:
    std::filesystem::path path_;
};

// One student's window, in memory.
struct Session {
    explicit Session(app::RandomSource& random) : state(random) {}
    MemoryView view;
    app::KeyExchange state;
};

// The arguments after the command: files, and the options with their values.
struct Arguments {
    std::vector<std::string_view> files;
    std::optional<std::string_view> expect;
    std::optional<std::string_view> testValues;
    bool csv = false;
};

// "keyexchange-cli: [name: ]text" on a line of its own.
void complain(std::ostream& err, std::string_view name, std::string_view text) {
    err << programName << ": ";
    if (!name.empty()) {
        err << name << ": ";
    }
    err << forTerminal(text) << '\n';
}

int usageError(std::ostream& err, std::string_view text) {
    complain(err, {}, std::string(text) + " (se keyexchange-cli --help)");
    return exitUsage;
}

std::optional<Arguments> parse(std::span<const std::string_view> args, std::ostream& err) {
    Arguments parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (!arg.starts_with("--")) {
            parsed.files.push_back(arg);
        } else if (arg == "--csv") {
            parsed.csv = true;
        } else if ((arg == "--expect" || arg == "--test-values") && i + 1 < args.size()) {
            (arg == "--expect" ? parsed.expect : parsed.testValues) = args[++i];
        } else {
            usageError(err, "ukendt eller ufuldst\xE6ndigt tilvalg \"" + std::string(arg) + "\"");
            return std::nullopt;
        }
    }
    return parsed;
}

// Whether the file can be read as an exchange file, as the window's file commands read it.
bool readable(std::string_view name, std::ostream& err) {
    switch (app::files::readRegularFile(argumentPath(name), app::maxExchangeFileBytes).status) {
        case app::files::ReadStatus::ok:
            return true;
        case app::files::ReadStatus::tooLarge:
            complain(err, name, "filen er for stor til at v\xE6re en udvekslingsfil");
            return false;
        case app::files::ReadStatus::unreadable:
            break;
    }
    complain(err, name, "filen findes ikke eller kan ikke l\xE6ses");
    return false;
}

bool allReadable(const std::vector<std::string_view>& names, std::ostream& err) {
    return std::all_of(names.begin(), names.end(),
                       [&](std::string_view name) { return readable(name, err); });
}

// Loads the exchange files as the window's commands to open a secret key and public data do, and
// reads the fields; refuses numbers too large to compute with here.
bool load(Session& session, std::string_view secretFile, std::string_view publicFile,
          std::ostream& err) {
    ArgumentChooser secret(secretFile);
    app::openSecretKey(session.view, secret);
    ArgumentChooser received(publicFile);
    app::openPublicData(session.state, session.view, received);
    session.state.readInputs(session.view);
    const std::size_t bits = app::bitLength(session.state.q());
    if (bits > largestNumberBits) {
        complain(err, publicFile,
                 "q har " + std::to_string(bits) + " bit; her regnes med h\xF8jst " +
                     std::to_string(largestNumberBits) + " bit");
        return false;
    }
    return true;
}

// The messages the window would have shown, then the failure that stopped the command, if any.
int finish(const Session& session, std::ostream& err, std::string_view name, int status,
           const std::exception_ptr& failure = nullptr) {
    for (const std::string& message : session.view.messages) {
        complain(err, name, message);
    }
    if (failure) {
        complain(err, name, app::failureReport(failure));
        return std::max(status, exitCheckFailed);
    }
    return status;
}

std::string verdictLine(const app::CurveVerdicts& verdicts) {
    const auto yesOrNo = [](bool yes) { return yes ? "ja" : "nej"; };
    const std::string prime =
        verdicts.q == app::Primality::tooLargeToTest
            ? "ikke testet (over " + std::to_string(app::largestTestedPrimeBits) + " bit)"
            : yesOrNo(verdicts.q == app::Primality::prime);
    return std::to_string(verdicts.bits) + " bit; q er et primtal: " + prime +
           "; kurven er ikke-singul\xE6r: " + yesOrNo(verdicts.nonSingular) +
           "; P ligger p\xE5 kurven: " + yesOrNo(verdicts.pOnCurve) +
           "; Pa ligger p\xE5 kurven: " + yesOrNo(verdicts.publicPointOnCurve);
}

int check(const Arguments& arguments, std::ostream& out, std::ostream& err,
          app::RandomSource& random) {
    if (arguments.files.empty() || arguments.expect || arguments.testValues || arguments.csv) {
        return usageError(err, "\"check\" tager en eller flere .public-filer og intet tilvalg");
    }
    int status = exitSuccess;
    for (const std::string_view name : arguments.files) {
        if (!readable(name, err)) {
            status = exitUsage;
            continue;
        }
        Session session(random);
        try {
            ArgumentChooser chooser(name);
            app::openPublicData(session.state, session.view, chooser);
            session.state.readInputs(session.view);
            const app::CurveVerdicts verdicts =
                app::checkCurve(session.state, session.state.Pb(), random);
            out << name << ": " << forTerminal(verdictLine(verdicts)) << '\n';
            const int fileStatus = verdicts.allHold() ? exitSuccess : exitCheckFailed;
            status = std::max(status, finish(session, err, name, fileStatus));
        } catch (...) {
            status = std::max(status, finish(session, err, name, status, std::current_exception()));
        }
    }
    return status;
}

int shared(const Arguments& arguments, std::ostream& out, std::ostream& err,
           app::RandomSource& random, bool outIsTerminal) {
    if (arguments.files.size() != 2 || arguments.testValues || arguments.csv) {
        return usageError(err, "\"shared\" tager en .secret-fil, en .public-fil og evt. --expect");
    }
    std::vector<std::string_view> names = arguments.files;
    if (arguments.expect) {
        names.push_back(*arguments.expect);
    }
    if (!allReadable(names, err)) {
        return exitUsage;
    }
    Session session(random);
    try {
        if (!load(session, names[0], names[1], err)) {
            return finish(session, err, {}, exitUsage);
        }
        session.state.computePaPab();
        session.state.showState(session.view);
    } catch (...) {
        return finish(session, err, {}, exitSuccess, std::current_exception());
    }
    const std::string point = session.view.fieldText(TextField::Pab);
    out << point << (outIsTerminal ? "\n" : "");
    out.flush();
    if (!arguments.expect) {
        return finish(session, err, {}, exitSuccess);
    }
    const bool agrees =
        app::files::readRegularFile(argumentPath(*arguments.expect), app::maxExchangeFileBytes)
            .bytes == point;
    complain(err, *arguments.expect,
             agrees ? "Pab stemmer med filen" : "Pab stemmer IKKE med filen");
    return finish(session, err, {}, agrees ? exitSuccess : exitCheckFailed);
}

int trace(const Arguments& arguments, std::ostream& out, std::ostream& err,
          app::RandomSource& random) {
    if (arguments.expect || arguments.files.size() != (arguments.testValues ? 0U : 2U)) {
        return usageError(err, "\"trace\" tager en .secret- og en .public-fil eller --test-values");
    }
    if (!arguments.testValues && !allReadable(arguments.files, err)) {
        return exitUsage;
    }
    Session session(random);
    try {
        if (arguments.testValues) {
            session.state.useTestValues(session.view);
            session.view.setFieldText(TextField::a, *arguments.testValues);
            session.state.readInputs(session.view);
        } else if (!load(session, arguments.files[0], arguments.files[1], err)) {
            return finish(session, err, {}, exitUsage);
        }
        const std::size_t steps = app::bitLength(session.state.a());
        if (steps > largestNumberBits) {
            complain(err, {},
                     "a har " + std::to_string(steps) + " bit; et spor viser h\xF8jst " +
                         std::to_string(largestNumberBits) + " trin");
            return finish(session, err, {}, exitUsage);
        }
        session.state.computePaPab();
        session.state.showState(session.view);
        const auto field = [&](TextField f) { return session.view.fieldText(f); };
        if (!arguments.csv) {
            out << forTerminal(
                "q = " + field(TextField::q) + ", A = " + field(TextField::A) +
                ", B = " + field(TextField::B) + ", P = (" + field(TextField::Px) + ", " +
                field(TextField::Py) + "), a = " + field(TextField::a) + "\n" +
                "a\xB7P trin for trin, \xE9n r\xE6kke for hver bit af a, laveste f\xF8rst:\n");
        }
        TraceTable table(out, arguments.csv, field(TextField::q).size(), steps);
        table.writeHeadings();
        curve::multiply(session.state.P(), session.state.a(), &table);
        if (!arguments.csv) {
            out << forTerminal("Pa = a\xB7P = " + field(TextField::Pa)) << '\n';
        }
    } catch (...) {
        return finish(session, err, {}, exitSuccess, std::current_exception());
    }
    return finish(session, err, {}, exitSuccess);
}

}  // namespace

int runCli(std::span<const std::string_view> args, std::ostream& out, std::ostream& err,
           app::RandomSource& random, bool outIsTerminal) {
    if (args.empty()) {
        return usageError(err, "der mangler en kommando");
    }
    const std::string_view command = args.front();
    if (command == "--help" || command == "-h") {
        out << forTerminal(helpText);
        return exitSuccess;
    }
    const std::optional<Arguments> arguments = parse(args.subspan(1), err);
    if (!arguments) {
        return exitUsage;
    }
    if (command == "check") {
        return check(*arguments, out, err, random);
    }
    if (command == "shared") {
        return shared(*arguments, out, err, random, outIsTerminal);
    }
    if (command == "trace") {
        return trace(*arguments, out, err, random);
    }
    return usageError(err, "ukendt kommando \"" + std::string(command) + "\"");
}

}  // namespace cli
