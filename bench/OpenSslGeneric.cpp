#include "OpenSslGeneric.h"

#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/ec.h>
#include <openssl/objects.h>

#include <stdexcept>

namespace bench {

namespace {

struct BnRelease {
    void operator()(BIGNUM* n) const noexcept { BN_free(n); }
};
struct BnCtxRelease {
    void operator()(BN_CTX* ctx) const noexcept { BN_CTX_free(ctx); }
};
struct GroupRelease {
    void operator()(EC_GROUP* group) const noexcept { EC_GROUP_free(group); }
};
struct PointRelease {
    void operator()(EC_POINT* point) const noexcept { EC_POINT_free(point); }
};
struct TextRelease {
    void operator()(char* text) const noexcept { OPENSSL_free(text); }
};

using Bn = std::unique_ptr<BIGNUM, BnRelease>;
using BnCtx = std::unique_ptr<BN_CTX, BnCtxRelease>;
using Group = std::unique_ptr<EC_GROUP, GroupRelease>;
using Point = std::unique_ptr<EC_POINT, PointRelease>;

void require(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string("OpenSSL: ") + what);
    }
}

Bn fromHex(std::string_view hex) {
    const std::string text(hex);
    BIGNUM* raw = nullptr;
    require(BN_hex2bn(&raw, text.c_str()) != 0, "BN_hex2bn");
    return Bn(raw);
}

std::string toHex(const BIGNUM* n) {
    const std::unique_ptr<char, TextRelease> raw(BN_bn2hex(n));
    require(raw != nullptr, "BN_bn2hex");
    return std::string(raw.get());
}

// Affine coordinates of a finite point as point text, or "(uendelig)".
std::string pointText(const EC_GROUP* group, const EC_POINT* point, BN_CTX* ctx) {
    if (EC_POINT_is_at_infinity(group, point) == 1) {
        return "(uendelig)";
    }
    const Bn x(BN_new());
    const Bn y(BN_new());
    require(x != nullptr && y != nullptr, "BN_new");
    require(EC_POINT_get_affine_coordinates(group, point, x.get(), y.get(), ctx) == 1,
            "EC_POINT_get_affine_coordinates");
    return canonicalPointText(toHex(x.get()), toHex(y.get()));
}

}  // namespace

struct OpenSslGenericCurve::Handles {
    BnCtx ctx{BN_CTX_new()};
    Group group;
    Point base;
    Point result;
    Bn scalar{BN_new()};
};

OpenSslGenericCurve::OpenSslGenericCurve(const CurveParameters& curve)
    : handles_(std::make_unique<Handles>()) {
    require(handles_->ctx != nullptr && handles_->scalar != nullptr, "BN_CTX_new");
    const Bn q = fromHex(curve.q);
    const Bn A = fromHex(curve.A);
    const Bn B = fromHex(curve.B);
    handles_->group.reset(EC_GROUP_new_curve_GFp(q.get(), A.get(), B.get(), handles_->ctx.get()));
    require(handles_->group != nullptr, "EC_GROUP_new_curve_GFp");
    handles_->base.reset(EC_POINT_new(handles_->group.get()));
    handles_->result.reset(EC_POINT_new(handles_->group.get()));
    require(handles_->base != nullptr && handles_->result != nullptr, "EC_POINT_new");
    const Bn x = fromHex(curve.Px);
    const Bn y = fromHex(curve.Py);
    require(EC_POINT_set_affine_coordinates(handles_->group.get(), handles_->base.get(), x.get(),
                                            y.get(), handles_->ctx.get()) == 1,
            "EC_POINT_set_affine_coordinates");
}

OpenSslGenericCurve::~OpenSslGenericCurve() = default;

void OpenSslGenericCurve::setScalar(std::string_view kHex) {
    handles_->scalar = fromHex(kHex);
}

void OpenSslGenericCurve::multiply() {
    require(EC_POINT_mul(handles_->group.get(), handles_->result.get(), nullptr,
                         handles_->base.get(), handles_->scalar.get(), handles_->ctx.get()) == 1,
            "EC_POINT_mul");
}

std::string OpenSslGenericCurve::resultText() const {
    return pointText(handles_->group.get(), handles_->result.get(), handles_->ctx.get());
}

std::string namedCurveMismatch(const CurveParameters& curve) {
    if (curve.openSslName.empty()) {
        return {};
    }
    const std::string shortName(curve.openSslName);
    const int nid = OBJ_sn2nid(shortName.c_str());
    if (nid == NID_undef) {
        return "OpenSSL does not know " + shortName;
    }
    const BnCtx ctx(BN_CTX_new());
    const Group group(EC_GROUP_new_by_curve_name(nid));
    const Bn q(BN_new());
    const Bn A(BN_new());
    const Bn B(BN_new());
    require(ctx != nullptr && group != nullptr && q != nullptr && A != nullptr && B != nullptr,
            "named curve");
    require(EC_GROUP_get_curve(group.get(), q.get(), A.get(), B.get(), ctx.get()) == 1,
            "EC_GROUP_get_curve");
    const std::string expected =
        canonicalPointText(toHex(q.get()), toHex(A.get())) + " " +
        canonicalPointText(toHex(B.get()), "0") + " " +
        pointText(group.get(), EC_GROUP_get0_generator(group.get()), ctx.get());
    const std::string actual = canonicalPointText(curve.q, curve.A) + " " +
                               canonicalPointText(curve.B, "0") + " " +
                               canonicalPointText(curve.Px, curve.Py);
    if (expected != actual) {
        return "constants of " + std::string(curve.name) + " differ from OpenSSL's " + shortName +
               ": " + expected + " against " + actual;
    }
    return {};
}

}  // namespace bench
