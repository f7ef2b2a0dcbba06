#include "BenchCurves.h"

#include <gmp.h>

#include <array>
#include <random>

#include "GmpAffine.h"

namespace bench {

namespace {

constexpr std::array<CurveParameters, 4> curves{{
    {"teaching", "725F8E91CC4087", "3B5AF16DF11649", "40B77BE2CBBEDC", "6C4AE1678418BE",
     "10695272AE2CD6", ""},
    {"secp256r1", "FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFF",
     "FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFC",
     "5AC635D8AA3A93E7B3EBBD55769886BC651D06B0CC53B0F63BCE3C3E27D2604B",
     "6B17D1F2E12C4247F8BCE6E563A440F277037D812DEB33A0F4A13945D898C296",
     "4FE342E2FE1A7F9B8EE7EB4A7C0F9E162BCE33576B315ECECBB6406837BF51F5", "prime256v1"},
    {"secp384r1",
     "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFEFFFFFFFF0000000000000000"
     "FFFFFFFF",
     "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFEFFFFFFFF0000000000000000"
     "FFFFFFFC",
     "B3312FA7E23EE7E4988E056BE3F82D19181D9C6EFE8141120314088F5013875AC656398D8A2ED19D2A85C8ED"
     "D3EC2AEF",
     "AA87CA22BE8B05378EB1C71EF320AD746E1D3B628BA79B9859F741E082542A385502F25DBF55296C3A545E38"
     "72760AB7",
     "3617DE4A96262C6F5D9E98BF9292DC29F8F41DBD289A147CE9DA3113B5F0B8C00A60B1CE1D7E819D7A431D7C"
     "90EA0E5F",
     "secp384r1"},
    {"secp521r1",
     "1FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
     "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF",
     "1FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
     "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFC",
     "51953EB9618E1C9A1F929A21A0B68540EEA2DA725B99B315F3B8B489918EF109E156193951EC7E937B1652C0"
     "BD3BB1BF073573DF883D2C34F1EF451FD46B503F00",
     "C6858E06B70404E9CD9E3ECB662395B4429C648139053FB521F828AF606B4D3DBAA14B5E77EFE75928FE1DC1"
     "27A2FFA8DE3348B3C1856A429BF97E7E31C2E5BD66",
     "11839296A789A3BC0045C8A5FB42C7D1BD998F54449579B446817AFBD17273E662C97EE72995EF42640C550B"
     "9013FAD0761353C7086A272C24088BE94769FD16650",
     "secp521r1"},
}};

// GMP's generator state, released with the object.
class GmpRandom {
  public:
    explicit GmpRandom(std::uint64_t seed) {
        gmp_randinit_mt(state_);
        gmp_randseed_ui(state_, static_cast<unsigned long>(seed));
    }
    GmpRandom(const GmpRandom&) = delete;
    GmpRandom& operator=(const GmpRandom&) = delete;
    ~GmpRandom() { gmp_randclear(state_); }

    void below(mpz_ptr result, mpz_srcptr bound) { mpz_urandomm(result, state_, bound); }

  private:
    gmp_randstate_t state_;
};

std::string_view withoutLeadingZeros(std::string_view hex) {
    const std::size_t first = hex.find_first_not_of('0');
    return first == std::string_view::npos ? std::string_view("0") : hex.substr(first);
}

}  // namespace

std::span<const CurveParameters> benchmarkCurves() {
    return curves;
}

std::string fullSizeScalarBelow(std::string_view qHex, std::uint64_t seed) {
    const Mpz q(qHex);
    if (mpz_cmp_ui(q.get(), 2) < 0) {
        return "0";
    }
    GmpRandom random(seed);
    Mpz k;
    do {
        random.below(k.get(), q.get());
    } while (mpz_sizeinbase(k.get(), 2) != mpz_sizeinbase(q.get(), 2));
    return k.toHex();
}

std::string randomHexDigits(std::size_t count, std::uint64_t seed) {
    static constexpr std::string_view digits = "0123456789ABCDEF";
    std::mt19937_64 random(seed);
    std::uniform_int_distribution<std::size_t> digit(0, 15);
    std::uniform_int_distribution<std::size_t> leadingDigit(1, 15);
    std::string text;
    text.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        text.push_back(digits[i == 0 ? leadingDigit(random) : digit(random)]);
    }
    return text;
}

std::string canonicalPointText(std::string_view xHex, std::string_view yHex) {
    std::string text = "(";
    text += withoutLeadingZeros(xHex);
    text += ", ";
    text += withoutLeadingZeros(yHex);
    text += ")";
    for (char& c : text) {
        if (c >= 'a' && c <= 'f') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

}  // namespace bench
