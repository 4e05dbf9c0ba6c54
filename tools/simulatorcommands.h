#pragma once

#include "tools/nagiossimulator.h"

#include <QString>

// The state words of the control commands and scenario files, in any case: UP, DOWN, UNREACHABLE,
// PENDING for hosts; OK, WARNING, CRITICAL, UNKNOWN, PENDING for services.
bool parseHostState(const QString& text, NagiosSimulator::HostState* state);
bool parseServiceState(const QString& text, NagiosSimulator::ServiceState* state);
