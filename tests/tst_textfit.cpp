#include "app/about.h"
#include "notify/acknowledgedialog.h"
#include "notify/informationwindow.h"
#include "notify/popupplacement.h"
#include "ui_tarvix.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTest>
#include <QTranslator>

// Every visible text under root that the space its layout gave it cuts, horizontally or vertically.
static QStringList cutTexts(const QWidget* root)
{
    QStringList cut;
    const auto widgets = root->findChildren<QWidget*>();
    for (const QWidget* w : widgets) {
        const QFontMetrics metrics(w->font());
        const auto check = [&cut, w](const QString& text, QSize needed, QSize given) {
            if (needed.width() > given.width() || needed.height() > given.height())
                cut << QStringLiteral("%1 \"%2\" needs %3x%4, gets %5x%6")
                           .arg(w->objectName(), text)
                           .arg(needed.width())
                           .arg(needed.height())
                           .arg(given.width())
                           .arg(given.height());
        };
        const auto textSize = [&metrics](const QString& text, int padding = 0) {
            return QSize(metrics.horizontalAdvance(text) + padding, metrics.height());
        };
        if (!w->isVisibleTo(root))
            continue;
        if (const auto* label = qobject_cast<const QLabel*>(w)) {
            if (label->text().isEmpty())
                continue;
            if (label->textFormat() == Qt::RichText
                || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()))) {
                // A rich text's width is that of its laid-out document, which the label reports.
                check(label->objectName(), label->sizeHint(), label->size());
                continue;
            }
            const int m = label->margin();
            check(label->text(), metrics.size(0, label->text()),
                label->contentsRect().adjusted(m, m, -m, -m).size());
        } else if (qobject_cast<const QCheckBox*>(w) || qobject_cast<const QRadioButton*>(w)
            || qobject_cast<const QPushButton*>(w)) {
            const auto* button = static_cast<const QAbstractButton*>(w);
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            // The area beside the indicator, or inside the bevel, where the style draws the text.
            QStyle::SubElement element = QStyle::SE_PushButtonContents;
            if (!qobject_cast<const QPushButton*>(w)) {
                element = qobject_cast<const QCheckBox*>(w) ? QStyle::SE_CheckBoxContents
                                                            : QStyle::SE_RadioButtonContents;
                option.icon = button->icon();
                option.iconSize = button->iconSize();
            }
            check(button->text(), textSize(button->text()),
                button->style()->subElementRect(element, &option, button).size());
        } else if (const auto* box = qobject_cast<const QGroupBox*>(w)) {
            QStyleOptionGroupBox option;
            option.initFrom(box);
            option.text = box->title();
            option.lineWidth = 1;
            option.textAlignment = box->alignment();
            option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
            const QRect title
                = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
            // The style sizes the title by the text's ink, narrower than its advance for the blanks.
            check(box->title(), QSize(metrics.boundingRect(box->title()).width(), metrics.height()),
                title.intersected(box->rect()).size());
        } else if (const auto* bar = qobject_cast<const QTabBar*>(w)) {
            const int padding = bar->style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, bar);
            // A tab outside the bar is scrolled away; a narrower one is elided.
            for (int i = 0; i < bar->count(); ++i)
                check(bar->tabText(i), textSize(bar->tabText(i), padding),
                    bar->tabRect(i).intersected(bar->rect()).size());
        }
    }
    return cut;
}

// In neither language may a form cut a text it shows, at its specified size and with the program's style.
class TestTextFit : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { qDeleteAll(QApplication::topLevelWidgets()); }
    void textsFit_data();
    void textsFit();
};

void TestTextFit::textsFit_data()
{
    QTest::addColumn<bool>("russian");
    QTest::addColumn<QString>("form");
    QTest::addColumn<int>("variant"); // the configuration window's page, or the popup's kind
    QTest::addColumn<QString>("commands"); // on a popup: none, or the commands' state it shows
    QTest::addColumn<QSize>("size"); // empty: whatever the layout asks for

    const char* pages[] = {"General", "Host Filtering", "Filtering Service", "Statuses", "Misc"};
    for (const bool russian : {false, true}) {
        const char* language = russian ? "Russian" : "English";
        for (int tab = 0; tab < 5; ++tab)
            QTest::addRow("%s, configuration at minimum size, %s", language, pages[tab])
                << russian << QStringLiteral("config") << tab << QString() << QSize(470, 367);
        const QSize popup(280, 121);
        QTest::addRow("%s, popup host unreachable", language)
            << russian << QStringLiteral("popup") << 1 << QString() << popup;
        QTest::addRow("%s, popup service recovered", language)
            << russian << QStringLiteral("popup") << 2 << QString() << popup;
        for (const char* state : {"offered", "acknowledging", "rechecking", "acknowledged", "rechecked"})
            QTest::addRow("%s, popup service critical, commands %s", language, state)
                << russian << QStringLiteral("popup") << 3 << QString::fromLatin1(state) << popup;
        QTest::addRow("%s, popup host unreachable, commands offered", language)
            << russian << QStringLiteral("popup") << 1 << QStringLiteral("offered") << popup;
        QTest::addRow("%s, acknowledgement dialog", language)
            << russian << QStringLiteral("acknowledge") << 0 << QString() << QSize();
        QTest::addRow("%s, About", language)
            << russian << QStringLiteral("about") << 0 << QString() << QSize(298, 102);
    }
}

void TestTextFit::textsFit()
{
    QFETCH(bool, russian);
    QFETCH(QString, form);
    QFETCH(int, variant);
    QFETCH(QString, commands);
    QFETCH(QSize, size);

    // The program's Russian, as a Russian desktop gets it.
    QTranslator app;
    QTranslator qt;
    const auto uninstall = qScopeGuard([&app, &qt] {
        QCoreApplication::removeTranslator(&app);
        QCoreApplication::removeTranslator(&qt);
    });
    if (russian) {
        QVERIFY(app.load(QStringLiteral(":/translators/TarvixLang_ru"))
            && qt.load(QStringLiteral(":/translators/qt_ru")) && QCoreApplication::installTranslator(&app)
            && QCoreApplication::installTranslator(&qt));
    }

    QWidget* window = nullptr;
    Ui::TarvixClass ui;
    if (form == QLatin1String("config")) {
        window = new QWidget;
        ui.setupUi(window);
        QCOMPARE(ui.btnSave->text() == QLatin1String("Save"), !russian);
        window->resize(window->minimumSize());
        ui.tabConfig->setCurrentIndex(variant);
    } else if (form == QLatin1String("popup")) {
        // With an auto-close time, so its check box is in its enabled state.
        const QString name = variant < 2 ? QStringLiteral("web01") : QStringLiteral("HTTP:web01");
        auto* popup = new InformationWindow(nullptr, ChangeEventKind(variant),
            popupLinkText(
                QStringLiteral("http://nagios.example/cgi-bin/extinfo.cgi?type=1&host=web01"), name),
            variant < 2 ? QStringLiteral("UNREACHABLE") : QStringLiteral("CRITICAL"), 10, 100, 100, false);
        using Command = InformationWindow::Command;
        if (!commands.isEmpty())
            popup->offerCommands();
        if (commands == QLatin1String("acknowledging") || commands == QLatin1String("rechecking"))
            popup->showCommandRunning(
                commands == QLatin1String("acknowledging") ? Command::Acknowledge : Command::Recheck);
        else if (commands == QLatin1String("acknowledged") || commands == QLatin1String("rechecked"))
            popup->showCommandSubmitted(
                commands == QLatin1String("acknowledged") ? Command::Acknowledge : Command::Recheck);
        window = popup;
    } else if (form == QLatin1String("acknowledge")) {
        window = new AcknowledgeDialog(
            nullptr, QStringLiteral("HTTP Check:web01"), QStringLiteral("CRITICAL"), QString());
    } else {
        window = new About(nullptr);
    }
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    if (size.isValid())
        QCOMPARE(window->size(), size);
    const QStringList cut = cutTexts(window);
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1String("; "))));
}

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The program's own style decides the indicators' and frames' room.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    TestTextFit test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_textfit.moc"
