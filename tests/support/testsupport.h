#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <QVariantMap>

#include <functional>
#include <memory>

// A home and a configuration folder of the test's own, so settings files and the data directory
// are real files that no other test and no user sees.
class TemporaryProfile
{
public:
    TemporaryProfile();
    ~TemporaryProfile();

    QString home() const { return m_dir.path() + QStringLiteral("/home"); }
    QString configHome() const { return m_dir.path() + QStringLiteral("/config"); }
    QString settingsFile() const { return configHome() + QStringLiteral("/Kelmora/Tarvix.conf"); }
    QString dataDir() const { return home() + QStringLiteral("/.Kelmora/Tarvix"); }

    // Writes keys into the settings file in the native store's own format.
    void writeSettings(const QVariantMap& values) const;
    QVariant storedValue(const QString& key) const;

private:
    QTemporaryDir m_dir;
    QByteArray m_oldHome;
    QByteArray m_oldConfigHome;
};

// Answers modal message boxes as they appear, in order, and records what they said. A box that
// was expected but never shown fails the test instead of hanging it.
class DialogAnswerer : public QObject
{
    Q_OBJECT

public:
    struct Seen
    {
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
    };

    explicit DialogAnswerer(QObject* parent = nullptr);
    ~DialogAnswerer() override;

    // Queue the button that answers the next box.
    void answer(QMessageBox::StandardButton button);
    // Answer every further box with this button (NoButton: leave them to the queue only).
    void answerAllWith(QMessageBox::StandardButton button);

    const QList<Seen>& seen() const { return m_seen; }
    QStringList texts() const;
    void clear();

private:
    void poll();

    QList<QMessageBox::StandardButton> m_answers;
    QMessageBox::StandardButton m_default = QMessageBox::NoButton;
    QList<Seen> m_seen;
    QList<QPointer<QMessageBox>> m_answered;
    int m_timerId = 0;

protected:
    void timerEvent(QTimerEvent* event) override;
};

// Catches what the program would open in the browser.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    UrlCatcher();
    ~UrlCatcher() override;
    QList<QUrl> urls;

public slots:
    void openUrl(const QUrl& url);
};

// Tray tests need a real system tray; CI demands one, elsewhere they are skipped.
bool haveSystemTray(QString* whyNot);
#define REQUIRE_SYSTEM_TRAY()                                                                                \
    do {                                                                                                     \
        QString whyNot;                                                                                      \
        if (!haveSystemTray(&whyNot)) {                                                                      \
            if (qEnvironmentVariable("TARVIX_REQUIRE_TRAY") == QLatin1String("true"))                        \
                QFAIL(qPrintable(whyNot));                                                                   \
            QSKIP(qPrintable(whyNot));                                                                       \
        }                                                                                                    \
    } while (false)
