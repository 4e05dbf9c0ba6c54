#include "app/about.h"
#include "notify/informationwindow.h"
#include "notify/popupplacement.h"
#include "ui_tarvix.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTest>
#include <QTranslator>

#include <functional>

namespace {

// The text as a button draws it: "&&" is a literal ampersand, a single "&" marks the mnemonic.
QString withoutMnemonic(const QString& text)
{
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        shown += text.at(i);
    }
    return shown;
}

QString describe(const QWidget* w, const QString& text, QSize needed, QSize given)
{
    return QStringLiteral("%1 \"%2\" needs %3x%4 px, gets %5x%6")
        .arg(w->objectName(), text)
        .arg(needed.width())
        .arg(needed.height())
        .arg(given.width())
        .arg(given.height());
}

// Every visible text under root that the space its layout gave it cuts, horizontally or vertically.
QStringList cutTexts(const QWidget* root)
{
    QStringList cut;
    const auto check = [&cut](const QWidget* w, const QString& text, QSize needed, QSize given) {
        if (needed.width() > given.width() || needed.height() > given.height())
            cut << describe(w, text, needed, given);
    };
    const auto widgets = root->findChildren<QWidget*>();
    for (const QWidget* w : widgets) {
        if (!w->isVisibleTo(root))
            continue;
        const QFontMetrics metrics(w->font());
        if (const auto* label = qobject_cast<const QLabel*>(w)) {
            if (label->text().isEmpty())
                continue;
            if (label->textFormat() == Qt::RichText
                || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()))) {
                // A rich text's width is that of its laid-out document, which the label reports.
                check(label, label->objectName(), label->sizeHint(), label->size());
                continue;
            }
            const QStringList lines = label->text().split(QLatin1Char('\n'));
            int width = 0;
            for (const QString& line : lines)
                width = qMax(width, metrics.horizontalAdvance(line));
            const QRect area = label->contentsRect().adjusted(
                label->margin(), label->margin(), -label->margin(), -label->margin());
            check(label, label->text(), QSize(width, metrics.height() * int(lines.size())), area.size());
        } else if (qobject_cast<const QCheckBox*>(w) || qobject_cast<const QRadioButton*>(w)) {
            const auto* button = static_cast<const QAbstractButton*>(w);
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            option.icon = button->icon();
            option.iconSize = button->iconSize();
            // The area beside the indicator where the style draws the text.
            const QRect area = button->style()->subElementRect(qobject_cast<const QCheckBox*>(w)
                    ? QStyle::SE_CheckBoxContents
                    : QStyle::SE_RadioButtonContents,
                &option, button);
            const QString shown = withoutMnemonic(button->text());
            check(button, shown, QSize(metrics.horizontalAdvance(shown), metrics.height()), area.size());
        } else if (const auto* push = qobject_cast<const QPushButton*>(w)) {
            QStyleOptionButton option;
            option.initFrom(push);
            option.text = push->text();
            const QRect area = push->style()->subElementRect(QStyle::SE_PushButtonContents, &option, push);
            const QString shown = withoutMnemonic(push->text());
            check(push, shown, QSize(metrics.horizontalAdvance(shown), metrics.height()), area.size());
        } else if (const auto* box = qobject_cast<const QGroupBox*>(w)) {
            QStyleOptionGroupBox option;
            option.initFrom(box);
            option.text = box->title();
            option.lineWidth = 1;
            option.textAlignment = box->alignment();
            option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
            const QRect title
                = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
            // The style sizes the title's place by the text's ink, which the blanks around it leave
            // narrower than its advance.
            const QRect shownPart = title.intersected(box->rect());
            check(box, box->title(), QSize(metrics.boundingRect(box->title()).width(), metrics.height()),
                shownPart.size());
        } else if (const auto* bar = qobject_cast<const QTabBar*>(w)) {
            const int padding = bar->style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, bar);
            for (int i = 0; i < bar->count(); ++i) {
                // A tab outside the bar is scrolled away; a narrower one is elided.
                const QRect shownPart = bar->tabRect(i).intersected(bar->rect());
                const QString shown = withoutMnemonic(bar->tabText(i));
                check(bar, shown, QSize(metrics.horizontalAdvance(shown) + padding, metrics.height()),
                    shownPart.size());
            }
        }
    }
    return cut;
}

// The program's Russian, as a Russian desktop gets it.
class Russian
{
public:
    bool install()
    {
        return m_app.load(QStringLiteral(":/translators/TarvixLang_ru"))
            && m_qt.load(QStringLiteral(":/translators/qt_ru")) && QCoreApplication::installTranslator(&m_app)
            && QCoreApplication::installTranslator(&m_qt);
    }
    ~Russian()
    {
        QCoreApplication::removeTranslator(&m_app);
        QCoreApplication::removeTranslator(&m_qt);
    }

private:
    QTranslator m_app;
    QTranslator m_qt;
};

void addLanguageRows(const std::function<void(const char* language, bool russian)>& addRows)
{
    addRows("English", false);
    addRows("Russian", true);
}

} // namespace

// The forms are laid out for the specified sizes; in neither language may a text they show be cut,
// with the fonts the program's style uses.
class TestTextFit : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void configurationWindowAtMinimumSize_data();
    void configurationWindowAtMinimumSize();
    void popup_data();
    void popup();
    void about_data();
    void about();
};

void TestTextFit::cleanup()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        delete window;
}

void TestTextFit::configurationWindowAtMinimumSize_data()
{
    QTest::addColumn<bool>("russian");
    QTest::addColumn<int>("tab");

    addLanguageRows([](const char* language, bool russian) {
        const char* pages[] = {"General", "Host Filtering", "Filtering Service", "Statuses", "Misc"};
        for (int tab = 0; tab < 5; ++tab)
            QTest::addRow("%s, %s", language, pages[tab]) << russian << tab;
    });
}

void TestTextFit::configurationWindowAtMinimumSize()
{
    QFETCH(bool, russian);
    QFETCH(int, tab);

    Russian translation;
    if (russian)
        QVERIFY(translation.install());
    QWidget window;
    Ui::TarvixClass ui;
    ui.setupUi(&window);
    QCOMPARE(ui.btnSave->text() == QLatin1String("Save"), !russian);

    window.resize(window.minimumSize());
    ui.tabConfig->setCurrentIndex(tab);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.size(), QSize(470, 367));

    const QStringList cut = cutTexts(&window);
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1String("; "))));
}

void TestTextFit::popup_data()
{
    QTest::addColumn<bool>("russian");
    QTest::addColumn<unsigned>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("status");

    addLanguageRows([](const char* language, bool russian) {
        QTest::addRow("%s, host recovered", language) << russian << 0u << "web01"
                                                      << "Host UP";
        QTest::addRow("%s, host unreachable", language) << russian << 1u << "web01"
                                                        << "UNREACHABLE";
        QTest::addRow("%s, service recovered", language) << russian << 2u << "HTTP:web01"
                                                         << "Service Up";
        QTest::addRow("%s, service critical", language) << russian << 3u << "HTTP:web01"
                                                        << "CRITICAL";
    });
}

void TestTextFit::popup()
{
    QFETCH(bool, russian);
    QFETCH(unsigned, kind);
    QFETCH(QString, name);
    QFETCH(QString, status);

    Russian translation;
    if (russian)
        QVERIFY(translation.install());
    // With an auto-close time, so its check box is in its enabled state.
    auto* popup = new InformationWindow(nullptr, kind,
        popupLinkText(QStringLiteral("http://nagios.example/cgi-bin/extinfo.cgi?type=1&host=web01"), name),
        status, 10, 100, 100, false);
    QVERIFY(QTest::qWaitForWindowExposed(popup));
    QCOMPARE(popup->size(), QSize(280, 121));

    const QStringList cut = cutTexts(popup);
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1String("; "))));
}

void TestTextFit::about_data()
{
    QTest::addColumn<bool>("russian");
    addLanguageRows([](const char* language, bool russian) { QTest::newRow(language) << russian; });
}

void TestTextFit::about()
{
    QFETCH(bool, russian);

    Russian translation;
    if (russian)
        QVERIFY(translation.install());
    auto* about = new About(nullptr);
    about->show();
    QVERIFY(QTest::qWaitForWindowExposed(about));
    QCOMPARE(about->size(), QSize(298, 102));

    const QStringList cut = cutTexts(about);
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
