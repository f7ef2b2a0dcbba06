#pragma once

#include <chrono>
#include <csignal>
#include <ostream>
#include <string>

#include "eve/Attack.h"

// What keyexchange-cli attack shows besides the attack itself: Eve's findings as a student reads
// them, the progress of a long attack, and Ctrl+C turned into the attack's stop request.
namespace cli {

// Eve's findings in Windows-1252 lines: ord(P) and its primes in hex and in decimal with the
// time they took; once the secret is found, a line per prime power with its method, steps and
// time, then a', the whole time and what a' is; beyond reach, the estimate.
std::string findingsText(const eve::Result& result);

// "0,19 s": seconds as a Danish reader writes them.
std::string secondsText(std::chrono::duration<double> time);

// Tells err how the attack goes once it has run for a second: on a terminal in one line that is
// rewritten in place, elsewhere in a line every ten seconds. Writes to a stream it does not own.
class ProgressLine final : public eve::ProgressObserver {
  public:
    ProgressLine(std::ostream& err, bool terminal);
    void progress(const eve::Progress& progress) override;
    // Clears the rewritten line, so that what follows starts on a line of its own.
    void finish();

  private:
    using Clock = std::chrono::steady_clock;
    std::ostream& err_;
    bool terminal_;
    Clock::time_point start_;
    Clock::time_point next_;
    std::size_t shown_ = 0;  // characters of the rewritten line
};

// While it lives, Ctrl+C (SIGINT) asks the attack to stop instead of ending the program; the
// handler before it comes back afterwards. One at a time.
class InterruptStops {
  public:
    explicit InterruptStops(eve::StopRequest& stop);
    ~InterruptStops();
    InterruptStops(const InterruptStops&) = delete;
    InterruptStops& operator=(const InterruptStops&) = delete;

  private:
    using Handler = void (*)(int);
    Handler previous_;
};

}  // namespace cli
