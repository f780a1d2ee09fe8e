#pragma once

#include "core/services.h"
#include "store/event_store.h"
#include "ui/window_kit.h"

#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

/// Form3, the event editor: records a new event ("Add Event") or changes a stored one
/// ("Update Event"). Every showing loads the dialog afresh from its defaults and, in
/// update mode, from the stored event.
class Form3 : public kit::FormDialog
{
    Q_OBJECT

public:
    Form3(AppServices& services, EventStore& store, QWidget* parent = nullptr);
    ~Form3() override;

    /// Id of the event to change, as text; empty for a new event. The dialog never
    /// clears it, so callers set it before every showing.
    QString m_ID;

    /// Captions the next showing "Update Event"; every other showing is "Add Event".
    void useUpdateCaption() { m_updateCaption = true; }

    /// Loading: defaults from today, then the event `m_ID` names, if any. A stored value
    /// that the fields cannot show is reported; the fields loaded so far stay.
    void Form_Load() override;

    void Option1_Click();   ///< "Set By Date"
    void Option2_Click();   ///< "Set By Day of Week"
    void RepetitionClick(); ///< "Once", " Weekly", "Monthly" or "Annually"
    void Text5_Change();    ///< the week of the month, checked on every change

    void PushButton1_Click(); ///< "Save"
    void PushButton2_Click(); ///< "Cancel"

    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void resetFields();
    void applyDateFields();
    void checkNumberOnLeaving(QLineEdit* field);
    [[nodiscard]] bool fieldsAreComplete();
    [[nodiscard]] EventRecord fieldsFromControls() const;
    bool store(const EventRecord& fields);
    void tell(const QString& text);
    void complain(QWidget* field, const QString& text);
    bool askYesNo(const QString& text);

    AppServices& m_services;
    EventStore& m_store;
    bool m_updateCaption = false;
    bool m_prompting = false; // a message is up or the dialog moves the focus itself
    bool m_closing = false;
    bool m_swallowNextPress = false;

    QLineEdit* Text1 = nullptr;
    QPlainTextEdit* Text2 = nullptr;
    QLineEdit* Text3 = nullptr;
    QLineEdit* Text4 = nullptr;
    QLineEdit* Text5 = nullptr;
    QLineEdit* Text6 = nullptr;
    QComboBox* Combo1 = nullptr;
    QComboBox* Combo2 = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QRadioButton* Option3 = nullptr;
    QRadioButton* Option4 = nullptr;
    QRadioButton* Option5 = nullptr;
    QRadioButton* Option6 = nullptr;
    QCheckBox* Check1 = nullptr;
    QLabel* Label3 = nullptr;
    QPushButton* PushButton1 = nullptr;
    QPushButton* PushButton2 = nullptr;
};

/// A whole number typed into a field, blanks around it allowed; empty for anything
/// else (including numbers beyond the 32-bit range).
[[nodiscard]] std::optional<int> WholeNumberIn(const QString& text);

/// The event id a caller holds as text (m_ID, a list row's text). Throws
/// std::invalid_argument when the text is not a whole number.
[[nodiscard]] qint64 EventIdFrom(const QString& text);
