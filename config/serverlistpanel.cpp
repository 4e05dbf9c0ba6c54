#include "config/serverlistpanel.h"

#include "ui_tarvix.h"

#include <QScopedValueRollback>
#include <QSettings>

ServerListPanel::ServerListPanel(Ui::TarvixClass& form, std::function<StoredSettings()> readWindow,
    std::function<void(const StoredSettings&)> fillWindow, QObject* parent)
    : QObject(parent), ui(form), m_readWindow(std::move(readWindow)), m_fillWindow(std::move(fillWindow))
{
    connect(ui.listServers, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!m_updating && row >= 0 && row != m_edit.current())
            select(row);
    });
    connect(ui.listServers, &QListWidget::itemChanged, this, &ServerListPanel::itemChanged);
    connect(ui.btnAddServer, &QPushButton::clicked, this, [this] {
        commitWindow();
        m_edit.add();
        showCurrent();
        ui.edServerAddress->setFocus(Qt::OtherFocusReason);
    });
    connect(ui.btnDuplicateServer, &QPushButton::clicked, this, [this] {
        commitWindow();
        m_edit.duplicate(m_edit.current());
        showCurrent();
    });
    connect(ui.btnRemoveServer, &QPushButton::clicked, this, [this] {
        if (m_edit.remove(m_edit.current()))
            showCurrent();
    });
    connect(ui.btnRenameServer, &QPushButton::clicked, this,
        [this] { ui.listServers->editItem(ui.listServers->item(m_edit.current())); });
    for (const auto& [button, delta] : {std::pair {ui.btnServerUp, -1}, std::pair {ui.btnServerDown, 1}}) {
        connect(button, &QPushButton::clicked, this, [this, delta = delta] {
            if (m_edit.move(m_edit.current(), delta))
                updateItems();
        });
    }
}

void ServerListPanel::load(const QSettings& store, const QString& id)
{
    m_edit.load(store);
    m_edit.setCurrent(qMax(0, m_edit.indexOf(id)));
    updateItems();
}

void ServerListPanel::commitWindow()
{
    m_edit.takeFromWindow(m_readWindow());
}

void ServerListPanel::select(int index)
{
    if (index == m_edit.current())
        return;
    commitWindow();
    m_edit.setCurrent(index);
    showCurrent();
}

void ServerListPanel::showCurrent()
{
    m_fillWindow(m_edit.forWindow(m_edit.current(), m_readWindow()));
    updateItems();
}

// Each server a line: its name, editable, and a box that switches it on or off.
void ServerListPanel::updateItems()
{
    const QScopedValueRollback<bool> updating(m_updating, true);
    ui.listServers->clear();
    for (int i = 0; i < m_edit.count(); ++i) {
        auto* item = new QListWidgetItem(m_edit.displayName(i), ui.listServers);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsEditable);
        item->setCheckState(
            m_edit.at(i).values.flag(SettingKey::ServerEnabled) ? Qt::Checked : Qt::Unchecked);
    }
    ui.listServers->setCurrentRow(m_edit.current());
    updateButtons();
}

void ServerListPanel::updateButtons()
{
    ui.btnRemoveServer->setEnabled(m_edit.count() > 1);
    ui.btnServerUp->setEnabled(m_edit.current() > 0);
    ui.btnServerDown->setEnabled(m_edit.current() < m_edit.count() - 1);
}

void ServerListPanel::itemChanged(QListWidgetItem* item)
{
    if (m_updating)
        return;
    const int index = ui.listServers->row(item);
    if (index < 0)
        return;
    m_edit.setEnabled(index, item->checkState() == Qt::Checked);
    if (item->text() != m_edit.displayName(index)) {
        m_edit.rename(index, item->text());
        const QScopedValueRollback<bool> updating(m_updating, true);
        item->setText(m_edit.displayName(index));
    }
}
