#pragma once

#include <QString>

// Shown in the About window; the release stage is part of the version text.
inline const QString tarvixVersion = QStringLiteral("0.9.0.0 (Beta)");
inline const QString tarvixReleaseDate = QStringLiteral("06.12.2026");
