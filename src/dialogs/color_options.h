#pragma once

#include "core/services.h"
#include "ui/window_kit.h"

#include <array>

class GridLabel;
class QCheckBox;

/// Form2, "Color Options": the thirteen colours of the month view as swatches, and
/// the highlighting of special days. Every pick and click is stored at once.
class Form2 : public kit::FormDialog
{
    Q_OBJECT

public:
    static constexpr int kSwatchCount = 13;

    explicit Form2(AppServices& services, QWidget* parent = nullptr);
    ~Form2() override;

    /// Each swatch shows its stored colour, or this dialog's default for it; a stored
    /// colour that is not a number is reported and its swatch keeps the button face.
    void Form_Load() override;

    /// Offers the colour picker from the swatch's colour and stores what comes back
    /// (the unchanged colour when the picker was cancelled).
    void SwatchClick(int swatch);
    void Check1_Click(); ///< "&Highlight Special Days"

private:
    void nameSwatch(int swatch);

    AppServices& m_services;
    std::array<GridLabel*, kSwatchCount> m_swatches{};
    QCheckBox* Check1 = nullptr;
};
