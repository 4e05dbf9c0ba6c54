#pragma once

#include "config/configtab.h"
#include "config/settingstable.h"

#include <QString>

#include <optional>

// The first reason why the window's values do not make a usable configuration: the message, the
// tab that shows the problem and the object name of the widget to focus.
struct ConfigProblem
{
    QString message;
    ConfigTab tab = GeneralTab;
    QString focusWidget;
};

struct ConfigCheck
{
    // An empty port is not a problem: the user is told and the protocol's default port is used.
    bool portMissing = false;
    QString defaultPort;
    std::optional<ConfigProblem> problem;
};

// The checks in the order the user meets them; what follows the first problem is not examined.
// Messages are translated in the main window's context.
ConfigCheck checkConfiguration(const StoredSettings& form, bool sslSupported);
