#pragma once

// The curves of tests/data/eve_curves.txt, made with PARI/GP: the outside oracle of the orders
// the eavesdropper finds, by kind ("testvalues", "prime", "smooth", ...).

#include <fstream>
#include <map>
#include <string>

#include "tests/support/SmallCurve.h"

namespace kxtest {

struct GpCurve {
    std::string kind, q, A, B, Px, Py, order, primes;  // hex; primes as p^e joined by "*"

    // The oracle's curve and P, for q below 2^62.
    SmallCurve small() const {
        return {std::stoull(q, nullptr, 16), std::stoull(A, nullptr, 16),
                std::stoull(B, nullptr, 16)};
    }
    AffinePoint P() const {
        return {false, std::stoull(Px, nullptr, 16), std::stoull(Py, nullptr, 16)};
    }
};

inline const std::map<std::string, GpCurve>& gpCurves() {
    static const std::map<std::string, GpCurve> curves = [] {
        std::map<std::string, GpCurve> read;
        std::ifstream file(KX_TESTDATA_DIR "/eve_curves.txt");
        for (GpCurve c;
             file >> c.kind >> c.q >> c.A >> c.B >> c.Px >> c.Py >> c.order >> c.primes;) {
            read[c.kind] = c;
        }
        return read;
    }();
    return curves;
}

}  // namespace kxtest
