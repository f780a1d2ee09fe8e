#pragma once

// What screen readers are told about the program's own kinds of control.

#include "core/color_ref.h"

#include <QString>

class QWidget;

namespace kit {

/// Screen readers present `window` as an application window rather than a bare pane.
void PresentAsWindow(QWidget& window);

/// Screen readers present the GridLabel `cell` as a button for its whole life, pressable
/// while it takes the focus and unavailable while it does not (a blank day cell), so that
/// its role never changes under the reader. Call NotifyAvailability after a change.
void PresentAsControl(QWidget& cell);
/// Tells screen readers that `cell` (PresentAsControl's) became available or unavailable.
void NotifyAvailability(QWidget& cell);

/// Installs, once, the accessible views of the program's widgets: a GridLabel that takes
/// the focus is a button that can be pressed, and PresentAsWindow's windows are windows.
/// A GridLabel's accessible name, when set, stands for the first line of its text; the
/// other lines follow it.
void UseAccessibleViews();

/// A colour in words: its name when it has one ("white", "light blue"), otherwise the
/// nearest name and its hexadecimal value ("near blue, #1010F0").
[[nodiscard]] QString ColorInWords(ColorRef colour);

} // namespace kit
