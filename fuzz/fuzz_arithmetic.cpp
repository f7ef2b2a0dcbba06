// The arithmetic rows of the unit tests on operands made of the input: the first two bytes say
// where x ends and y begins, the next four give w, and the rest are the limbs of x, y and the
// modulus m, least significant byte first.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tests/bignum/ArithmeticRows.h"

namespace {

std::vector<bignum::Limb> limbs(const std::uint8_t* data, std::size_t size) {
    std::vector<bignum::Limb> result((size + 3) / 4, 0);
    for (std::size_t i = 0; i < size; ++i) {
        result[i / 4] |= static_cast<bignum::Limb>(data[i]) << (8 * (i % 4));
    }
    while (!result.empty() && result.back() == 0) {
        result.pop_back();
    }
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6 || size > 6 + 3 * 520) {  // up to the field's longest modulus and beyond
        return -1;
    }
    const std::size_t bytes = size - 6;
    const std::size_t xEnd = data[0] * bytes / 255;
    const std::size_t yEnd = xEnd + data[1] * (bytes - xEnd) / 255;
    const std::uint8_t* const operands = data + 6;
    kxtest::rows::Operands o{limbs(operands, xEnd), limbs(operands + xEnd, yEnd - xEnd),
                             limbs(operands + yEnd, bytes - yEnd),
                             bignum::Limb{data[2]} | bignum::Limb{data[3]} << 8 |
                                 bignum::Limb{data[4]} << 16 | bignum::Limb{data[5]} << 24};
    for (const kxtest::rows::Row& row : kxtest::rows::arithmeticRows()) {
        const std::string ours = row.ours(o), gmp = row.gmp(o);
        if (ours != gmp) {
            std::fprintf(stderr, "%s\nours %s\ngmp  %s\n", row.name, ours.c_str(), gmp.c_str());
            std::abort();
        }
    }
    return 0;
}
