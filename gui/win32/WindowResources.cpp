// Host tool of the Windows build: writes the menu and About-box part of the resource script from
// the shared window description, so that the texts, identifiers and geometry exist only once.
// The output is Windows-1252 text, byte for byte as in the tables.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "gui/WindowLayout.h"

namespace {

// A resource-script string literal: quotes doubled, backslashes escaped, control bytes (such as
// the carriage returns between the About box's lines) as three-digit octal escapes, and every
// other byte, Windows-1252 letters included, unchanged.
std::string quoted(std::string_view text) {
    std::string literal = "\"";
    for (const char character : text) {
        const auto byte = static_cast<unsigned char>(character);
        if (character == '"') {
            literal += "\"\"";
        } else if (character == '\\') {
            literal += "\\\\";
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\%03o", static_cast<unsigned>(byte));
            literal += escape;
        } else {
            literal += character;
        }
    }
    literal += '"';
    return literal;
}

// The predefined classes by their ordinals, as the dialog manager knows them; a class given by
// name would be stored as a string.
std::string_view itemClass(gui::DialogItemKind kind) {
    return kind == gui::DialogItemKind::centeredText ? "0x82 /* STATIC */" : "0x80 /* BUTTON */";
}

std::string_view itemStyle(gui::DialogItemKind kind) {
    switch (kind) {
        case gui::DialogItemKind::defaultPushButton:
            return "WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON";
        case gui::DialogItemKind::groupBox:
            return "WS_CHILD | WS_VISIBLE | BS_GROUPBOX";
        case gui::DialogItemKind::centeredText:
            break;
    }
    return "WS_CHILD | WS_VISIBLE | WS_GROUP | SS_CENTER";
}

void writeMenu(std::ostream& out) {
    out << gui::mainWindow.menuId << " MENU\nBEGIN\n";
    for (const gui::MenuSpec& entry : gui::menuBar) {
        if (entry.items.empty()) {
            out << "    MENUITEM " << quoted(entry.text) << ", " << entry.command << '\n';
            continue;
        }
        out << "    POPUP " << quoted(entry.text) << "\n    BEGIN\n";
        for (const gui::MenuItemSpec& item : entry.items) {
            out << "        MENUITEM " << quoted(item.text) << ", " << item.command << '\n';
        }
        out << "    END\n";
    }
    out << "END\n";
}

void writeAboutDialog(std::ostream& out) {
    const gui::DialogSpec& dialog = gui::aboutDialog;
    out << gui::mainWindow.aboutDialogId << " DIALOG " << dialog.x << ", " << dialog.y << ", "
        << dialog.width << ", " << dialog.height << '\n'
        << "STYLE WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT\n"
        << "CAPTION " << quoted(dialog.caption) << '\n'
        << "FONT " << dialog.fontPointSize << ", " << quoted(dialog.fontName) << '\n'
        << "BEGIN\n";
    for (const gui::DialogItemSpec& item : dialog.items) {
        out << "    CONTROL " << quoted(item.text) << ", " << item.id << ", "
            << itemClass(item.kind) << ", " << itemStyle(item.kind) << ", " << item.x << ", "
            << item.y << ", " << item.width << ", " << item.height << '\n';
    }
    out << "END\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: " << (argc > 0 ? argv[0] : "WindowResources") << " <output.rc>\n";
        return 2;
    }
    std::ostringstream script;
    script << "// Written at build time from gui/WindowLayout.h; Windows-1252.\n";
    writeMenu(script);
    script << '\n';
    writeAboutDialog(script);

    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file << script.str();
    file.close();
    if (!file) {
        std::cerr << "cannot write " << argv[1] << '\n';
        return 1;
    }
    return 0;
}
