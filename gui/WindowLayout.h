#pragma once

#include <array>
#include <optional>
#include <span>
#include <string_view>

#include "app/TextField.h"

// The main window, its menu and the About box, described once for every shell: classes, texts
// (Windows-1252), identifiers and geometry. A shell renders these tables and adds nothing.
namespace gui {

namespace command {
inline constexpr int savePublicData = 301;
inline constexpr int saveSecretKey = 302;
inline constexpr int openPublicData = 303;
inline constexpr int openSecretKey = 304;
inline constexpr int saveSharedKey = 305;
inline constexpr int exit = 306;
inline constexpr int clearAll = 401;
inline constexpr int updatePaPab = 402;
inline constexpr int useTestValues = 403;
inline constexpr int generateSecret = 404;
inline constexpr int about = 502;
}  // namespace command

struct MainWindowSpec {
    std::string_view className;
    std::string_view title;
    int width;  // outer size in pixels, caption, menu and edges included
    int height;
    int menuId;
    int iconId;
    int aboutDialogId;
};
inline constexpr MainWindowSpec mainWindow{
    "myWindowClass", "Diffie-Hellman n\xF8gleudveksling", 500, 390, 201, 1, 601};

// The client area that window keeps on Windows once its caption, menu bar and frame are taken:
// the area the control table is drawn for. A real one differs by the platform's frame metrics,
// and in the shells whose window the user may widen, by as much as it was widened.
inline constexpr int clientWidth = 484;
inline constexpr int clientHeight = 331;

// Shown when the window cannot be set up at all.
inline constexpr std::string_view startupErrorCaption = "Error!";
inline constexpr std::string_view registrationFailedMessage = "Window Registration Failed!";
inline constexpr std::string_view creationFailedMessage = "Window Creation Failed!";
// The exit status after either message, so that whoever started the program sees the failure.
inline constexpr int startupFailedExitCode = 1;
inline constexpr std::string_view controlErrorCaption = "Error";

// Edits are single-line, scroll horizontally and have a sunken client edge. Value fields show a
// point whole: read-only multi-line edits without an edge that wrap at any character, scroll
// vertically when the point has more lines than they show, let the text be selected and copied,
// and use the platform's smaller GUI font where it has one beside the system font. Statics and
// buttons are plain.
enum class ControlClass { staticText, button, edit, valueField };

constexpr std::string_view controlClassName(ControlClass controlClass) {
    switch (controlClass) {
        case ControlClass::button:
            return "BUTTON";
        case ControlClass::edit:
        case ControlClass::valueField:
            return "EDIT";
        case ControlClass::staticText:
            break;
    }
    return "STATIC";
}

// One child control of the main window, in pixels of the client area.
struct ControlSpec {
    ControlClass controlClass;
    std::string_view text;  // initial text
    int id;                 // child identifier; for buttons also the command they send
    int x;
    int y;
    int width;
    int height;
    std::optional<app::TextField> field;  // the text field this control holds, if any
    std::string_view failureMessage;      // shown when creation fails; empty: not checked
};

inline constexpr int labelId = 2001;  // the background and every label share it

namespace detail {
inline constexpr std::string_view buttonFailure = "Could not create button box.";
inline constexpr std::string_view editFailure = "Could not create edit box.";
inline constexpr std::string_view staticFailure = "Could not create static box.";
using app::TextField;
using enum ControlClass;
// A value field reaches across to the client area's right edge and down to the next row, the
// last one to the bottom edge.
inline constexpr int valueX = 45;
inline constexpr int valueWidth = clientWidth - valueX;
inline constexpr int PabY = 295;
}  // namespace detail

// In creation order.
inline constexpr std::array<ControlSpec, 21> controls{{
    {detail::staticText, "", labelId, 0, 0, 500, 390, std::nullopt, ""},
    {detail::button, "Brug test-v\xE6rdier", command::useTestValues, 35, 15, 200, 25, std::nullopt,
     detail::buttonFailure},
    {detail::staticText, "q =", labelId, 250, 15, 30, 20, std::nullopt, ""},
    {detail::edit, "", 2002, 275, 15, 200, 20, detail::TextField::q, detail::editFailure},
    {detail::staticText, "A =", labelId, 10, 50, 30, 20, std::nullopt, ""},
    {detail::edit, "", 2003, 35, 50, 200, 20, detail::TextField::A, detail::editFailure},
    {detail::staticText, "B =", labelId, 250, 50, 30, 20, std::nullopt, ""},
    {detail::edit, "", 2004, 275, 50, 200, 20, detail::TextField::B, detail::editFailure},
    {detail::staticText, "P =", labelId, 10, 80, 30, 20, std::nullopt, ""},
    {detail::edit, "", 2005, 35, 80, 200, 20, detail::TextField::Px, detail::editFailure},
    {detail::staticText, ",", labelId, 250, 80, 30, 20, std::nullopt, ""},
    {detail::edit, "", 2006, 275, 80, 200, 20, detail::TextField::Py, detail::editFailure},
    {detail::button, "Gener\xE9r a", command::generateSecret, 35, 140, 200, 25, std::nullopt,
     detail::buttonFailure},
    {detail::staticText, "a =", labelId, 250, 140, 30, 20, std::nullopt, ""},
    {detail::edit, "", 2007, 275, 140, 200, 20, detail::TextField::a, detail::editFailure},
    {detail::staticText, "Pa =", labelId, 10, 175, 450, 20, std::nullopt, ""},
    {detail::valueField, "...", 2008, detail::valueX, 175, detail::valueWidth, 60,
     detail::TextField::Pa, detail::staticFailure},
    {detail::staticText, "Pb =", labelId, 10, 235, 450, 20, std::nullopt, ""},
    {detail::valueField, "...", 2009, detail::valueX, 235, detail::valueWidth, 60,
     detail::TextField::Pb, detail::staticFailure},
    {detail::staticText, "Pab=", labelId, 10, detail::PabY, 450, 20, std::nullopt, ""},
    {detail::valueField, "...", 2010, detail::valueX, detail::PabY, detail::valueWidth,
     clientHeight - detail::PabY, detail::TextField::Pab, detail::staticFailure},
}};

// How closely a shell keeps to the table. The Windows program keeps it as it is. The shells that
// draw a window of their own (Linux, the browser) let the user widen the window and space the
// last value label like the others ("Pab =" like "Pa =").
enum class ShellKind { windows, own };

struct Rect {
    int x;
    int y;
    int width;
    int height;
};

// Where a control lies in a real client area of the given size. A value field's edges that lie
// on the table's client edges follow the real ones, so that the field stays inside and uses the
// room there is. In a window of its own, the width beyond the table's goes half to each column:
// the right-hand one moves right by half, and every edit grows by its column's half.
constexpr Rect placed(const ControlSpec& control, int areaWidth, int areaHeight, ShellKind kind) {
    Rect rect{control.x, control.y, control.width, control.height};
    if (control.controlClass == ControlClass::valueField) {
        rect.width += control.x + control.width == clientWidth ? areaWidth - clientWidth : 0;
        rect.height += control.y + control.height == clientHeight ? areaHeight - clientHeight : 0;
    } else if (kind == ShellKind::own) {
        constexpr int rightColumnX = 250;
        const int extra = areaWidth - clientWidth;
        const int columnExtra = control.x < rightColumnX ? extra / 2 : extra - extra / 2;
        rect.x += control.x < rightColumnX ? 0 : extra / 2;
        rect.width += control.controlClass == ControlClass::edit ? columnExtra : 0;
    }
    return rect;
}

constexpr std::string_view shownText(const ControlSpec& control, ShellKind kind) {
    return kind == ShellKind::own && control.text == "Pab=" ? "Pab =" : control.text;
}

// The one item of a value field's context menu: copies the field's whole text.
inline constexpr std::string_view copyCommandText = "Kopi\xE9r";

// The control that holds a text field.
constexpr const ControlSpec& controlFor(app::TextField field) {
    for (const ControlSpec& control : controls) {
        if (control.field == field) {
            return control;
        }
    }
    return controls.front();  // unreachable: every field has a control
}

struct MenuItemSpec {
    std::string_view text;  // "&" marks the mnemonic
    int command;
};

// A menu-bar entry: a drop-down with items, or a command of its own when items is empty.
struct MenuSpec {
    std::string_view text;
    std::span<const MenuItemSpec> items;
    int command;  // 0 for a drop-down
};

inline constexpr std::array<MenuItemSpec, 6> fileMenuItems{{
    {"&Gem offentlig data...", command::savePublicData},
    {"&\xC5"
     "bn offentlig data...",
     command::openPublicData},
    {"Gem hemmelig n\xF8gle a...", command::saveSecretKey},
    {"\xC5"
     "bn hemmelig n\xF8gle &a...",
     command::openSecretKey},
    {"Gem f\xE6lles n\xF8gle Pab...", command::saveSharedKey},
    {"&Afslut", command::exit},
}};

inline constexpr std::array<MenuItemSpec, 4> toolsMenuItems{{
    {"&Slet alt", command::clearAll},
    {"&Opdater Pa og Pab", command::updatePaPab},
    {"&Brug test-v\xE6rdier", command::useTestValues},
    {"Gener\xE9r &a", command::generateSecret},
}};

inline constexpr std::array<MenuSpec, 3> menuBar{{
    {"&Filer", fileMenuItems, 0},
    {"&V\xE6rkt\xF8jer", toolsMenuItems, 0},
    {"&Om", {}, command::about},
}};

enum class DialogItemKind { defaultPushButton, groupBox, centeredText };

// One item of the About box, in dialog units (MS Sans Serif 8 at 96 dpi: 1.5 pixels across and
// 1.625 down per unit). Lines within a text are separated by a lone carriage return.
struct DialogItemSpec {
    DialogItemKind kind;
    int id;  // -1: none
    int x;
    int y;
    int width;
    int height;
    std::string_view text;
};

struct DialogSpec {
    int x;
    int y;
    int width;
    int height;
    std::string_view caption;
    std::string_view fontName;
    int fontPointSize;
    std::span<const DialogItemSpec> items;
};

inline constexpr int okButtonId = 1;

inline constexpr std::array<DialogItemSpec, 6> aboutItems{{
    {DialogItemKind::defaultPushButton, okButtonId, 125, 158, 50, 14, "OK"},
    {DialogItemKind::groupBox, -1, 7, 7, 286, 145, "Om Diffie-Hellman n\xF8gleudveksling"},
    {DialogItemKind::centeredText, -1, 16, 18, 268, 20,
     "Dette program er en del af mit bachelorprojekt om kryptering\r"
     "Givet en elliptisk kurve med et punkt p\xE5, udf\xF8rer den diffie-hellmans "
     "n\xF8gleudveksling."},
    {DialogItemKind::centeredText, -1, 16, 40, 268, 40,
     "Programmet kan alts\xE5 ikke generere store primtal,\r"
     "eller elliptiske kurver med kendte punkter af sig selv.\r"
     "Alt dette skal klares med andre programmer\r"
     "(eller m\xE5ske i h\xE5nden hvis der er tale om sm\xE5 tal)."},
    {DialogItemKind::centeredText, -1, 16, 80, 268, 30,
     "OBS: Alt input/output foreg\xE5r i HEX, dvs med 0-9 og A-F som cifre.\r"
     "Se l\xE6smig.pdf for instruktioner og kendte problem(er)."},
    {DialogItemKind::centeredText, -1, 16, 110, 268, 40,
     "Egen aritmetik for store tal og elliptiske kurver, skrevet i C++20.\r"
     "Vinduet bygger p\xE5 Qt 6 under Linux og Win32 under Windows."},
}};

inline constexpr DialogSpec aboutDialog{0, 0, 300, 180, "Om...", "MS Sans Serif", 8, aboutItems};

}  // namespace gui
