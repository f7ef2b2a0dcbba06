#include "app/KeyExchange.h"

#include <cstddef>
#include <string_view>

#include "app/TypedNumber.h"
#include "curve/ScalarMultiplication.h"

namespace app {

namespace {

constexpr std::string_view offCurveMessage = "Det indtastede punkt findes ikke p\xE5 kurven";
constexpr std::string_view PbDroppedMessage =
    "Pb og Pab er sat til (uendelig), fordi q, A, B eller P ikke l\xE6ngere er de tal, Pb kom "
    "med.\n"
    "N\xE5r I er enige om tallene, s\xE5 \xE5"
    "bn den andens offentlige data igen.";
constexpr std::string_view noticeCaption = "Bem\xE6rk";

constexpr std::array<TextField, 6> inputFields{TextField::q,  TextField::A,  TextField::B,
                                               TextField::Px, TextField::Py, TextField::a};

// The built-in test curve: a 55-bit prime, A, B and a point on the curve, each as two limbs.
constexpr std::array<std::array<bignum::Limb, 2>, 5> testNumbers{{{0x91CC4087, 0x00725F8E},
                                                                  {0x6DF11649, 0x003B5AF1},
                                                                  {0xE2CBBEDC, 0x0040B77B},
                                                                  {0x678418BE, 0x006C4AE1},
                                                                  {0x72AE2CD6, 0x00106952}}};

}  // namespace

Inputs testInputs() {
    Inputs inputs;
    for (std::size_t k = 0; k < testNumbers.size(); ++k) {
        inputs[k].setLimbs(testNumbers[k]);
    }
    return inputs;
}

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

bool KeyExchange::readInputs(KeyExchangeView& view) {
    if (!checkTypedFields(view, {TextField::q, TextField::A, TextField::B, TextField::Px,
                                 TextField::Py, TextField::a})) {
        return false;
    }
    // Parsed whole before the state takes any of it, so that running out of memory on a long
    // number leaves the state as it was.
    Inputs inputs;
    for (std::size_t k = 0; k < inputs.size(); ++k) {
        inputs[k].fromHex(readTypedNumber(view.fieldText(inputFields[k])).digits);
    }
    const bool dropped = setInputs(inputs);
    const bool pOnCurve = P_.isOnCurve();
    if (pOnCurve && !dropped) {
        return true;
    }
    showState(view);
    if (!pOnCurve) {
        view.showMessage(offCurveMessage, errorCaption, MessageIcon::none);
    }
    if (dropped) {
        view.showMessage(PbDroppedMessage, noticeCaption, MessageIcon::warning);
    }
    return true;
}

bool KeyExchange::setInputs(const Inputs& inputs) {
    q_ = inputs[0];
    A_.value() = inputs[1];
    A_.value().reduce(q_);
    B_.value() = inputs[2];
    B_.value().reduce(q_);
    P_.setAtInfinity(false);
    P_.x().value() = inputs[3];
    P_.x().value().reduce(q_);
    P_.y().value() = inputs[4];
    P_.y().value().reduce(q_);
    a_ = inputs[5];
    // The curve alone is not enough: with another P on the same curve, an old Pb still lies on
    // it, and the two students' Pab would differ without a word.
    if (!PbOrigin_ ||
        *PbOrigin_ == std::array<bignum::Natural, 5>{q_, A_.value(), B_.value(), P_.x().value(),
                                                     P_.y().value()}) {
        return false;
    }
    PbOrigin_.reset();
    Pb_.setAtInfinity(true);
    Pab_.setAtInfinity(true);
    return true;
}

void KeyExchange::receive(const PublicData& data) {
    Pb_.setAtInfinity(data.Pa.atInfinity);
    Pb_.x().value() = data.Pa.x;
    Pb_.y().value() = data.Pa.y;
    PbOrigin_ = {data.q, data.A, data.B, data.Px, data.Py};
}

PublicData KeyExchange::publicData() const {
    return {q_,
            A_.value(),
            B_.value(),
            P_.x().value(),
            P_.y().value(),
            {Pa_.atInfinity(), Pa_.x().value(), Pa_.y().value()}};
}

void KeyExchange::useTestValues(KeyExchangeView& view) {
    if (!checkTypedFields(view, {TextField::a})) {
        return;
    }
    const Inputs values = testInputs();
    for (std::size_t k = 0; k + 1 < inputFields.size(); ++k) {
        view.setFieldText(inputFields[k], values[k].toHex());
    }
    updatePaPab(view);
}

void KeyExchange::drawSecret() {
    a_ = uniformBelow(q_, *random_);
}

void KeyExchange::generateSecret(KeyExchangeView& view) {
    if (!readInputs(view)) {
        return;
    }
    drawSecret();
    computePaPab();
    showState(view);
}

void KeyExchange::computePaPab() {
    Pa_ = curve::multiply(P_, a_);
    Pab_ = curve::multiply(Pb_, a_);
}

bool KeyExchange::updatePaPab(KeyExchangeView& view) {
    if (!readInputs(view)) {
        return false;
    }
    computePaPab();
    showState(view);
    return true;
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
    PbOrigin_.reset();
    readInputs(view);
    showState(view);
}

}  // namespace app
