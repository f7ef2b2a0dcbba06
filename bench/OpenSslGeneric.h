#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "BenchCurves.h"

namespace bench {

// OpenSSL's generic prime-field multiplication as a peer: a group built from q, A and B alone,
// so no curve-specific code runs, and EC_POINT_mul with the base point as its point argument.
// Owns the group, the base point, the result and a scratch context.
class OpenSslGenericCurve {
  public:
    // Throws std::runtime_error when OpenSSL refuses the curve or the point.
    explicit OpenSslGenericCurve(const CurveParameters& curve);
    OpenSslGenericCurve(const OpenSslGenericCurve&) = delete;
    OpenSslGenericCurve& operator=(const OpenSslGenericCurve&) = delete;
    ~OpenSslGenericCurve();

    // result <- k*P for the base point P; k is hex text. Throws std::runtime_error on failure.
    void setScalar(std::string_view kHex);
    void multiply();
    // The last result in the program's point text form.
    std::string resultText() const;

  private:
    struct Handles;
    std::unique_ptr<Handles> handles_;
};

// Compares the curve's constants with OpenSSL's table of named curves; returns a description of
// the first difference, or the empty text when they agree or the curve has no OpenSSL name.
std::string namedCurveMismatch(const CurveParameters& curve);

}  // namespace bench
