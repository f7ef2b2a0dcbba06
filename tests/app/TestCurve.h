#pragma once

// The curves the application tests run on, as hex text, with their oracles.

#include <ostream>
#include <string>
#include <string_view>

#include "tests/app/CurveOracle.h"
#include "tests/app/Fakes.h"

namespace kxtest {

struct CurveText {
    std::string_view name;
    std::string_view q;
    std::string_view A;
    std::string_view B;
    std::string_view Px;
    std::string_view Py;

    CurveOracle oracle() const {
        return CurveOracle(fromHexText(q), fromHexText(A), fromHexText(B));
    }
    OraclePoint basePoint() const { return {false, fromHexText(Px), fromHexText(Py)}; }

    friend void PrintTo(const CurveText& c, std::ostream* out) { *out << c.name; }
};

// The program's built-in test values.
inline constexpr CurveText testCurve{"TestCurve",      "725F8E91CC4087", "3B5AF16DF11649",
                                     "40B77BE2CBBEDC", "6C4AE1678418BE", "10695272AE2CD6"};

// secp256r1 with its standard base point.
inline constexpr CurveText secp256r1{
    "Secp256r1",
    "FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFF",
    "FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFC",
    "5AC635D8AA3A93E7B3EBBD55769886BC651D06B0CC53B0F63BCE3C3E27D2604B",
    "6B17D1F2E12C4247F8BCE6E563A440F277037D812DEB33A0F4A13945D898C296",
    "4FE342E2FE1A7F9B8EE7EB4A7C0F9E162BCE33576B315ECECBB6406837BF51F5"};

// What a user types to enter the curve and its point.
inline void typeCurve(FakeView& view, const CurveText& curve) {
    view.type(app::TextField::q, std::string(curve.q));
    view.type(app::TextField::A, std::string(curve.A));
    view.type(app::TextField::B, std::string(curve.B));
    view.type(app::TextField::Px, std::string(curve.Px));
    view.type(app::TextField::Py, std::string(curve.Py));
}

}  // namespace kxtest
