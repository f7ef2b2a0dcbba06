#pragma once

#include <array>

namespace app {

// The nine text fields of the window by role: six the user edits, three that only show points.
enum class TextField { q, A, B, Px, Py, a, Pa, Pb, Pab };

inline constexpr std::array<TextField, 9> allTextFields{
    TextField::q, TextField::A,  TextField::B,  TextField::Px, TextField::Py,
    TextField::a, TextField::Pa, TextField::Pb, TextField::Pab};

}  // namespace app
