#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "CurveTestSupport.h"

namespace curve::test {
namespace {

// Domain parameters of the named prime curves (SEC 2, FIPS 186).
struct NamedCurve {
    const char* name;
    const char* q;
    const char* a;
    const char* b;
};

const NamedCurve namedCurves[] = {
    {"secp224r1", "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF000000000000000000000001",
     "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFEFFFFFFFFFFFFFFFFFFFFFFFE",
     "B4050A850C04B3ABF54132565044B0B7D7BFD8BA270B39432355FFB4"},
    {"secp256r1", "FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFF",
     "FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFC",
     "5AC635D8AA3A93E7B3EBBD55769886BC651D06B0CC53B0F63BCE3C3E27D2604B"},
    {"secp384r1",
     "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFEFFFFFFFF0000000000000000FFFFF"
     "FFF",
     "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFEFFFFFFFF0000000000000000FFFFF"
     "FFC",
     "B3312FA7E23EE7E4988E056BE3F82D19181D9C6EFE8141120314088F5013875AC656398D8A2ED19D2A85C8EDD3EC2"
     "AEF"},
    {"secp521r1",
     "1FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
     "FFFFFF"
     "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF",
     "1FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
     "FFFFFF"
     "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFC",
     "51953EB9618E1C9A1F929A21A0B68540EEA2DA725B99B315F3B8B489918EF109E156193951EC7E937B1652C0BD3BB"
     "1B"
     "F073573DF883D2C34F1EF451FD46B503F00"},
};

// Each curve's vectors are split into shards, so that they run side by side. The sanitizer build
// computes only a few key agreements per shard, spread over it: all of them take far too long
// there. KX_VECTOR_SAMPLE sets that number (0: all of them).
constexpr std::size_t shardCount = 4;
#ifdef KX_SANITIZED_BUILD
constexpr std::size_t defaultSample = 1;
#else
constexpr std::size_t defaultSample = 0;
#endif

struct VectorShard {
    const NamedCurve* curve;
    std::size_t shard;
};

void PrintTo(const VectorShard& s, std::ostream* os) {
    *os << s.curve->name << " part " << s.shard;
}

std::string shardName(const ::testing::TestParamInfo<VectorShard>& info) {
    return std::string(info.param.curve->name) + "_" + std::to_string(info.param.shard);
}

std::vector<VectorShard> allShards() {
    std::vector<VectorShard> shards;
    for (const NamedCurve& curve : namedCurves) {
        for (std::size_t shard = 0; shard < shardCount; ++shard) {
            shards.push_back({&curve, shard});
        }
    }
    return shards;
}

std::string upper(std::string hex) {
    std::transform(hex.begin(), hex.end(), hex.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return hex;
}

std::string canonicalHex(const std::string& hex) {
    const std::string digits = upper(hex);
    const auto first = digits.find_first_not_of('0');
    return first == std::string::npos ? "0" : digits.substr(first);
}

bool hasFlag(const nlohmann::json& test, const std::string& flag) {
    const auto& flags = test.at("flags");
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

class EcdhVectorTest : public ::testing::TestWithParam<VectorShard> {};

CurvePoint publicPoint(TestCurve& curve, const nlohmann::json& test) {
    const std::string coordinates = test.at("public").get<std::string>().substr(2);
    const std::size_t half = coordinates.size() / 2;
    CurvePoint P = curve.infinity();
    P.fromText("(" + upper(coordinates.substr(0, half)) + ", " + upper(coordinates.substr(half)) +
               ")");
    return P;
}

// Public keys arrive as point text, the way the program loads the other party's point; the
// private key is a Natural from hex; the shared secret is the x of the product.
TEST_P(EcdhVectorTest, SharedSecretIsXOfPrivateTimesPublic) {
    const NamedCurve& named = *GetParam().curve;
    std::ifstream file(std::string(KX_TESTDATA_DIR) + "/wycheproof/ecdh_" + named.name +
                       "_ecpoint_test.json");
    ASSERT_TRUE(file) << named.name;
    const nlohmann::json vectors = nlohmann::json::parse(file);
    TestCurve curve(named.q, named.a, named.b);

    std::vector<const nlohmann::json*> agreements;
    std::size_t uncompressed = 0;
    for (const auto& group : vectors.at("testGroups")) {
        ASSERT_EQ(group.at("curve"), named.name);
        for (const auto& test : group.at("tests")) {
            if (test.at("public").get<std::string>().substr(0, 2) != "04" ||
                uncompressed++ % shardCount != GetParam().shard) {
                continue;
            }
            SCOPED_TRACE("tcId " + std::to_string(test.at("tcId").get<int>()));
            const CurvePoint P = publicPoint(curve, test);
            EXPECT_FALSE(P.atInfinity());
            if (hasFlag(test, "InvalidCurveAttack")) {
                EXPECT_FALSE(P.isOnCurve());
            } else if (test.at("result") != "invalid") {
                EXPECT_TRUE(P.isOnCurve());
                agreements.push_back(&test);
            }
        }
    }
    ASSERT_FALSE(agreements.empty());

    const std::size_t sample = environmentNumber("KX_VECTOR_SAMPLE", defaultSample);
    const std::size_t step = sample == 0 ? 1 : std::max<std::size_t>(1, agreements.size() / sample);
    for (std::size_t i = step / 2; i < agreements.size(); i += step) {
        const nlohmann::json& test = *agreements[i];
        SCOPED_TRACE("tcId " + std::to_string(test.at("tcId").get<int>()));
        bignum::Natural k;
        k.fromHex(test.at("private").get<std::string>());
        const CurvePoint shared = multiply(publicPoint(curve, test), k);
        ASSERT_FALSE(shared.atInfinity());
        EXPECT_EQ(shared.x().value().toHex(), canonicalHex(test.at("shared")));
    }
}

INSTANTIATE_TEST_SUITE_P(Wycheproof, EcdhVectorTest, ::testing::ValuesIn(allShards()), shardName);

}  // namespace
}  // namespace curve::test
