#pragma once

// The Danish words for what an attack found, in Windows-1252: one sentence per outcome, the
// name of each method, and an estimate in steps and time.

#include <string>

#include "eve/Attack.h"

namespace eve {

// Why there is no secret, or what the secret found is; limitBits is the attack's option.
std::string outcomeText(const Result& result, unsigned limitBits);

const char* methodName(Method method);

// "p^e" of one prime of ord(P), in hex or in decimal; p alone for e = 1.
std::string powerText(const FactorWork& factor, bool decimal);

// ord(P) and its primes, "725F8E8FB87E98 = 2^3 \xB7 17 \xB7 2B \xB7 3D \xB7 F87D5AD1B", in hex or
// in decimal; a prime order alone, and nothing while the order is unknown.
std::string orderText(const Result& result, bool decimal);

// "omkring 2^128 trin, omkring 10^25 \xE5r p\xE5 denne maskine", with the caveat where the
// order is unknown.
std::string estimateText(const Estimate& estimate);

}  // namespace eve
