#pragma once

#include "app/tarvix.h"
#include "monitor/httpclient.h"

#include <QStringList>

// A window into the main object's private state for bench_firststart and the tests: the menus are
// the problem lists, the request ids and error flags steer the response handler.
class TarvixTestAccess
{
public:
    explicit TarvixTestAccess(Tarvix& tarvix) : t(tarvix) { }

    Ui::TarvixClass& ui() { return t.ui; }
    MonitorSettings& settings() { return t.settings; }
    QSystemTrayIcon& trayIcon() { return t.trayIcon; }
    QMenu& hostsMenu() { return t.hostsMenu; }
    QMenu& servicesMenu() { return t.servicesMenu; }
    QMenu& trayMenu() { return t.trayMenu; }
    QMenu& combinedMenu() { return t.combinedMenu; }
    QTimer& pollTimer() { return t.pollTimer; }
    QTimer& flashTimer() { return t.flashTimer; }
    HttpClient* http() { return t.http; }
    QDir dataDir() const { return t.dataDir; }
    bool errorReported() const { return t.errorReported; }
    bool flashUp() const { return t.flashUp; }
    int failures(StatusList list) const { return t.listHealth.failures(list); }
    int hostsRequestId() const { return t.hostsRequestId; }
    int servicesRequestId() const { return t.servicesRequestId; }

    // Texts of the entries after the header and separator, in menu order.
    static QStringList entryTexts(const QMenu& menu)
    {
        QStringList texts;
        const QList<QAction*> actions = menu.actions();
        for (int i = 2; i < actions.size(); ++i)
            texts << actions.at(i)->text();
        return texts;
    }

    void poll() { t.httpGetInfo(); }
    void activate(QSystemTrayIcon::ActivationReason reason) { t.iconActivated(reason); }
    void save() { t.checkAndSaveConfig(); }
    void showConfig() { t.showAndReadConfig(); }
    void fakeFinished(int id, bool error) { t.processHttpFinished(id, error); }

private:
    Tarvix& t;
};
