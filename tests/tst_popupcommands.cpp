#include "notify/acknowledgedialog.h"
#include "realnagiosbed.h"
#include "tarvixharness.h"

#include <QDateTime>

// The real main object polls the real Nagios of scripts/real-nagios, and its problem popups send
// their commands there: what Nagios then holds is read back from statusjson.cgi.
class TestPopupCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void acknowledgeFromThePopup();
    void recheckFromThePopup();
    void refusalShowsInThePopup();
    void popupClosedWhileItsCommandRuns();

private:
    // The open popup whose link shows this name.
    QWidget* popupFor(const QString& name, bool recovery = false) const;
    static QString stateOf(QWidget* popup);
    static QPushButton* button(QWidget* popup, const char* name);
    // Clicks "Acknowledge…" and OK in the dialog, with this comment.
    void acknowledge(QWidget* popup, const QString& comment);

    RealNagiosBed m_bed;
    std::unique_ptr<TarvixRun> m_run;
    BalloonWatcher m_balloons;
};

void TestPopupCommands::initTestCase()
{
    REQUIRE_SYSTEM_TRAY();
    REQUIRE_REAL_NAGIOS(m_bed);
    // From a clean slate: a recovery also ends an acknowledgement of an earlier run.
    QVERIFY(m_bed.runScript({"reset"}));
    QVERIFY(m_bed.runScript({"set", "service", "web01", "HTTP Check", "CRITICAL", "HTTP CRITICAL - 503"}));
    QVERIFY(m_bed.runScript({"set", "service", "db01", "Disk: /var", "WARNING"}));
    QVERIFY(m_bed.runScript(
        {"set", QStringLiteral("host"), QStringLiteral("lab printer"), QStringLiteral("DOWN")}));

    // The longest period: whatever shows sooner came from a poll the program made at once.
    m_run = std::make_unique<TarvixRun>();
    QVariantMap settings = m_bed.serverSettings();
    settings.insert(QStringLiteral("UseTrayMessages"), false);
    QVERIFY(m_run->start(settings));
    QTRY_VERIFY_WITH_TIMEOUT(harness::popups().size() == 3, 30000);
}

void TestPopupCommands::cleanupTestCase()
{
    m_run.reset();
}

QWidget* TestPopupCommands::popupFor(const QString& name, bool recovery) const
{
    for (QWidget* popup : harness::popups()) {
        if (harness::popupName(popup) == name.toHtmlEscaped() && harness::isRecoveryPopup(popup) == recovery)
            return popup;
    }
    return nullptr;
}

QString TestPopupCommands::stateOf(QWidget* popup)
{
    return popup->findChild<QLabel*>(QStringLiteral("lbCommandState"))->toolTip();
}

QPushButton* TestPopupCommands::button(QWidget* popup, const char* name)
{
    return popup->findChild<QPushButton*>(QLatin1String(name));
}

void TestPopupCommands::acknowledge(QWidget* popup, const QString& comment)
{
    button(popup, "btnAcknowledge")->click();
    AcknowledgeDialog* dialog = nullptr;
    QTRY_VERIFY((dialog = harness::shownDialog<AcknowledgeDialog>()) != nullptr);
    QVERIFY(!button(popup, "btnAcknowledge")->isEnabled());
    harness::confirmDialog(dialog, comment);
}

// Sticky, as the dialog offers it. Nagios reads its command pipe on its own time. The row then
// leaves the default services list, which a poll made within seconds announces as a recovery,
// with a popup as before.
void TestPopupCommands::acknowledgeFromThePopup()
{
    const QString web01 = QStringLiteral("web01");
    const QString http = QStringLiteral("HTTP Check");
    QWidget* popup = popupFor(QStringLiteral("HTTP Check:web01"));
    QVERIFY(popup);
    const QString comment = QStringLiteral("Looking into it (%1)").arg(QDateTime::currentMSecsSinceEpoch());
    acknowledge(popup, comment);
    QTRY_COMPARE_WITH_TIMEOUT(stateOf(popup), QStringLiteral("Acknowledged"), 30000);
    QVERIFY(!button(popup, "btnAcknowledge")->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(m_bed.field(web01, http, "problem_has_been_acknowledged").toBool(), 30000);
    QCOMPARE(m_bed.field(web01, http, "acknowledgement_type").toInt(), 2);
    QCOMPARE(m_run->profile.storedValue(QStringLiteral("AcknowledgeComment")).toString(), comment);

    QWidget* recovery = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT(
        (recovery = popupFor(QStringLiteral("HTTP Check:web01"), true)) != nullptr, 30000);
    QVERIFY(!button(recovery, "btnAcknowledge"));
    QVERIFY(!recovery->findChild<QLabel*>(QStringLiteral("lbCommandState")));
}

// A forced check is an active one; the test bed's checks are otherwise all passive.
void TestPopupCommands::recheckFromThePopup()
{
    const QString printer = QStringLiteral("lab printer");
    const double before = m_bed.field(printer, {}, "last_check").toDouble();
    QVERIFY(before > 0);
    QWidget* popup = popupFor(printer);
    QVERIFY(popup);
    button(popup, "btnRecheck")->click();
    QTRY_COMPARE_WITH_TIMEOUT(stateOf(popup), QStringLiteral("Recheck requested"), 30000);
    QVERIFY(button(popup, "btnAcknowledge")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(m_bed.field(printer, {}, "check_type").toInt() == 0, 30000);
    QVERIFY(m_bed.field(printer, {}, "last_check").toDouble() >= before);
}

// A user who may only look: Nagios' own sentence in the popup and a balloon, the buttons again,
// and Nagios unchanged.
void TestPopupCommands::refusalShowsInThePopup()
{
    QVERIFY(m_run->access->saveInWindow({{"edLogin", m_bed.env("TARVIX_REAL_NAGIOS_VIEWER")},
        {"edPassword", m_bed.env("TARVIX_REAL_NAGIOS_VIEWER_PASSWORD")}}));
    QWidget* popup = popupFor(QStringLiteral("Disk: /var:db01"));
    QVERIFY(popup);
    m_balloons.balloons.clear();
    acknowledge(popup, QStringLiteral("Not allowed"));
    const QString refusal
        = QStringLiteral("Sorry, but you are not authorized to commit the specified command.");
    QTRY_COMPARE_WITH_TIMEOUT(stateOf(popup), refusal, 30000);
    QVERIFY(button(popup, "btnAcknowledge")->isEnabled());
    QTRY_VERIFY(!m_balloons.balloons.isEmpty());
    QVERIFY2(
        m_balloons.balloons.last().message.contains(refusal), qPrintable(m_balloons.balloons.last().message));
    QVERIFY(
        !m_bed.field(QStringLiteral("db01"), QStringLiteral("Disk: /var"), "problem_has_been_acknowledged")
             .toBool());
}

// The command belongs to the main object: it goes on, and nothing is told of it.
void TestPopupCommands::popupClosedWhileItsCommandRuns()
{
    QVERIFY(m_run->access->saveInWindow({{"edLogin", m_bed.env("TARVIX_REAL_NAGIOS_USER")},
        {"edPassword", m_bed.env("TARVIX_REAL_NAGIOS_PASSWORD")}}));
    QPointer<QWidget> popup = popupFor(QStringLiteral("Disk: /var:db01"));
    QVERIFY(popup);
    button(popup, "btnRecheck")->click();
    popup->close();
    QTRY_VERIFY(popup.isNull());
    QTRY_VERIFY_WITH_TIMEOUT(
        m_bed.field(QStringLiteral("db01"), QStringLiteral("Disk: /var"), "check_type").toInt() == 0, 30000);
}

QTEST_MAIN(TestPopupCommands)
#include "tst_popupcommands.moc"
