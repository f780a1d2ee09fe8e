#include "error_report.h"

#include "prompts.h"

namespace {
// Build stamp that every procedure tag starts with; support staff search their notes by it.
const QString kTagPrefix = QStringLiteral("Quillmoor2021/08/31.");
} // namespace

QString ErrorReportText(const QString& description, const QString& procedure, int line)
{
    return description + QStringLiteral("\r\n") + QStringLiteral("in ") + kTagPrefix + procedure + u' ' +
           QStringLiteral("at line ") + QString::number(line) + QStringLiteral("\r\r") +
           QStringLiteral("Please email screenshot of this message to ") + QLatin1String(kSupportAddress);
}

void ShowErrorReport(Prompts& prompts, const QString& description, const QString& procedure, int line)
{
    prompts.message(ErrorReportText(description, procedure, line), QStringLiteral("Application Error"),
                    Prompts::Buttons::Ok, Prompts::Icon::Warning);
}

void ErrorTrap::report(const QString& description, int line)
{
    ShowErrorReport(m_prompts, description, m_procedure, line);
}
