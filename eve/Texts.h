#pragma once

// The Danish words for what an attack found, in Windows-1252: one sentence per outcome, the
// name of each method, and an estimate in steps and time.

#include <string>

#include "eve/Attack.h"

namespace eve {

// Why there is no secret, or what the secret found is; limitBits is the attack's option.
std::string outcomeText(const Result& result, unsigned limitBits);

const char* methodName(Method method);

// "omkring 2^128 trin, omkring 10^25 \xE5r p\xE5 denne maskine", with the caveat where the
// order is unknown.
std::string estimateText(const Estimate& estimate);

}  // namespace eve
