#pragma once

#include "config/settingstable.h"

namespace Ui {
class TarvixClass;
} // namespace Ui

// The configuration window's widgets bound to the stored keys: the one place where values go into
// the window and come back out of it. Filling sets check boxes and radio buttons with setChecked, so
// the window's toggled connections run as the user's clicks would, in the order the window is
// filled; the enabled states that follow from the values are set last.
void fillConfigForm(Ui::TarvixClass& ui, const StoredSettings& values);

// What the window holds now, as it would be stored: only the port of the protocol chosen, capture
// positions as numbers (an empty field is 0).
StoredSettings readConfigForm(const Ui::TarvixClass& ui);
