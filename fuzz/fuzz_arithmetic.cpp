// The arithmetic rows of the unit tests on operands made of the input: the first two bytes say
// where x ends and y begins, the next four give w, and the rest are the limbs of x, y and the
// modulus m, least significant byte first.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tests/bignum/ArithmeticRows.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6 || size > 6 + 3 * 520) {  // up to the field's longest modulus and beyond
        return -1;
    }
    const std::size_t bytes = size - 6, xEnd = data[0] * bytes / 255;
    const std::size_t yEnd = xEnd + data[1] * (bytes - xEnd) / 255;
    const auto limbs = [&](std::size_t from, std::size_t to) {
        mpz_class z;
        mpz_import(z.get_mpz_t(), to - from, -1, 1, 0, 0, data + 6 + from);
        return kxtest::limbsOf(z);
    };
    const kxtest::Operands o{limbs(0, xEnd), limbs(xEnd, yEnd), limbs(yEnd, bytes),
                             bignum::Limb{data[2]} | bignum::Limb{data[3]} << 8 |
                                 bignum::Limb{data[4]} << 16 | bignum::Limb{data[5]} << 24};
    for (const kxtest::Row& row : kxtest::arithmeticRows(o)) {
        if (row.ours != row.gmp) {
            std::fprintf(stderr, "%s\nours %s\ngmp  %s\n", row.operation.c_str(), row.ours.c_str(),
                         row.gmp.c_str());
            std::abort();
        }
    }
    return 0;
}
