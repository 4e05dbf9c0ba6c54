#pragma once

#include "notify/changeeventkind.h"

#include <QTimer>
#include <QWidget>

#include <memory>

class QCloseEvent;
class QLabel;
class QPushButton;

namespace Ui {
class InformationWindowClass;
} // namespace Ui

// A popup that announces one status change. It places and shows itself, and frees itself
// whenever it is closed (its button, the window manager, the auto-close timer or "Close all
// messages"). Nobody keeps a pointer to it.
class InformationWindow : public QWidget
{
    Q_OBJECT

public:
    // linkText is rendered as rich text and its links open in the browser, so the caller builds
    // it with popupLinkText(), which escapes the server's name and address.
    // autoCloseMinutes 0 means the popup stays until it is closed by hand.
    InformationWindow(QWidget* parent, ChangeEventKind kind, const QString& linkText, const QString& status,
        int autoCloseMinutes, int x, int y, bool staysOnTop);
    ~InformationWindow() override;

    enum class Command { Acknowledge, Recheck };

    // Under the status: the plugin output (plain text, cut to fit, whole in its tooltip) and how
    // long the problem has lasted, where the status source tells them.
    void showDetails(const QString& output, const QString& duration);

    // "Acknowledge…" and "Recheck" beside "Ok", on a problem's popup only; the popup asks for them
    // with acknowledgeRequested() and recheckRequested(), the caller sends them and reports back.
    void offerCommands();
    // Off while the caller asks the user for details, so a command cannot be started twice.
    void setCommandsEnabled(bool enabled);
    // Under way: the buttons wait, and the popup says what it is doing.
    void showCommandRunning(Command command);
    // Nagios took it: "Acknowledged" in place of the buttons; after a recheck they stay.
    void showCommandSubmitted(Command command);
    // Not carried out: the reason, and the buttons again for another try.
    void showCommandFailed(const QString& reason);

    // For tests: the timer has no parent, so findChild cannot reach it, and a test cannot wait
    // minutes for it.
    QTimer& autoCloseTimerForTest() { return autoCloseTimer; }

signals:
    void acknowledgeRequested();
    void recheckRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void processCbAutoClose(bool checked);

private:
    void setCommandState(const QString& text);

    ChangeEventKind m_kind;
    QTimer autoCloseTimer;
    std::unique_ptr<Ui::InformationWindowClass> m_ui;
    // Only on a popup that offers commands.
    QLabel* m_commandState = nullptr;
    QPushButton* m_acknowledgeButton = nullptr;
    QPushButton* m_recheckButton = nullptr;
};
