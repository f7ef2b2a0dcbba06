#include "app/KeyExchange.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "curve/ScalarMultiplication.h"

namespace app {

namespace {

constexpr std::string_view offCurveMessage = "Det indtastede punkt findes ikke p\xE5 kurven";
constexpr std::string_view receivedOffCurveMessage =
    "Det modtagne punkt Pb findes ikke p\xE5 kurven";
constexpr std::string_view errorCaption = "Fejl!";

// The built-in test curve: a 55-bit prime, A, B and a point on the curve, each as two limbs.
constexpr std::array<bignum::Limb, 2> testQ{0x91CC4087, 0x00725F8E};
constexpr std::array<bignum::Limb, 2> testA{0x6DF11649, 0x003B5AF1};
constexpr std::array<bignum::Limb, 2> testB{0xE2CBBEDC, 0x0040B77B};
constexpr std::array<bignum::Limb, 2> testPx{0x678418BE, 0x006C4AE1};
constexpr std::array<bignum::Limb, 2> testPy{0x72AE2CD6, 0x00106952};

}  // namespace

KeyExchange::KeyExchange(RandomSource& random)
    : q_(),
      A_(q_),
      B_(q_),
      P_(q_, A_, B_),
      Pa_(q_, A_, B_),
      Pb_(q_, A_, B_),
      Pab_(q_, A_, B_),
      a_(),
      random_(&random) {}

void KeyExchange::showState(KeyExchangeView& view) const {
    view.setFieldText(TextField::q, q_.toHex());
    view.setFieldText(TextField::A, A_.value().toHex());
    view.setFieldText(TextField::B, B_.value().toHex());
    view.setFieldText(TextField::Px, P_.x().value().toHex());
    view.setFieldText(TextField::Py, P_.y().value().toHex());
    view.setFieldText(TextField::a, a_.toHex());
    view.setFieldText(TextField::Pa, Pa_.toText());
    view.setFieldText(TextField::Pb, Pb_.toText());
    view.setFieldText(TextField::Pab, Pab_.toText());
}

void KeyExchange::readInputs(KeyExchangeView& view) {
    const std::string qText = view.fieldText(TextField::q);
    const std::string aText = view.fieldText(TextField::A);
    const std::string bText = view.fieldText(TextField::B);
    const std::string xText = view.fieldText(TextField::Px);
    const std::string yText = view.fieldText(TextField::Py);
    const std::string secretText = view.fieldText(TextField::a);

    q_.fromHex(qText);
    A_.value().fromHex(aText);
    A_.value().reduce(q_);
    B_.value().fromHex(bText);
    B_.value().reduce(q_);
    P_.setAtInfinity(false);
    P_.x().value().fromHex(xText);
    P_.x().value().reduce(q_);
    P_.y().value().fromHex(yText);
    P_.y().value().reduce(q_);
    a_.fromHex(secretText);

    const bool pOnCurve = P_.isOnCurve();
    const bool pbOnCurve = Pb_.atInfinity() || Pb_.isOnCurve();
    if (pOnCurve && pbOnCurve) {
        return;
    }
    showState(view);
    if (!pOnCurve) {
        view.showMessage(offCurveMessage, errorCaption, MessageIcon::none);
    }
    if (!pbOnCurve) {
        view.showMessage(receivedOffCurveMessage, errorCaption, MessageIcon::none);
    }
}

void KeyExchange::useTestValues(KeyExchangeView& view) {
    q_.setLimbs(testQ);
    A_.value().setLimbs(testA);
    A_.value().reduce(q_);
    B_.value().setLimbs(testB);
    B_.value().reduce(q_);
    P_.x().value().setLimbs(testPx);
    P_.x().value().reduce(q_);
    P_.y().value().setLimbs(testPy);
    P_.y().value().reduce(q_);
    showState(view);
}

void KeyExchange::drawSecret() {
    a_ = uniformBelow(q_, *random_);
}

void KeyExchange::generateSecret(KeyExchangeView& view) {
    readInputs(view);
    drawSecret();
    computePaPab();
    showState(view);
}

void KeyExchange::computePaPab() {
    Pa_ = curve::multiply(P_, a_);
    Pab_ = curve::multiply(Pb_, a_);
}

void KeyExchange::updatePaPab(KeyExchangeView& view) {
    readInputs(view);
    computePaPab();
    showState(view);
}

void KeyExchange::clearAll(KeyExchangeView& view) {
    for (const TextField field :
         {TextField::q, TextField::A, TextField::B, TextField::Px, TextField::Py}) {
        view.setFieldText(field, "0");
    }
    for (const TextField field : {TextField::a, TextField::Pa, TextField::Pb, TextField::Pab}) {
        view.setFieldText(field, "");
    }
    Pa_.setAtInfinity(true);
    Pb_.setAtInfinity(true);
    Pab_.setAtInfinity(true);
    readInputs(view);
    showState(view);
}

}  // namespace app
