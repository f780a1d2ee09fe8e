#pragma once

#include <QString>

#include <exception>
#include <utility>

class Prompts;

/// The address the error report asks the user to send a screenshot to.
inline constexpr char kSupportAddress[] = "support@quendrix.example";

/// The text of the standard error report for a failure at statement `line` of
/// `procedure` ("Form1.Form_Load"): description, CR LF, "in <tag> at line <n>",
/// CR, CR, and the request for a screenshot.
[[nodiscard]] QString ErrorReportText(const QString& description, const QString& procedure, int line);

/// Shows the standard error report ("Application Error", warning icon, OK only).
void ShowErrorReport(Prompts& prompts, const QString& description, const QString& procedure, int line);

/// Runs the numbered statements of one procedure. A statement that fails is
/// reported with the procedure's tag and the statement's number, and the
/// procedure goes on with its next statement: nothing a statement throws ends
/// the procedure or the program.
///
///     ErrorTrap trap(prompts, "Form1.Form_Load");
///     trap(100, [&] { ... });
///     trap(102, [&] { ... });
class ErrorTrap
{
public:
    ErrorTrap(Prompts& prompts, QString procedure) : m_prompts(prompts), m_procedure(std::move(procedure)) {}

    /// Runs `statement`; returns false when it failed (and was reported).
    template <typename Statement> bool operator()(int line, Statement&& statement)
    {
        try {
            std::forward<Statement>(statement)();
            return true;
        } catch (const std::exception& failure) {
            report(QString::fromUtf8(failure.what()), line);
        } catch (...) {
            report(QStringLiteral("Unknown failure"), line);
        }
        return false;
    }

private:
    void report(const QString& description, int line);

    Prompts& m_prompts;
    QString m_procedure;
};
