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

// Answers modal message boxes as they appear with one button and records what they said; with
// NoButton it leaves them open until a button is set.
class DialogAnswerer : public QObject
{
public:
    struct Seen
    {
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
    };

    explicit DialogAnswerer(QMessageBox::StandardButton answer = QMessageBox::NoButton);
    void answerAllWith(QMessageBox::StandardButton answer) { m_answer = answer; }
    QStringList texts() const;

    QList<Seen> seen;

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    QMessageBox::StandardButton m_answer;
    QList<QPointer<QMessageBox>> m_answered;
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
    void openUrl(const QUrl& url) { urls.append(url); }
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
