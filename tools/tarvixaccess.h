#pragma once

#include "app/tarvix.h"
#include "monitor/httpclient.h"
#include "monitor/serverlink.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QMetaObject>
#include <QStringList>
#include <QVariantMap>

// The main object as tests and tools drive it: through its window's widgets (found by object name),
// its tray, its menus and its servers' links, as a user and the servers would.
class TarvixTestAccess
{
public:
    explicit TarvixTestAccess(Tarvix& tarvix) : t(tarvix) { }

    template <class Widget> Widget* widget(const char* name) const
    {
        return t.findChild<Widget*>(QLatin1String(name));
    }
    QAction* action(const char* name) const { return widget<QAction>(name); }

    QSystemTrayIcon& trayIcon() { return t.trayIconView(); }
    QMenu& hostsMenu() { return t.problemsMenu(StatusList::Hosts); }
    QMenu& servicesMenu() { return t.problemsMenu(StatusList::Services); }
    QMenu& trayMenu() { return t.contextMenuView(); }
    QMenu& combinedMenu() { return t.combinedMenuView(); }
    const QTimer& flashTimer() const { return t.flashingTimer(); }
    bool flashUp() const { return t.flashesRecovery(); }

    QDir dataDir() const { return t.dataDirectory(); }
    // The first server's link, or another by its place.
    ServerLink& link(int index = 0) const { return *t.serverLinks().at(index); }
    HttpClient* http() const { return link().client(); }
    const MonitorSettings& settings() const { return link().settingsInForce(); }
    bool errorReported() const { return link().errorReported(); }

    // Texts of the entries after the header and separator, in menu order.
    static QStringList entryTexts(const QMenu& menu)
    {
        QStringList texts;
        const QList<QAction*> actions = menu.actions();
        for (int i = 2; i < actions.size(); ++i)
            texts << actions.at(i)->text();
        return texts;
    }

    void poll()
    {
        for (ServerLink* link : t.serverLinks())
            link->httpGetInfo();
    }
    void activate(QSystemTrayIcon::ActivationReason reason) { emit t.trayIconView().activated(reason); }
    void showConfig() { action("actionConfig")->trigger(); }
    void save() { widget<QAbstractButton>("btnSave")->click(); }
    // Opens the window, sets line edits' texts and buttons' check states by object name and saves, as
    // the user would; false when a name is unknown.
    bool saveInWindow(const QVariantMap& values)
    {
        showConfig();
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            if (auto* edit = widget<QLineEdit>(it.key().toLatin1().constData()))
                edit->setText(it.value().toString());
            else if (auto* button = widget<QAbstractButton>(it.key().toLatin1().constData()))
                button->setChecked(it.value().toBool());
            else
                return false;
        }
        save();
        return true;
    }

    // Adds a host to the window's host filter list and saves.
    void saveHostFilter(const QString& host)
    {
        showConfig();
        widget<QLineEdit>("edAddHost")->setText(host);
        widget<QAbstractButton>("btnAddHost")->click();
        save();
    }

private:
    Tarvix& t;
};
