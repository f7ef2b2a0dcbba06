// The page's side of the program: one key exchange, the page's fields and messages as its view,
// the window's description as data, and the steps and points the panel shows. Text leaves and
// enters here as Unicode, converted from and to the program's Windows-1252.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/ExchangeFiles.h"
#include "app/ExchangeFormats.h"
#include "app/FailureReport.h"
#include "app/FileChooser.h"
#include "app/KeyExchange.h"
#include "app/KeyExchangeView.h"
#include "app/MultiplicationTrace.h"
#include "app/RandomSource.h"
#include "app/SmallCurvePoints.h"
#include "app/TextField.h"
#include "app/TypedNumber.h"
#include "app/Windows1252.h"
#include "bignum/Modular.h"
#include "bignum/Natural.h"
#include "curve/CurvePoint.h"
#include "gui/CommandDispatch.h"
#include "gui/WindowLayout.h"

namespace {

using app::TextField;
using emscripten::val;

std::wstring pageText(std::string_view windows1252) {
    std::wstring text;
    text.reserve(windows1252.size());
    for (const char byte : windows1252) {
        text.push_back(
            static_cast<wchar_t>(app::fromWindows1252(static_cast<unsigned char>(byte))));
    }
    return text;
}

std::string programText(const std::wstring& text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (const wchar_t character : text) {
        bytes.push_back(static_cast<char>(app::toWindows1252(static_cast<char32_t>(character))));
    }
    return bytes;
}

// A file's bytes cross as they are, without the text conversion.
std::string bytesOf(const val& array) {
    std::string bytes(array["length"].as<std::size_t>(), '\0');
    val(emscripten::typed_memory_view(bytes.size(), reinterpret_cast<unsigned char*>(bytes.data())))
        .call<void>("set", array);
    return bytes;
}

val arrayOf(std::string_view bytes) {
    return val::global("Uint8Array")
        .new_(emscripten::typed_memory_view(bytes.size(),
                                            reinterpret_cast<const unsigned char*>(bytes.data())));
}

// The commands a page offers, by the name its controls carry. A browser closes the page, so
// there is no exit. A save offers its file under a name the student may change first.
struct PageCommand {
    const char* name;
    int id;
    std::string_view fileName;  // a save's name before its extension
};
constexpr std::array<PageCommand, 10> pageCommands{{
    {"savePublicData", gui::command::savePublicData, "offentlig"},
    {"openPublicData", gui::command::openPublicData, ""},
    {"saveSecretKey", gui::command::saveSecretKey, "hemmelig"},
    {"openSecretKey", gui::command::openSecretKey, ""},
    {"saveSharedKey", gui::command::saveSharedKey, "faelles"},
    {"clearAll", gui::command::clearAll, ""},
    {"updatePaPab", gui::command::updatePaPab, ""},
    {"useTestValues", gui::command::useTestValues, ""},
    {"generateSecret", gui::command::generateSecret, ""},
    {"about", gui::command::about, ""},
}};

const PageCommand* pageCommand(int id) {
    const auto found = std::find_if(pageCommands.begin(), pageCommands.end(),
                                    [id](const PageCommand& c) { return c.id == id; });
    return found == pageCommands.end() ? nullptr : &*found;
}

int commandId(const std::string& name) {
    const auto found = std::find_if(pageCommands.begin(), pageCommands.end(),
                                    [&name](const PageCommand& c) { return c.name == name; });
    return found == pageCommands.end() ? 0 : found->id;
}

// A file command's control also says whether it opens or saves, the extension of its files and
// the name a save offers.
val commandData(std::string_view text, int id) {
    val data = val::object();
    data.set("text", pageText(text));
    const PageCommand* command = pageCommand(id);
    if (command == nullptr) {
        return data;
    }
    data.set("command", val(command->name));
    if (const std::optional<gui::FileCommand> file = gui::fileCommand(id)) {
        const std::string extension(file->dialog->defaultExtension);
        val details = val::object();
        details.set("opens", file->dialog->kind == app::FileDialogKind::open);
        details.set("extension", pageText(extension));
        details.set("name", pageText(std::string(command->fileName) + "." + extension));
        data.set("file", details);
    }
    return data;
}

// The window as the page draws it: its title, its controls in creation order (the empty
// background left out), the menu bar without exit, and the About box's texts.
val windowDescription() {
    val controls = val::array();
    for (const gui::ControlSpec& described : gui::controls) {
        val control = commandData(gui::shownText(described, gui::ShellKind::own), described.id);
        if (described.field) {
            const bool typed = described.controlClass == gui::ControlClass::edit;
            control.set("kind", val(typed ? "edit" : "value"));
            control.set("field", std::string(app::fieldName(*described.field)));
        } else if (described.controlClass == gui::ControlClass::button) {
            control.set("kind", val("button"));
        } else if (!described.text.empty()) {
            control.set("kind", val("label"));
        } else {
            continue;
        }
        control.set("row", described.y);
        controls.call<void>("push", control);
    }
    val menus = val::array();
    for (const gui::MenuSpec& heading : gui::menuBar) {
        val menu = commandData(heading.text, heading.command);
        val items = val::array();
        for (const gui::MenuItemSpec& item : heading.items) {
            if (pageCommand(item.command) != nullptr) {
                items.call<void>("push", commandData(item.text, item.command));
            }
        }
        menu.set("items", items);
        menus.call<void>("push", menu);
    }
    val about = val::object();
    about.set("caption", pageText(gui::aboutDialog.caption));
    val texts = val::array();
    for (const gui::DialogItemSpec& item : gui::aboutDialog.items) {
        const std::wstring text = pageText(item.text);
        if (item.kind == gui::DialogItemKind::groupBox) {
            about.set("heading", text);
        } else if (item.kind == gui::DialogItemKind::defaultPushButton) {
            about.set("ok", text);
        } else {
            texts.call<void>("push", text);
        }
    }
    about.set("texts", texts);
    val window = val::object();
    window.set("title", pageText(gui::mainWindow.title));
    window.set("controls", controls);
    window.set("menus", menus);
    window.set("about", about);
    window.set("fileLimit", static_cast<double>(app::maxExchangeFileBytes));
    return window;
}

// The nine fields as the page last sent them or the program last wrote them; the messages wait
// here until the page shows them, so none blocks a command.
class PageView final : public app::KeyExchangeView {
  public:
    PageView() {
        for (const TextField field : app::allTextFields) {
            texts_[static_cast<std::size_t>(field)] = gui::controlFor(field).text;
        }
    }

    std::string fieldText(TextField field) const override {
        return texts_[static_cast<std::size_t>(field)];
    }
    void setFieldText(TextField field, std::string_view text) override {
        texts_[static_cast<std::size_t>(field)] = text;
    }
    void showMessage(std::string_view text, std::string_view caption,
                     app::MessageIcon icon) override {
        val message = val::object();
        message.set("text", pageText(text));
        message.set("caption", pageText(caption));
        message.set("warning", icon == app::MessageIcon::warning);
        messages_.call<void>("push", message);
    }

    // The messages since the last call, oldest first.
    val takeMessages() {
        val taken = messages_;
        messages_ = val::array();
        return taken;
    }

  private:
    std::array<std::string, app::allTextFields.size()> texts_;
    val messages_ = val::array();
};

class PageShell final : public gui::ShellRequests {
  public:
    void requestClose() override {}  // the page offers no exit: its browser closes it
    void showAbout() override { aboutRequested = true; }
    bool aboutRequested = false;
};

// A page names no paths: its file commands hand over bytes instead (beginOpen and finishOpen,
// composeSave) and are never dispatched.
class NoPaths final : public app::FileChooser {
  public:
    std::optional<std::filesystem::path> choosePath(const app::FileDialogOptions&) override {
        return std::nullopt;
    }
};

val traceData(const app::Trace& trace) {
    val rows = val::array();
    for (const app::TraceRow& row : trace.rows) {
        val cells = val::array();
        for (const std::string& cell : row) {
            cells.call<void>("push", pageText(cell));
        }
        rows.call<void>("push", cells);
    }
    val data = val::object();
    data.set("rows", rows);
    data.set("failure", pageText(trace.failure));
    data.set("csv", pageText(app::traceCsv(trace.rows)));
    return data;
}

constexpr std::string_view noPlotReason =
    "Kurven tegnes kun, n\xE5r q ligger fra 1 til 3FF (under 2^10): s\xE5 har den h\xF8jst omkring "
    "1100 punkter, og hvert enkelt kan ses. Her er q = ";

// The one key exchange of a page and the window's commands on it.
class Session {
  public:
    Session() : state_(random_), dispatcher_(state_, view_, noPaths_, shell_) {}

    // Each command takes the texts the page holds for any of the nine fields and returns all
    // nine texts, the messages shown meanwhile and whether the About box was asked for.

    // Any command but the file commands.
    val run(const std::string& name, const val& typed) {
        return perform(typed, [&](val&) {
            if (!gui::fileCommand(commandId(name))) {
                dispatcher_.dispatch(commandId(name));
            }
        });
    }

    // Before the page asks for the file to open; with "pick" when it may.
    val beginOpen(const std::string& name, const val& typed) {
        return perform(typed, [&](val& outcome) {
            outcome.set("pick", dispatcher_.beginOpen(commandId(name)));
        });
    }

    // After: the picked file as {bytes: Uint8Array, name}, without bytes when the browser could
    // not read it, or null when the student cancelled.
    val finishOpen(const std::string& name, const val& typed, const val& file) {
        return perform(typed, [&](val&) {
            if (file.isNull() || file.isUndefined()) {
                dispatcher_.finishOpen(commandId(name), std::nullopt);
                return;
            }
            const std::string fileName = programText(file["name"].as<std::wstring>());
            if (file["bytes"].isUndefined()) {
                app::refuseUnreadable(view_, fileName);
                return;
            }
            const std::string bytes = bytesOf(file["bytes"]);
            dispatcher_.finishOpen(commandId(name), gui::PickedFile{bytes, fileName});
        });
    }

    // A save; with "bytes", a Uint8Array, when the page is to offer them.
    val save(const std::string& name, const val& typed) {
        return perform(typed, [&](val& outcome) {
            if (const std::optional<std::string> bytes = dispatcher_.composeSave(commandId(name))) {
                outcome.set("bytes", arrayOf(*bytes));
            }
        });
    }

    // The steps of the shown Pa = a*P and Pab = a*Pb, and the headings of their columns.
    val trace() const {
        val headings = val::array();
        for (const std::string_view heading : app::traceHeadings) {
            headings.call<void>("push", pageText(heading));
        }
        val traces = val::object();
        traces.set("headings", headings);
        traces.set("Pa", traceData(app::traceProduct(state_.P(), state_.a())));
        traces.set("Pab", traceData(app::traceProduct(state_.Pb(), state_.a())));
        return traces;
    }

    // Every point of a small curve with its text, and the texts of P, Pa, Pb and Pab; for a
    // larger curve why there is no picture.
    val plot() {
        val plot = val::object();
        const auto points = app::smallCurvePoints(state_.q(), state_.A(), state_.B());
        if (!points) {
            plot.set("reason", pageText(std::string(noPlotReason) + state_.q().toHex() + "."));
            return plot;
        }
        plot.set("q", state_.q().limbs()[0]);
        val listed = val::array();
        bignum::Natural q = state_.q();  // the points refer to a modulus they may reduce by
        bignum::Natural x;
        bignum::Natural y;
        for (const app::SmallPoint& point : *points) {
            x.setLimbs(std::span(&point.x, 1));
            y.setLimbs(std::span(&point.y, 1));
            const curve::CurvePoint drawn(q, state_.A(), state_.B(), bignum::Modular(q, x),
                                          bignum::Modular(q, y));
            val data = val::object();
            data.set("x", point.x);
            data.set("y", point.y);
            data.set("text", pageText(drawn.toText()));
            listed.call<void>("push", data);
        }
        plot.set("points", listed);
        val marks = val::object();
        marks.set("P", pageText(state_.P().toText()));
        marks.set("Pa", pageText(state_.Pa().toText()));
        marks.set("Pb", pageText(state_.Pb().toText()));
        marks.set("Pab", pageText(state_.Pab().toText()));
        plot.set("marks", marks);
        return plot;
    }

  private:
    template <class Command>
    val perform(const val& typed, const Command& command) {
        val outcome = val::object();
        shell_.aboutRequested = false;
        try {
            for (const TextField field : app::allTextFields) {
                const val text = typed[std::string(app::fieldName(field))];
                if (text.isString()) {
                    view_.setFieldText(field, programText(text.as<std::wstring>()));
                }
            }
            command(outcome);
        } catch (...) {
            view_.showMessage(app::failureReport(std::current_exception()), app::errorCaption,
                              app::MessageIcon::none);
        }
        val fields = val::object();
        for (const TextField field : app::allTextFields) {
            fields.set(std::string(app::fieldName(field)), pageText(view_.fieldText(field)));
        }
        outcome.set("fields", fields);
        outcome.set("messages", view_.takeMessages());
        outcome.set("about", shell_.aboutRequested);
        return outcome;
    }

    app::SystemRandom random_;
    app::KeyExchange state_;
    PageView view_;
    PageShell shell_;
    NoPaths noPaths_;
    gui::CommandDispatcher dispatcher_;
};

}  // namespace

EMSCRIPTEN_BINDINGS(keyexchange) {
    emscripten::function("windowDescription", &windowDescription);
    emscripten::class_<Session>("Session")
        .constructor<>()
        .function("run", &Session::run)
        .function("beginOpen", &Session::beginOpen)
        .function("finishOpen", &Session::finishOpen)
        .function("save", &Session::save)
        .function("trace", &Session::trace)
        .function("plot", &Session::plot);
}
