#include "cli/CommandLine.h"

#include <algorithm>
#include <charconv>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/CurveChecks.h"
#include "app/ExchangeFormats.h"
#include "app/FailureReport.h"
#include "app/FileAccess.h"
#include "app/KeyExchange.h"
#include "app/MultiplicationTrace.h"
#include "app/TypedNumber.h"
#include "cli/AttackReport.h"
#include "cli/Terminal.h"
#include "cli/TraceTable.h"
#include "curve/ScalarMultiplication.h"
#include "eve/Attack.h"
#include "eve/Texts.h"

namespace cli {

namespace {

constexpr std::string_view programName = "keyexchange-cli";
constexpr std::size_t largestNumberBits = app::largestTracedBits;

constexpr std::string_view helpText =
    "Brug: keyexchange-cli KOMMANDO ...\n"
    "\n"
    "Diffie-Hellman n\xF8gleudveksling p\xE5 kommandolinjen. Udvekslingsfilerne l\xE6ses og "
    "tjekkes\n"
    "pr\xE6"
    "cis, som vinduet l\xE6ser og tjekker dem.\n"
    "\n"
    "  check FIL.public ...\n"
    "      Tjekker hver fil og skriver \xE9n linje: q's st\xF8rrelse i bit, om q er et primtal\n"
    "      (Miller-Rabin med 40 runder), om kurven er ikke-singul\xE6r (4A\xB3 + 27B\xB2 er ikke "
    "0\n"
    "      modulo q), og om P og filens Pa ligger p\xE5 kurven.\n"
    "  shared FIL.secret FIL.public [--expect FIL.comkey]\n"
    "      Skriver det f\xE6lles punkt Pab = a\xB7Pb, hvor a er det hemmelige tal og Pb er Pa fra\n"
    "      den offentlige fil, pr\xE6"
    "cis som \"Gem f\xE6lles n\xF8gle Pab...\" gemmer det. "
    "Klarer\n"
    "      filen ikke alle tjek fra check, siges det, og status bliver 1. Med --expect\n"
    "      sammenlignes det med .comkey-filen.\n"
    "  trace FIL.secret FIL.public [--csv]\n"
    "  trace --test-values HEX_A [--csv]\n"
    "      Viser hvert trin af a\xB7P p\xE5 filens kurve (eller p\xE5 test-v\xE6rdierne med a = "
    "HEX_A):\n"
    "      bitten af a, om R l\xE6gges til resultatet (+R), om R fordobles (2R),\n"
    "      h\xE6ldningen af hver linje og resultatet og R efter trinnet. Med --csv som\n"
    "      kommaseparerede v\xE6rdier til et regneark.\n"
    "  attack FIL.public [ANDEN.public] [--limit BITS]\n"
    "      Eve, der kun ser de offentlige filer: finder ud fra filens Pa et a' med a'\xB7P = Pa\n"
    "      (hemmeligheden modulo ord(P)) med Pohlig-Hellman, baby-step giant-step og Pollards\n"
    "      rho, og skriver ord(P) med dens primfaktorer, metoden, trinene og tiden for hver\n"
    "      og a'. Med ANDEN.public fra samme udveksling skrives ogs\xE5 Pab = a'\xB7Pb, hvor Pb "
    "er\n"
    "      Pa fra ANDEN.public. Kun filer, der klarer alle tjek fra check, angribes. En\n"
    "      primfaktor over 2^BITS (uden --limit 2^66) eller et q p\xE5 80 bit eller mere er "
    "uden\n"
    "      for r\xE6kkevidde: s\xE5 skrives et sk\xF8n over tiden, og status bliver 1, "
    "ligesom n\xE5r\n"
    "      intet a findes. Ctrl+C afbryder angrebet (status 1).\n"
    "  --help\n"
    "      Viser denne hj\xE6lp.\n"
    "\n"
    "Afslutningsstatus: 0 n\xE5r alt er i orden; 1 n\xE5r en fils indhold ikke klarer et tjek,\n"
    "sammenligningen eller udregningen fejler, eller Eve ikke finder a'; 2 ved forkert brug\n"
    "(ogs\xE5 filer i hinandens pladser) eller en fil, der ikke kan \xE5"
    "bnes.\n";

// The arguments after the command: files, and the options with their values.
struct Arguments {
    std::vector<std::string_view> files;
    std::optional<std::string_view> expect;
    std::optional<std::string_view> testValues;
    std::optional<std::string_view> limit;
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
        } else if ((arg == "--expect" || arg == "--test-values" || arg == "--limit") &&
                   i + 1 < args.size()) {
            (arg == "--expect"        ? parsed.expect
             : arg == "--test-values" ? parsed.testValues
                                      : parsed.limit) = args[++i];
        } else {
            usageError(err, "ukendt eller ufuldst\xE6ndigt tilvalg \"" + std::string(arg) + "\"");
            return std::nullopt;
        }
    }
    return parsed;
}

constexpr std::string_view notPublicData = "er ikke en fil med offentlige data: ";
constexpr std::string_view notSecretKey = "er ikke en hemmelig n\xF8gle: ";

// A file named on the command line, or the exit status of why not, said on err.
struct FileBytes {
    std::optional<std::string> bytes;
    int status = exitSuccess;
};

// The whole file: a file that cannot be opened is a usage error; one too large to be an
// exchange file fails as its contents would.
FileBytes readArgument(std::string_view name, std::string_view refusal, std::ostream& err) {
    app::files::ReadResult read =
        app::files::readRegularFile(argumentPath(name), app::maxExchangeFileBytes);
    switch (read.status) {
        case app::files::ReadStatus::ok:
            return {std::move(read.bytes), exitSuccess};
        case app::files::ReadStatus::tooLarge:
            complain(err, name, std::string(refusal) + app::tooLargeReason());
            return {std::nullopt, exitCheckFailed};
        case app::files::ReadStatus::unreadable:
            break;
    }
    complain(err, name, "filen findes ikke eller kan ikke l\xE6ses");
    return {std::nullopt, exitUsage};
}

struct PublicFile {
    std::optional<app::PublicData> data;
    int status = exitSuccess;
};

// A public-data file checked whole; a secret key in its place is a usage error.
PublicFile readPublicFile(std::string_view name, std::ostream& err) {
    FileBytes file = readArgument(name, notPublicData, err);
    if (!file.bytes) {
        return {std::nullopt, file.status};
    }
    if (app::looksLikeSecretKey(*file.bytes)) {
        complain(err, name,
                 "er en hemmelig n\xF8gle (en .secret-fil); her skal st\xE5 en fil med offentlige "
                 "data (en .public-fil)");
        return {std::nullopt, exitUsage};
    }
    app::PublicDataReading reading = app::readPublicData(*file.bytes);
    if (!reading.data) {
        complain(err, name, std::string(notPublicData) + reading.refusal);
        return {std::nullopt, exitCheckFailed};
    }
    return {std::move(reading.data), exitSuccess};
}

// The secret key and the public data of shared and trace, each checked whole, or the exit
// status of why not. Files in each other's places are a usage error that says where each goes.
struct ExchangeFiles {
    app::Inputs inputs;  // the public file's curve and P, and the secret a
    std::optional<app::PublicData> received;
    int status = exitSuccess;
};

ExchangeFiles readExchangeFiles(std::string_view command, std::string_view secretName,
                                std::string_view publicName, std::ostream& err) {
    ExchangeFiles files;
    const FileBytes secret = readArgument(secretName, notSecretKey, err);
    const FileBytes received = readArgument(publicName, notPublicData, err);
    if (!secret.bytes || !received.bytes) {
        files.status = std::max(secret.status, received.status);
        return files;
    }
    if (app::readPublicData(*secret.bytes).data || app::looksLikeSecretKey(*received.bytes)) {
        std::string text(1, '"');
        text += command;
        text +=
            "\" tager den hemmelige n\xF8gle f\xF8rst og de offentlige data bagefter: "
            "keyexchange-cli ";
        text += command;
        text += " FIL.secret FIL.public";
        files.status = usageError(err, text);
        return files;
    }
    const app::SecretKeyReading key = app::readSecretKey(*secret.bytes);
    app::PublicDataReading reading = app::readPublicData(*received.bytes);
    if (!key.a) {
        complain(err, secretName, std::string(notSecretKey) + key.refusal);
    }
    if (!reading.data) {
        complain(err, publicName, std::string(notPublicData) + reading.refusal);
    }
    if (!key.a || !reading.data) {
        files.status = exitCheckFailed;
        return files;
    }
    const app::PublicData& data = *reading.data;
    files.inputs = {data.q, data.A, data.B, data.Px, data.Py, *key.a};
    const std::size_t bits = data.q.bitLength();
    files.received = std::move(reading.data);
    if (bits > largestNumberBits) {
        complain(err, publicName,
                 "q har " + std::to_string(bits) + " bit; her regnes med h\xF8jst " +
                     std::to_string(largestNumberBits) + " bit");
        files.status = exitCheckFailed;
    }
    return files;
}

// The state as after opening the file in the window: the file's curve and P, its Pa received as
// Pb, and the secret a.
void openIn(app::KeyExchange& state, const app::PublicData& data, const bignum::Natural& a = {}) {
    state.receive(data);
    state.setInputs({data.q, data.A, data.B, data.Px, data.Py, a});
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

// What fails of check's verdicts, in words about the file's own numbers; its Pa lies on the curve,
// or the file was refused.
std::vector<std::string> failedChecks(const app::CurveVerdicts& verdicts) {
    std::vector<std::string> failed;
    if (verdicts.q == app::Primality::composite) {
        failed.emplace_back("q i filen er ikke et primtal");
    } else if (verdicts.q == app::Primality::tooLargeToTest) {
        failed.emplace_back("q i filen er for stor til at blive testet");
    }
    if (!verdicts.nonSingular) {
        failed.emplace_back("kurven i filen er singul\xE6r (4A\xB3 + 27B\xB2 er 0 modulo q)");
    }
    if (!verdicts.pOnCurve) {
        failed.emplace_back("P i filen ligger ikke p\xE5 kurven");
    }
    return failed;
}

// Says on err, under the file's name, each of check's checks that the state's file fails; true
// when it passes them all.
bool passesChecks(app::KeyExchange& state, std::string_view name, std::ostream& err,
                  app::RandomSource& random) {
    const std::vector<std::string> failed =
        failedChecks(app::checkCurve(state, state.Pb(), random));
    for (const std::string& text : failed) {
        complain(err, name, text);
    }
    return failed.empty();
}

int check(const Arguments& arguments, std::ostream& out, std::ostream& err,
          app::RandomSource& random) {
    if (arguments.files.empty() || arguments.expect || arguments.testValues || arguments.csv ||
        arguments.limit) {
        return usageError(err, "\"check\" tager en eller flere .public-filer og intet tilvalg");
    }
    int status = exitSuccess;
    for (const std::string_view name : arguments.files) {
        const PublicFile file = readPublicFile(name, err);
        status = std::max(status, file.status);
        if (!file.data) {
            continue;
        }
        try {
            app::KeyExchange state(random);
            openIn(state, *file.data);
            const app::CurveVerdicts verdicts = app::checkCurve(state, state.Pb(), random);
            out << name << ": " << forTerminal(verdictLine(verdicts)) << '\n';
            status = std::max(status, verdicts.allHold() ? exitSuccess : exitCheckFailed);
        } catch (...) {
            complain(err, name, app::failureReport(std::current_exception()));
            status = std::max(status, exitCheckFailed);
        }
    }
    return status;
}

int shared(const Arguments& arguments, std::ostream& out, std::ostream& err,
           app::RandomSource& random, bool outIsTerminal) {
    if (arguments.files.size() != 2 || arguments.testValues || arguments.csv || arguments.limit) {
        return usageError(err, "\"shared\" tager en .secret-fil, en .public-fil og evt. --expect");
    }
    std::optional<std::string> expected;
    if (arguments.expect) {
        // Any bytes may be compared, so only a file that cannot be opened stops the command.
        FileBytes file = readArgument(*arguments.expect, {}, err);
        if (!file.bytes) {
            return file.status;
        }
        expected = std::move(file.bytes);
    }
    const std::string_view publicName = arguments.files[1];
    const ExchangeFiles files = readExchangeFiles("shared", arguments.files[0], publicName, err);
    if (files.status != exitSuccess) {
        return files.status;
    }
    int status = exitSuccess;
    std::string point;
    try {
        app::KeyExchange state(random);
        openIn(state, *files.received, files.inputs[5]);
        if (!passesChecks(state, publicName, err, random)) {
            status = exitCheckFailed;
        }
        state.computePaPab();
        point = state.Pab().toText();
    } catch (...) {
        complain(err, {}, app::failureReport(std::current_exception()));
        return exitCheckFailed;
    }
    out << point << (outIsTerminal ? "\n" : "");
    out.flush();
    if (expected) {
        const bool agrees = *expected == point;
        complain(err, *arguments.expect,
                 agrees ? "Pab stemmer med filen" : "Pab stemmer IKKE med filen");
        status = std::max(status, agrees ? exitSuccess : exitCheckFailed);
    }
    return status;
}

// The table of a*P on the state's curve, and the Pa it ends with.
void writeTrace(app::KeyExchange& state, bool csv, std::ostream& out) {
    state.computePaPab();
    const std::string q = state.q().toHex();
    if (!csv) {
        out << forTerminal("q = " + q + ", A = " + state.A().value().toHex() +
                           ", B = " + state.B().value().toHex() + ", P = (" +
                           state.P().x().value().toHex() + ", " + state.P().y().value().toHex() +
                           "), a = " + state.a().toHex() + "\n" +
                           "a\xB7P trin for trin, \xE9n r\xE6kke for hver bit af a, laveste "
                           "f\xF8rst:\n");
    }
    TraceTable table(out, csv, q.size(), state.a().bitLength());
    table.writeHeadings();
    curve::multiply(state.P(), state.a(), &table);
    if (!csv) {
        out << forTerminal(std::string("Pa = a\xB7P = ") + state.Pa().toText()) << '\n';
    }
}

// a from --test-values, read by the rule of the window's a field and with its message.
std::optional<bignum::Natural> testValuesSecret(std::string_view text, std::ostream& err) {
    const app::TypedNumber number = app::readTypedNumber(text);
    if (number.bad) {
        complain(err, {}, app::badFieldMessage(app::TextField::a, *number.bad));
        return std::nullopt;
    }
    // Canonical digits: more than a quarter as many as the bits allowed means too many bits.
    if (number.digits.size() > largestNumberBits / 4) {
        usageError(err, "a har over " + std::to_string(largestNumberBits) +
                            " bit; et spor viser h\xF8jst " + std::to_string(largestNumberBits) +
                            " trin");
        return std::nullopt;
    }
    bignum::Natural a;
    a.fromHex(number.digits);
    return a;
}

int trace(const Arguments& arguments, std::ostream& out, std::ostream& err,
          app::RandomSource& random) {
    if (arguments.expect || arguments.limit ||
        arguments.files.size() != (arguments.testValues ? 0U : 2U)) {
        return usageError(err, "\"trace\" tager en .secret- og en .public-fil eller --test-values");
    }
    app::Inputs inputs;
    if (arguments.testValues) {
        const std::optional<bignum::Natural> a = testValuesSecret(*arguments.testValues, err);
        if (!a) {
            return exitUsage;
        }
        inputs = app::testInputs();
        inputs[5] = *a;
    } else {
        const ExchangeFiles files =
            readExchangeFiles("trace", arguments.files[0], arguments.files[1], err);
        if (files.status != exitSuccess) {
            return files.status;
        }
        inputs = files.inputs;
        const std::size_t steps = inputs[5].bitLength();
        if (steps > largestNumberBits) {
            complain(err, arguments.files[0],
                     "a har " + std::to_string(steps) + " bit; et spor viser h\xF8jst " +
                         std::to_string(largestNumberBits) + " trin");
            return exitCheckFailed;
        }
    }
    try {
        app::KeyExchange state(random);
        state.setInputs(inputs);
        writeTrace(state, arguments.csv, out);
    } catch (...) {
        complain(err, {}, app::failureReport(std::current_exception()));
        return exitCheckFailed;
    }
    return exitSuccess;
}

// A file for Eve, read whole and given every check of check, in a state of its own whose P and Pb
// are the file's P and Pa; or the exit status of why not, said on err.
struct CheckedFile {
    std::unique_ptr<app::KeyExchange> state;
    std::optional<app::PublicData> data;
    int status = exitSuccess;
};

CheckedFile readCheckedFile(std::string_view name, std::ostream& err, app::RandomSource& random) {
    PublicFile read = readPublicFile(name, err);
    CheckedFile file{nullptr, std::nullopt, read.status};
    if (read.data) {
        file.state = std::make_unique<app::KeyExchange>(random);
        openIn(*file.state, *read.data);
        if (!passesChecks(*file.state, name, err, random)) {
            file.status = exitCheckFailed;
        }
        file.data = std::move(read.data);
    }
    return file;
}

// Why two public files cannot come from one exchange; empty when they can.
std::string_view mismatch(const app::PublicData& one, const app::PublicData& other) {
    if (!(one.q == other.q && one.A == other.A && one.B == other.B)) {
        return "har ikke samme kurve (q, A og B)";
    }
    if (!(one.Px == other.Px && one.Py == other.Py)) {
        return "har samme kurve, men ikke samme P";
    }
    return {};
}

// The number of --limit: whole bits from 1 to 128.
std::optional<unsigned> limitBits(std::string_view text) {
    unsigned bits = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, bits);
    return error == std::errc{} && stop == end && bits >= 1 && bits <= 128
               ? std::optional<unsigned>(bits)
               : std::nullopt;
}

int attack(const Arguments& arguments, std::ostream& out, std::ostream& err,
           app::RandomSource& random, bool errIsTerminal) {
    const std::size_t count = arguments.files.size();
    if (count < 1 || count > 2 || arguments.expect || arguments.testValues || arguments.csv) {
        return usageError(err, "\"attack\" tager en eller to .public-filer og evt. --limit BITS");
    }
    eve::Options options;
    if (arguments.limit) {
        const std::optional<unsigned> bits = limitBits(*arguments.limit);
        if (!bits) {
            return usageError(err, "--limit tager et helt antal bit fra 1 til 128, ikke \"" +
                                       std::string(*arguments.limit) + "\"");
        }
        options.limitBits = *bits;
    }
    try {
        std::vector<CheckedFile> files;
        int status = exitSuccess;
        for (const std::string_view name : arguments.files) {
            files.push_back(readCheckedFile(name, err, random));
            status = std::max(status, files.back().status);
        }
        if (status != exitSuccess) {
            return status;
        }
        if (count == 2) {
            const std::string_view why = mismatch(*files[0].data, *files[1].data);
            if (!why.empty()) {
                err << programName << ": " << arguments.files[0] << " og " << arguments.files[1]
                    << ' '
                    << forTerminal(std::string(why) +
                                   ": de er ikke fra samme udveksling, s\xE5 der er intet "
                                   "f\xE6lles Pab at finde")
                    << '\n';
                return exitCheckFailed;
            }
        }
        app::KeyExchange& state = *files[0].state;
        eve::StopRequest stop;
        ProgressLine progress(err, errIsTerminal);
        options.stop = &stop;
        options.observer = &progress;
        eve::Result result;
        {
            const InterruptStops interrupt(stop);
            result = eve::attack(state.P(), state.Pb(), options);
        }
        progress.finish();
        out << forTerminal(findingsText(result));
        if (result.outcome != eve::Outcome::found) {
            complain(err, arguments.files[0],
                     eve::outcomeText(result, options.limitBits) +
                         (result.outcome == eve::Outcome::factorBeyondLimit
                              ? " Tilvalget --limit BITS h\xE6ver gr\xE6nsen."
                              : ""));
            return exitCheckFailed;
        }
        if (count == 2) {
            // The other file's Pa as Pb, and a' as a: what that student's partner computes.
            openIn(state, *files[1].data, result.secret);
            state.computePaPab();
            out << "Med Pb = Pa fra " << arguments.files[1]
                << forTerminal(" er Pab = a'\xB7Pb den n\xF8gle, de to tror er hemmelig:\nPab = " +
                               std::string(state.Pab().toText()))
                << '\n';
        }
        return exitSuccess;
    } catch (...) {
        complain(err, {}, app::failureReport(std::current_exception()));
        return exitCheckFailed;
    }
}

}  // namespace

int runCli(std::span<const std::string_view> args, std::ostream& out, std::ostream& err,
           app::RandomSource& random, bool outIsTerminal, bool errIsTerminal) {
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
    if (command == "attack") {
        return attack(*arguments, out, err, random, errIsTerminal);
    }
    return usageError(err, "ukendt kommando \"" + std::string(command) + "\"");
}

}  // namespace cli
