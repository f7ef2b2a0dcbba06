// fromHex on any bytes against v <- 16*v + d(c) accumulated in GMP, then toHex against GMP's
// rendering and the round trip back through fromHex.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "bignum/Natural.h"
#include "fuzz/GmpModel.h"

namespace {

// The digit value of a byte, by the three ranges of the digit table.
unsigned digitValue(unsigned char c) {
    if (c >= 0x30 && c <= 0x39) {
        return c - 0x30u;
    }
    if (c >= 0x3A && c <= 0x46) {
        return c - 0x37u;
    }
    return (c + 256u - 0x57u) % 256u;
}

constexpr std::size_t maxInputBytes = 8192;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > maxInputBytes) {
        return -1;
    }
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    mpz_class model;
    for (const char c : text) {
        if (c == '\0') {
            break;  // the text ends at its first NUL
        }
        model = model * 16 + digitValue(static_cast<unsigned char>(c));
    }

    bignum::Natural n;
    n.fromHex(text);
    kxfuzz::expectEqual("fromHex differs from the digit-by-digit model", n, model);

    const char* rendered = n.toHex();
    if (kxfuzz::upperHex(model) != rendered) {
        kxfuzz::fail("toHex differs from GMP's rendering", model, kxfuzz::toMpz(n));
    }
    bignum::Natural back;
    back.fromHex(std::string_view(rendered, std::strlen(rendered)));
    kxfuzz::expectEqual("fromHex(toHex(v)) is not v", back, model);
    return 0;
}
