#pragma once

#include "config/serverlistedit.h"

#include <QObject>

#include <functional>

namespace Ui {
class TarvixClass;
} // namespace Ui
class QListWidgetItem;
class QSettings;

// The server list on the configuration window's "General" page: add, duplicate, rename, remove,
// switch on or off and reorder servers. The pages show the selected server; choosing another one
// keeps what was typed for the first and shows the second.
class ServerListPanel : public QObject
{
    Q_OBJECT

public:
    // `readWindow` gives what the pages hold, `fillWindow` shows a server's values on them.
    ServerListPanel(Ui::TarvixClass& ui, std::function<StoredSettings()> readWindow,
        std::function<void(const StoredSettings&)> fillWindow, QObject* parent = nullptr);

    // Reads every server of the store and shows the one with `id` (the first when there is none).
    void load(const QSettings& store, const QString& id = {});
    // Shows another server, keeping the window's values for the current one.
    void select(int index);
    // Takes what the pages hold into the current server.
    void commitWindow();

    ServerListEdit& servers() { return m_edit; }
    const ServerListEdit& servers() const { return m_edit; }

private:
    void showCurrent();
    void updateItems();
    void updateButtons();
    void itemChanged(QListWidgetItem* item);

    Ui::TarvixClass& ui;
    std::function<StoredSettings()> m_readWindow;
    std::function<void(const StoredSettings&)> m_fillWindow;
    ServerListEdit m_edit;
    bool m_updating = false;
};
