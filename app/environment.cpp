#include "app/tarvix.h"

#include "app/resourcepaths.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>

void Tarvix::prepareEnvironment()
{
    dataDir.setPath(QDir::homePath() + QLatin1Char('/') + QLatin1Char('.') + settingsOrganization
        + QLatin1Char('/') + settingsApplication);
    if (!dataDir.exists() && !dataDir.mkpath(QStringLiteral("."))) {
        // Never the shared temporary directory itself: anybody could have put a sound or a translation
        // there. A directory of this run's own, which only we can write, is deleted at exit.
        privateDataDir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/Tarvix-XXXXXX"));
        dataDir.setPath(privateDataDir->isValid() ? privateDataDir->path() : QString());
    }

    loadTranslations(!settings.disableLocalization);

    // A user's replacement sound is never overwritten.
    for (const QString& sound : {ResourcePaths::hostDownSound, ResourcePaths::hostUpSound}) {
        if (dataDir.path().isEmpty())
            break;
        const QString target = dataDir.path() + QLatin1Char('/') + sound;
        if (!QFile::exists(target) && QFile::copy(ResourcePaths::soundsPrefix + sound, target))
            QFile::setPermissions(
                target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
}

// A translation in the data directory takes precedence over the embedded one.
void Tarvix::loadTranslations(bool enable)
{
    const QString locale = QLocale::system().name();
    const bool haveDataDir = !dataDir.path().isEmpty();
    const QString userDir = dataDir.path() + QLatin1Char('/');
    if (!haveDataDir || !appTranslator.load(userDir + ResourcePaths::appTranslationPrefix + locale))
        (void)appTranslator.load(
            ResourcePaths::translatorsPrefix + ResourcePaths::appTranslationPrefix + locale);
    if (!haveDataDir || !qtTranslator.load(userDir + ResourcePaths::qtTranslationPrefix + locale))
        (void)qtTranslator.load(
            ResourcePaths::translatorsPrefix + ResourcePaths::qtTranslationPrefix + locale);

    if (enable) {
        QCoreApplication::installTranslator(&appTranslator);
        QCoreApplication::installTranslator(&qtTranslator);
    } else {
        QCoreApplication::removeTranslator(&appTranslator);
        QCoreApplication::removeTranslator(&qtTranslator);
    }
}
