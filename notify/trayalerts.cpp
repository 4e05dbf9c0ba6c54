#include "app/tarvix.h"

#include "app/resourcepaths.h"
#include "notify/informationwindow.h"
#include "notify/popupplacement.h"
#include "notify/soundplayer.h"

#include <QDesktopServices>
#include <QPointer>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QScreen>
#include <QUrl>

#include <utility>

Q_LOGGING_CATEGORY(lcNotify, "tarvix.notify", QtWarningMsg)

namespace {

// Each flashing shows the first image, switches eleven times and ends on the plain icon.
constexpr int flashTicks = 12;
constexpr int flashIntervalMs = 400;

} // namespace

void Tarvix::notifyStatusChange(
    const QString& name, ChangeEventKind kind, const QString& url, const QString& status)
{
    Announcement change;
    change.name = name;
    change.kind = kind;
    change.url = url;
    change.status = status;
    setObjectFromUrl(change);
    showStatusChange(change);
    playStatusSound(kind);
}

// A walk's changes in the order it found them. A flood is summarised and makes one sound per kind;
// the icon flashes once, with the pair of the last change, as if each change had restarted it.
void Tarvix::announceChanges(const QList<Announcement>& changes, bool showMessages, const QString& listUrl,
    const QString& serverPrefix)
{
    if (changes.isEmpty())
        return;
    if (showMessages) {
        bool sounded[2] = {false, false};
        for (const Announcement& change : limitAnnouncements(changes, maxAnnouncementsPerKind)) {
            if (change.summarised == 0) {
                showStatusChange(change);
            } else {
                Announcement summary = change;
                summary.name = serverPrefix + summaryText(change);
                summary.url = listUrl;
                showStatusChange(summary);
            }
            if (!std::exchange(sounded[isProblem(change.kind)], true))
                playStatusSound(change.kind);
        }
    }
    if (settings.flashesInTray)
        startTrayFlashing(!isProblem(changes.last().kind));
}

QString Tarvix::summaryText(const Announcement& summary) const
{
    return isProblem(summary.kind) ? tr("… and %n more problems", nullptr, summary.summarised)
                                   : tr("… and %n more recoveries", nullptr, summary.summarised);
}

void Tarvix::showStatusChange(const Announcement& change)
{
    qCInfo(lcNotify).noquote() << "announce kind" << change.kind << "name" << change.name << "status"
                               << change.status << "url" << change.url;
    if (settings.useTrayMessages) {
        showStatusBalloon(change.name, change.kind, change.url, change.status);
        return;
    }
    placeNextPopup();
    // However many changes come, the desktop stays usable: the oldest popup gives way.
    openPopups.removeIf([](const QPointer<InformationWindow>& popup) { return popup.isNull(); });
    while (openPopups.size() >= maxOpenPopups)
        openPopups.takeFirst()->close();
    auto* popup = new InformationWindow(nullptr, change.kind, popupLinkText(change.url, change.name),
        change.status, settings.autoCloseTime, popupPosX, popupPosY, settings.popupsStayOnTop);
    popup->showDetails(
        change.details.output, problemDuration(change.details.lastStateChange, QDateTime::currentDateTime()));
    connect(this, &Tarvix::closeAllInformWin, popup, &QWidget::close);
    openPopups.append(popup);
    if (offersCommands(change))
        offerPopupCommands(popup, change);
}

void Tarvix::placeNextPopup()
{
    const QRect screenRect = screen()->geometry();
    const QPoint next = nextPopupPosition(QPoint(popupPosX, popupPosY), screenRect.size());
    popupPosX = next.x();
    popupPosY = next.y();
}

void Tarvix::showStatusBalloon(
    const QString& name, ChangeEventKind kind, const QString& url, const QString& status)
{
    lastMessageUrl = url;
    const QString title = tr("Change status of ") + (isHostEvent(kind) ? tr("host") : tr("service"));
    const QString body = tr("Name: ") + name + QLatin1Char('\n') + tr("Status: ") + status;
    trayIcon.showMessage(
        title, body, isProblem(kind) ? QSystemTrayIcon::Critical : QSystemTrayIcon::Information, balloonMs);
}

void Tarvix::playStatusSound(ChangeEventKind kind)
{
    if (settings.disableSounds || !soundPlayer || dataDir.path().isEmpty())
        return;
    // Intended, though the names suggest otherwise: a new problem plays "HostUp.wav" and a recovery
    // "HostDown.wav". Users know the sounds by what they announce, and their own replacement files
    // carry these names.
    const QString& file = isProblem(kind) ? ResourcePaths::hostUpSound : ResourcePaths::hostDownSound;
    soundPlayer->play(dataDir.path() + QLatin1Char('/') + file);
}

void Tarvix::startTrayFlashing(bool up)
{
    qCInfo(lcNotify) << "flash" << (up ? "up" : "down");
    flashTicksLeft = flashTicks;
    if (flashTimer.isActive())
        flashTimer.stop();
    flashUp = up;
    flashIconPath = up ? ResourcePaths::hostUpIcon1 : ResourcePaths::hostDownIcon1;
    trayIcon.setIcon(QIcon(flashIconPath));
    flashTimer.start(flashIntervalMs);
}

void Tarvix::trayFlashed()
{
    if (--flashTicksLeft <= 0) {
        flashTimer.stop();
        // With several servers the icon must not hide that one of them fails.
        trayIcon.setIcon(QIcon(
            severalServers() && anyServerFailing() ? ResourcePaths::problemIcon : ResourcePaths::normalIcon));
        return;
    }
    if (flashIconPath.isEmpty())
        return;
    if (flashUp)
        flashIconPath = flashIconPath == ResourcePaths::hostUpIcon1 ? ResourcePaths::hostUpIcon2
                                                                    : ResourcePaths::hostUpIcon1;
    else
        flashIconPath = flashIconPath == ResourcePaths::hostDownIcon1 ? ResourcePaths::hostDownIcon2
                                                                      : ResourcePaths::hostDownIcon1;
    trayIcon.setIcon(QIcon(flashIconPath));
}

void Tarvix::trayMessageClicked()
{
    if (!settings.openUrlFromTray)
        return;
    static const QRegularExpression webAddress(QStringLiteral("^https?://"));
    if (webAddress.match(lastMessageUrl).hasMatch())
        QDesktopServices::openUrl(QUrl(lastMessageUrl));
}
