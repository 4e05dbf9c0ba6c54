#pragma once

#include <QWidget>

#include <memory>

class QCloseEvent;

namespace Ui {
class AboutClass;
} // namespace Ui

// The About window: not modal, any number may be open, each frees itself when closed.
class About : public QWidget
{
    Q_OBJECT

public:
    explicit About(QWidget* parent);
    ~About() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<Ui::AboutClass> m_ui;
};
