#include "gui/qt/MainWindow.h"

#include <QAction>
#include <QEventLoop>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <array>
#include <limits>
#include <new>
#include <vector>

#include "gui/WindowLayout.h"
#include "gui/qt/AboutDialog.h"
#include "gui/qt/ValueField.h"
#include "gui/qt/Windows1252.h"

namespace gui::qt {
namespace {

std::size_t fieldIndex(app::TextField field) {
    return static_cast<std::size_t>(field);
}

// Keys for the commands used most: the platform's standard keys, and the usual one on every
// platform. The menu texts stay as they are.
struct CommandKey {
    int command;
    QKeySequence::StandardKey standard;
    QKeyCombination usual;
};
constexpr std::array<CommandKey, 4> commandKeys{{
    {command::openPublicData, QKeySequence::Open, Qt::CTRL | Qt::Key_O},
    {command::savePublicData, QKeySequence::Save, Qt::CTRL | Qt::Key_S},
    {command::exit, QKeySequence::Quit, Qt::CTRL | Qt::Key_Q},
    {command::updatePaPab, QKeySequence::Refresh, QKeyCombination(Qt::Key_F5)},
}};

void addKeys(QAction& action, int command) {
    for (const CommandKey& row : commandKeys) {
        if (row.command == command) {
            QList<QKeySequence> keys = QKeySequence::keyBindings(row.standard);
            if (!keys.contains(QKeySequence(row.usual))) {
                keys.prepend(QKeySequence(row.usual));
            }
            action.setShortcuts(keys);
        }
    }
}

std::unique_ptr<QLabel> makeStatic(const QString& text) {
    auto label = std::make_unique<QLabel>(text);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

std::unique_ptr<QWidget> makeEdit(const QString& text) {
    auto edit = std::make_unique<QLineEdit>(text);
    // Any length and any character: the key exchange parses whatever stands there.
    edit->setMaxLength(std::numeric_limits<int>::max());
    edit->setFrame(true);
    return edit;
}

}  // namespace

MainWindow::MainWindow(app::KeyExchange& state)
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowCloseButtonHint),
      chooser_(*this),
      dispatcher_(state, *this, chooser_, *this) {
    setWindowTitle(fromWindows1252(gui::mainWindow.title));
    setWindowIcon(QIcon(QStringLiteral(":/keyexchange.ico")));
    createMenuBar();
    createControls();
    clientArea_.setObjectName(QStringLiteral("clientArea"));
    clientArea_.setMinimumWidth(gui::clientWidth);
    clientArea_.installEventFilter(this);
    setCentralWidget(&clientArea_);
    resize(minimumSizeHint());
}

// The client area is a member: the window must let go of it before the member is destroyed.
MainWindow::~MainWindow() {
    controls_ = {};
    takeCentralWidget();
}

void MainWindow::createMenuBar() {
    QMenuBar& bar = *menuBar();
    for (const MenuSpec& entry : gui::menuBar) {
        const QString text = fromWindows1252(entry.text);
        if (entry.items.empty()) {
            QAction* action = bar.addAction(text);
            action->setData(entry.command);
            connect(action, &QAction::triggered, this,
                    [this, command = entry.command] { dispatcher_.dispatch(command); });
            continue;
        }
        QMenu* menu = bar.addMenu(text);
        for (const MenuItemSpec& item : entry.items) {
            QAction* action = menu->addAction(fromWindows1252(item.text));
            action->setData(item.command);
            addKeys(*action, item.command);
            connect(action, &QAction::triggered, this,
                    [this, command = item.command] { dispatcher_.dispatch(command); });
        }
    }
}

std::unique_ptr<QWidget> MainWindow::createControl(const ControlSpec& row) {
    const QString text = fromWindows1252(shownText(row, ShellKind::own));
    switch (row.controlClass) {
        case ControlClass::button: {
            auto button = std::make_unique<QPushButton>(text);
            button->setAutoDefault(false);
            connect(button.get(), &QPushButton::clicked, this,
                    [this, command = row.id] { dispatcher_.dispatch(command); });
            return button;
        }
        case ControlClass::edit:
            return makeEdit(text);
        case ControlClass::valueField:
            return std::make_unique<ValueField>(text);
        case ControlClass::staticText:
            break;
    }
    return makeStatic(text);
}

void MainWindow::createControls() {
    for (std::size_t index = 0; index < gui::controls.size(); ++index) {
        const ControlSpec& row = gui::controls[index];
        std::unique_ptr<QWidget> control;
        try {
            control = createControl(row);
        } catch (const std::bad_alloc&) {
            if (!row.failureMessage.empty()) {
                QMessageBox::critical(this, fromWindows1252(controlErrorCaption),
                                      fromWindows1252(row.failureMessage));
            }
            continue;  // the window runs without it
        }
        control->setParent(&clientArea_);
        control->setProperty("controlId", row.id);
        control->setObjectName(QStringLiteral("control%1").arg(row.id));
        if (row.field.has_value()) {
            fieldControls_[fieldIndex(*row.field)] = control.get();
        }
        controls_[index] = std::move(control);
    }
    arrangeControls();
}

void MainWindow::arrangeControls() {
    // The value fields take their width first, since the lines they need follow from it. Each
    // then stretches its rows by what it needs beyond its height, and every edge below them moves
    // down by as much. Controls are cut at the client area's edges, as Windows cuts child windows.
    const int width = std::max(clientArea_.width(), gui::clientWidth);
    // A point starts clear of the widest label of the value rows, each the control before its
    // field, whatever the font.
    int valueLeft = 0;
    for (std::size_t index = 1; index < gui::controls.size(); ++index) {
        const auto* label = dynamic_cast<const QLabel*>(controls_[index - 1].get());
        if (gui::controls[index].controlClass == ControlClass::valueField && label != nullptr) {
            valueLeft = std::max(
                valueLeft, gui::controls[index - 1].x + label->fontMetrics().horizontalAdvance(
                                                            label->text() + QLatin1Char(' ')));
        }
    }
    std::array<Rect, gui::controls.size()> places{};
    struct Stretch {
        int from;  // edges at or below this move
        int extra;
    };
    std::vector<Stretch> stretches;
    for (std::size_t index = 0; index < gui::controls.size(); ++index) {
        Rect& place = places[index];
        place = placed(gui::controls[index], width, gui::clientHeight, ShellKind::own);
        if (auto* field = dynamic_cast<ValueField*>(controls_[index].get())) {
            const int shift = std::max(0, valueLeft - place.x);
            place.x += shift;
            place.width -= shift;
            field->setGeometry(place.x, field->y(), place.width, field->height());
            stretches.push_back(
                {place.y + place.height, field->heightShowingAll(place.height) - place.height});
        }
    }
    const auto stretched = [&stretches](int edge) {
        int moved = edge;
        for (const Stretch& stretch : stretches) {
            moved += edge >= stretch.from ? stretch.extra : 0;
        }
        return moved;
    };
    const QRect client(0, 0, width, stretched(gui::clientHeight));
    for (std::size_t index = 0; index < gui::controls.size(); ++index) {
        const Rect& place = places[index];
        if (QWidget* control = controls_[index].get()) {
            const int top = stretched(place.y);
            control->setGeometry(
                QRect(place.x, top, place.width, stretched(place.y + place.height) - top) & client);
        }
    }
    clientArea_.setFixedHeight(client.height());
    setFixedHeight(minimumSizeHint().height());  // with the menu bar, shrinking as well as growing
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    arrangeControls();  // the fields measure their lines at the width they are now shown at
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &clientArea_ && event->type() == QEvent::Resize) {
        arrangeControls();
    }
    return QMainWindow::eventFilter(watched, event);
}

std::string MainWindow::fieldText(app::TextField field) const {
    const QWidget* control = fieldControls_[fieldIndex(field)];
    if (const auto* edit = qobject_cast<const QLineEdit*>(control)) {
        return toWindows1252(edit->text());
    }
    if (const auto* value = dynamic_cast<const ValueField*>(control)) {
        return toWindows1252(value->text());
    }
    return {};
}

void MainWindow::setFieldText(app::TextField field, std::string_view text) {
    QWidget* control = fieldControls_[fieldIndex(field)];
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(fromWindows1252(text));
    } else if (auto* value = dynamic_cast<ValueField*>(control)) {
        value->setText(fromWindows1252(text));
        arrangeControls();
    }
}

void MainWindow::showMessage(std::string_view text, std::string_view caption,
                             app::MessageIcon icon) {
    QMessageBox box(icon == app::MessageIcon::warning ? QMessageBox::Warning : QMessageBox::NoIcon,
                    fromWindows1252(caption), fromWindows1252(text), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::NonModal);
    QEventLoop waiting;
    connect(&box, &QDialog::finished, &waiting, &QEventLoop::quit);
    box.show();
    waiting.exec();
}

// Queued, so that closing takes the same path as the close box once the command has returned.
void MainWindow::requestClose() {
    QMetaObject::invokeMethod(
        this, [this] { close(); }, Qt::QueuedConnection);
}

void MainWindow::showAbout() {
    AboutDialog about(*this, clientArea_, installedGuide());
    about.exec();
}

}  // namespace gui::qt
