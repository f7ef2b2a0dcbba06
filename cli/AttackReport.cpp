#include "cli/AttackReport.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>

#include "app/CurveChecks.h"
#include "cli/Terminal.h"
#include "eve/Texts.h"

namespace cli {

namespace {

std::string padded(std::string text, std::size_t width, bool right = false) {
    const std::string fill(width > text.size() ? width - text.size() : 0, ' ');
    return right ? fill + text : text + fill;
}

// The text in lines that fit a terminal of 80 columns and a page of the guide, broken at spaces.
std::string wrapped(std::string_view text) {
    constexpr std::size_t width = 78;
    std::string lines;
    while (text.size() > width) {
        const std::size_t space = text.rfind(' ', width);
        if (space == std::string_view::npos || space == 0) {
            break;
        }
        lines.append(text.substr(0, space)) += '\n';
        text.remove_prefix(space + 1);
    }
    return lines.append(text) += '\n';
}

// The attack stopped by Ctrl+C: the handler may only touch lock-free atomics.
std::atomic<eve::StopRequest*> interruptedAttack{nullptr};
static_assert(std::atomic<eve::StopRequest*>::is_always_lock_free);

void stopAttack(int) {
    if (eve::StopRequest* const stop = interruptedAttack.load()) {
        stop->request();
    }
}

}  // namespace

std::string secondsText(std::chrono::duration<double> time) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", time.count());
    std::string result(text);
    std::replace(result.begin(), result.end(), '.', ',');
    return result;
}

std::string findingsText(const eve::Result& result) {
    const std::string order = eve::orderText(result, false);
    std::string text;
    if (!order.empty()) {
        const bool prime = result.factors.size() == 1 && result.factors[0].exponent == 1;
        text = "ord(P) = " + order + (prime ? ", et primtal" : "") + ", fundet p\xE5 " +
               secondsText(result.orderTime) + "\n  (i titalssystemet " +
               eve::orderText(result, true) + ")\n";
    }
    if (result.outcome == eve::Outcome::found && !result.factors.empty()) {
        text += "a' modulo hver primpotens for sig (Pohlig-Hellman):\n";
        std::size_t width = 0;
        for (const eve::FactorWork& f : result.factors) {
            width = std::max(width, eve::powerText(f, false).size());
        }
        for (const eve::FactorWork& f : result.factors) {
            text += "  " + padded(eve::powerText(f, false), width) + "  " +
                    padded(std::to_string(f.prime.bitLength()), 3, true) + " bit  " +
                    padded(eve::methodName(f.method), 20) + "  " +
                    padded(std::to_string(f.steps), 10, true) + " trin  " + secondsText(f.time) +
                    "\n";
        }
    }
    if (result.outcome == eve::Outcome::found) {
        text += "a' = " + std::string(result.secret.toHex()) + ", fundet p\xE5 " +
                secondsText(result.totalTime) + " i alt (a'\xB7P = Pa er kontrolleret)\n" +
                wrapped(eve::outcomeText(result, 0));
    }
    if (result.estimate) {
        text += wrapped(std::string("Eve med ") + eve::methodName(eve::Method::rho) + ": " +
                        eve::estimateText(*result.estimate));
    }
    return text;
}

ProgressLine::ProgressLine(std::ostream& err, bool terminal)
    : err_(err),
      terminal_(terminal),
      start_(Clock::now()),
      next_(start_ + std::chrono::seconds(1)) {}

void ProgressLine::progress(const eve::Progress& progress) {
    const Clock::time_point now = Clock::now();
    if (now < next_) {
        return;
    }
    next_ = now + (terminal_ ? std::chrono::milliseconds(250) : std::chrono::seconds(10));
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - start_).count();
    // Short enough for one line of 80 columns with a prime of 81 bits.
    std::string line = (progress.stage == eve::Stage::order
                            ? std::string("Eve, ord(P)")
                            : "Eve, primfaktor " + std::string(progress.prime.toHex())) +
                       ": " + std::to_string(progress.stepsDone) + " af omkring " +
                       std::to_string(progress.stepsExpected) + " trin, " +
                       std::to_string(seconds) + " s";
    if (!terminal_) {
        err_ << forTerminal(line) << '\n';
        return;
    }
    const std::size_t length = line.size();
    err_ << '\r' << forTerminal(padded(std::move(line), shown_));
    err_.flush();
    shown_ = length;
}

void ProgressLine::finish() {
    if (shown_ > 0) {
        err_ << '\r' << std::string(shown_, ' ') << '\r';
        err_.flush();
        shown_ = 0;
    }
}

InterruptStops::InterruptStops(eve::StopRequest& stop) {
    interruptedAttack.store(&stop);
    previous_ = std::signal(SIGINT, &stopAttack);
}

InterruptStops::~InterruptStops() {
    if (previous_ != SIG_ERR) {
        std::signal(SIGINT, previous_);
    }
    interruptedAttack.store(nullptr);
}

}  // namespace cli
