#pragma once

#include "core/services.h"
#include "ui/window_kit.h"

class QCheckBox;
class QRadioButton;

/// Form5, "Startup Options": whether to offer quitting when nothing falls on today,
/// and what to do with passed events. Every click is stored at once; there is no OK.
class Form5 : public kit::FormDialog
{
    Q_OBJECT

public:
    explicit Form5(AppServices& services, QWidget* parent = nullptr);
    ~Form5() override;

    /// Shows the stored choices; a stored "Passed" other than 1, 2 or 3 selects none.
    void Form_Load() override;

    void Check1_Click();
    void OptionClick(int passed); ///< "Delete them" 1, "Prompt you to delete them" 2, "Ignore them" 3

private:
    AppServices& m_services;
    QCheckBox* Check1 = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QRadioButton* Option3 = nullptr;
};
