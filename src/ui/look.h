#pragma once

#include <QIcon>

class QWidget;

/// The program's icon, shown by every window.
[[nodiscard]] QIcon ProgramIcon();

/// The preparation every dialog runs first when it loads: the common look of the
/// program's windows.
void PrepareDialog(QWidget& dialog);
