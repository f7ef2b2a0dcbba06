#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "CurveTestSupport.h"

namespace curve::test {
namespace {

// q, A and B of the named prime curves, from SEC 2 and FIPS 186.
struct NamedCurve {
    const char *name, *q, *a, *b;
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
     "1FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
     "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF",
     "1FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
     "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFC",
     "051953EB9618E1C9A1F929A21A0B68540EEA2DA725B99B315F3B8B489918EF109E"
     "156193951EC7E937B1652C0BD3BB1BF073573DF883D2C34F1EF451FD46B503F00"},
};

// Each curve's vectors are split into shards that run side by side. The sanitizer build computes
// only one key agreement per shard: all of them take far too long there. KX_VECTOR_SAMPLE sets
// the number per shard (0: all).
constexpr std::size_t shardCount = 4;
#ifdef KX_SANITIZED_BUILD
constexpr std::size_t defaultSample = 1;
#else
constexpr std::size_t defaultSample = 0;
#endif

std::string upper(std::string hex) {
    std::transform(hex.begin(), hex.end(), hex.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return hex;
}

// Public keys arrive as point text, the way the program loads the other party's point.
CurvePoint publicPoint(TestCurve& curve, const nlohmann::json& test) {
    const std::string coordinates = upper(test.at("public").get<std::string>().substr(2));
    const std::size_t half = coordinates.size() / 2;
    CurvePoint P = curve.infinity();
    P.fromText(std::string("(") + coordinates.substr(0, half) + ", " + coordinates.substr(half) + ")");
    return P;
}

class EcdhVectorTest : public ::testing::TestWithParam<std::size_t> {};

// Every uncompressed public key: InvalidCurveAttack points fail the curve test, valid and
// acceptable ones pass it and private * public has the shared secret as its x.
TEST_P(EcdhVectorTest, SharedSecretIsXOfPrivateTimesPublic) {
    const NamedCurve* named = &namedCurves[GetParam() / shardCount];
    const std::size_t shard = GetParam() % shardCount;
    std::ifstream file(std::string(KX_TESTDATA_DIR) + "/wycheproof/ecdh_" + named->name +
                       "_ecpoint_test.json");
    ASSERT_TRUE(file) << named->name;
    const nlohmann::json vectors = nlohmann::json::parse(file);
    TestCurve curve(named->q, named->a, named->b);

    std::vector<const nlohmann::json*> agreements;
    std::size_t uncompressed = 0;
    for (const auto& group : vectors.at("testGroups")) {
        ASSERT_EQ(group.at("curve"), named->name);
        for (const auto& test : group.at("tests")) {
            if (test.at("public").get<std::string>().substr(0, 2) != "04" ||
                uncompressed++ % shardCount != shard) {
                continue;
            }
            SCOPED_TRACE("tcId " + std::to_string(test.at("tcId").get<int>()));
            const CurvePoint P = publicPoint(curve, test);
            const auto& flags = test.at("flags");
            if (std::find(flags.begin(), flags.end(), "InvalidCurveAttack") != flags.end()) {
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
        const CurvePoint shared = multiply(publicPoint(curve, test),
                                           naturalFromHex(test.at("private").get<std::string>()));
        ASSERT_FALSE(shared.atInfinity());
        // The shared secret has the field's byte length, with leading zeros.
        std::string expected = upper(test.at("shared"));
        expected.erase(0, std::min(expected.find_first_not_of('0'), expected.size() - 1));
        EXPECT_EQ(shared.x().value().toHex(), expected);
    }
}

std::string shardName(const ::testing::TestParamInfo<std::size_t>& shard) {
    return std::string(namedCurves[shard.param / shardCount].name) + "_" +
           std::to_string(shard.param % shardCount);
}

INSTANTIATE_TEST_SUITE_P(Wycheproof, EcdhVectorTest,
                         ::testing::Range<std::size_t>(0, std::size(namedCurves) * shardCount),
                         shardName);

}  // namespace
}  // namespace curve::test
