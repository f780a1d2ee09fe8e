#pragma once

#include "calendar/month_grid.h"
#include "core/services.h"
#include "ui/window_kit.h"

#include <optional>

class QComboBox;
class QLineEdit;

/// Form7, "Jump To": choose any month and year to show. "OK" hands the choice back;
/// a year that is not a number from 100 to 9999 is refused and the dialog stays open.
class Form7 : public kit::FormDialog
{
    Q_OBJECT

public:
    Form7(AppServices& services, ViewedMonth shown, QWidget* parent = nullptr);
    ~Form7() override;

    void Form_Load() override;
    /// The month and year "OK" accepted; empty after "Cancel" or the close box.
    [[nodiscard]] std::optional<ViewedMonth> chosen() const { return m_chosen; }

    void PushButton1_Click(); ///< "OK"
    void PushButton2_Click(); ///< "Cancel"

private:
    void refuse(const QString& message);

    AppServices& m_services;
    ViewedMonth m_shown;
    std::optional<ViewedMonth> m_chosen;
    QComboBox* Combo1 = nullptr;
    QLineEdit* Text1 = nullptr;
};

/// The year typed into "Jump To", read as a number in the user's locale (sign, digits,
/// decimal separator and fraction, exponent; blanks around) and rounded half to even.
/// An infinity for one too large for a double (a thousand digits); empty for anything that
/// is not such a number.
[[nodiscard]] std::optional<double> YearTyped(const QString& text);
