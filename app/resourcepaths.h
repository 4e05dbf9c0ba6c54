#pragma once

#include <QString>

namespace ResourcePaths {

inline const QString normalIcon = QStringLiteral(":/icons/icon16x16.png");
inline const QString problemIcon = QStringLiteral(":/icons/icon16x16-problem.png");
inline const QString hostUpIcon1 = QStringLiteral(":/icons/icon16x16-host-up-1.png");
inline const QString hostUpIcon2 = QStringLiteral(":/icons/icon16x16-host-up-2.png");
inline const QString hostDownIcon1 = QStringLiteral(":/icons/icon16x16-host-down-1.png");
inline const QString hostDownIcon2 = QStringLiteral(":/icons/icon16x16-host-down-2.png");
// The problems window's flags (resources/icons/make-flag-icons.py).
inline const QString acknowledgedIcon = QStringLiteral(":/icons/flag-acknowledged.png");
inline const QString downtimeIcon = QStringLiteral(":/icons/flag-downtime.png");
inline const QString softStateIcon = QStringLiteral(":/icons/flag-soft.png");
inline const QString flappingIcon = QStringLiteral(":/icons/flag-flapping.png");
inline const QString notificationsOffIcon = QStringLiteral(":/icons/flag-notifications-off.png");

inline const QString soundsPrefix = QStringLiteral(":/sounds/");
inline const QString hostDownSound = QStringLiteral("HostDown.wav");
inline const QString hostUpSound = QStringLiteral("HostUp.wav");

inline const QString translatorsPrefix = QStringLiteral(":/translators/");
inline const QString appTranslationPrefix = QStringLiteral("TarvixLang_");
inline const QString qtTranslationPrefix = QStringLiteral("qt_");

} // namespace ResourcePaths
