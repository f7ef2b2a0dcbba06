#pragma once

#include <QMainWindow>
#include <QWidget>
#include <array>
#include <memory>

#include "app/KeyExchange.h"
#include "app/KeyExchangeView.h"
#include "gui/CommandDispatch.h"
#include "gui/WindowLayout.h"
#include "gui/qt/DialogFileChooser.h"

namespace gui::qt {

// The program's one window: the menu bar and the twenty-one controls of the shared layout, each
// carrying its identifier as the property "controlId". The user may widen it, and the columns and
// value fields widen with it. Where a value field needs more lines for its point, the field grows
// and the controls below it and the window move and grow with it. It is the key exchange's view
// and runs every menu and button command through the dispatcher. It owns its controls; the state
// belongs to the caller and must outlive the window.
class MainWindow final : public QMainWindow, public app::KeyExchangeView, private ShellRequests {
  public:
    explicit MainWindow(app::KeyExchange& state);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    std::string fieldText(app::TextField field) const override;
    void setFieldText(app::TextField field, std::string_view text) override;
    // A box without owner that is not modal: while it waits, the window takes further commands.
    void showMessage(std::string_view text, std::string_view caption,
                     app::MessageIcon icon) override;

    const QWidget& clientArea() const noexcept { return clientArea_; }

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void requestClose() override;
    void showAbout() override;

    void createMenuBar();
    void createControls();
    std::unique_ptr<QWidget> createControl(const ControlSpec& row);
    void arrangeControls();

    DialogFileChooser chooser_;
    CommandDispatcher dispatcher_;
    QWidget clientArea_;
    // By row of gui::controls; null where creation failed.
    std::array<std::unique_ptr<QWidget>, gui::controls.size()> controls_;
    std::array<QWidget*, app::allTextFields.size()> fieldControls_{};  // into controls_
};

}  // namespace gui::qt
