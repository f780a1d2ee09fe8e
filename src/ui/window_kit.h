#pragma once

// What every window of the program is built with: fonts, fixed placement from the
// design's twips, colours, and the modal showing of dialogs.

#include "core/color_ref.h"

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QLineEdit>
#include <QRect>
#include <QWidget>

#include <type_traits>

class Hover;
class QPushButton;

namespace kit {

/// Positions were designed in twips; 15 twips make a pixel at 96 dpi.
inline constexpr int kTwipsPerPixel = 15;

[[nodiscard]] constexpr int Pixels(int twips)
{
    return twips / kTwipsPerPixel;
}
[[nodiscard]] inline QRect FromTwips(int left, int top, int width, int height)
{
    return {Pixels(left), Pixels(top), Pixels(width), Pixels(height)};
}

/// Arial in bold, the font of every window; fontconfig maps it to Liberation Sans.
[[nodiscard]] QFont ArialBold(qreal points);

/// A stored colour (red in the low byte) as Qt paints it.
[[nodiscard]] inline QColor ToQColor(ColorRef c)
{
    return QColor(redOf(c), greenOf(c), blueOf(c));
}

[[nodiscard]] inline ColorRef ToColorRef(const QColor& c)
{
    return colorRef(c.red(), c.green(), c.blue());
}

/// Laying out a line costs Qt time that grows with the square of its length (a line of a
/// million characters takes minutes), so a text is shown with each line cut after this many
/// characters and the whole after kMostShownChars; each cut ends in an ellipsis.
inline constexpr qsizetype kMostShownLineChars = 10000;
inline constexpr qsizetype kMostShownChars = 50000;

/// `text` cut for showing as above; the text itself when it needs no cut.
[[nodiscard]] QString ShownPart(const QString& text);

/// Text as a Qt widget shows it: a lone CR and CR LF become line breaks, cut as ShownPart.
[[nodiscard]] QString DisplayText(const QString& text);

/// Shows `text` whole in `field`. A typing limit shorter than the text grows to fit it:
/// a limit is for typing, and must never cut a value the program shows (a later save
/// would store the cut one).
void SetWholeText(QLineEdit& field, const QString& text);

/// Where the design put a named control, in twips inside its parent.
struct Place
{
    const char* name;
    int left, top, width, height;
};

/// Puts every named control of `window` where the design table says.
template <std::size_t N> void PlaceControls(QWidget& window, const Place (&places)[N])
{
    for (const Place& place : places) {
        if (auto* control = window.findChild<QWidget*>(QString::fromLatin1(place.name)))
            control->setGeometry(FromTwips(place.left, place.top, place.width, place.height));
    }
}

/// Widens the labels of `window` that their text would overflow: the designed widths
/// come from another font renderer, and a caption is never cut short.
void FitCaptions(QWidget& window);

/// Creates a child control named `name`, with `text` where the kind of control has one.
template <typename Control> Control* Make(QWidget* parent, const char* name, const char* text = nullptr)
{
    Control* control = nullptr;
    if constexpr (std::is_constructible_v<Control, QString, QWidget*>)
        control = new Control(text ? QString::fromUtf8(text) : QString(), parent);
    else
        control = new Control(parent);
    control->setObjectName(QString::fromLatin1(name));
    return control;
}

/// A push button as every window has them: `caption` in Arial 11.25 bold, the hand over
/// it, and never pressed by Enter in a field (a half-typed form must not go through).
QPushButton* MakePushButton(QWidget* parent, Hover& hover, const char* name, const char* caption);

/// A fixed-size window of `width` x `height` twips in the dialogs' font. Dialogs get a
/// close box only; the main window also a minimise button.
void MakeFixedWindow(QWidget& window, int width, int height);

/// Centres a window on the screen it will show on.
void CentreOnScreen(QWidget& window);

/// A dialog of the program: ShowModal runs its Form_Load, which may close it again
/// (a day without events, an alert with nothing to show), and only then shows it.
class FormDialog : public QDialog
{
    Q_OBJECT

public:
    explicit FormDialog(QWidget* parent = nullptr);

    /// The pointer feedback over this dialog's controls.
    [[nodiscard]] Hover& hover() { return *m_hover; }

    /// Prepares the dialog for one showing. Closing it here means it is never shown.
    virtual void Form_Load() = 0;

    void done(int result) override;

private:
    friend int ShowModal(FormDialog& dialog);
    Hover* m_hover;
    bool m_closed = false;
};

/// Loads `dialog`, then runs it modally unless the load closed it. Returns the
/// dialog's result (QDialog::Rejected when it closed itself while loading).
int ShowModal(FormDialog& dialog);

} // namespace kit
