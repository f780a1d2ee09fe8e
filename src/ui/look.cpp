#include "look.h"

#include <QWidget>

QIcon ProgramIcon()
{
    // The icon lives in this static library's resources, which are only linked in when asked for.
    Q_INIT_RESOURCE(quillmoor);
    return QIcon(QStringLiteral(":/quillmoor.svg"));
}

void PrepareDialog(QWidget& dialog)
{
    dialog.setWindowIcon(ProgramIcon());
}
