#pragma once

#include "notify/changeeventkind.h"

#include <QTimer>
#include <QWidget>

#include <memory>

class QCloseEvent;

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

    // For tests: the timer has no parent, so findChild cannot reach it, and a test cannot wait
    // minutes for it.
    QTimer& autoCloseTimerForTest() { return autoCloseTimer; }

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void processCbAutoClose(bool checked);

private:
    QTimer autoCloseTimer;
    std::unique_ptr<Ui::InformationWindowClass> m_ui;
};
