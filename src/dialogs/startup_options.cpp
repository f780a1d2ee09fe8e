#include "startup_options.h"

#include "core/error_report.h"
#include "ui/look.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QRadioButton>

#include <array>

using namespace kit;
namespace pref = preferences;

namespace {

constexpr Place kPlaces[] = {
    {"Check1", 120, 120, 2775, 255},  {"Frame1", 120, 390, 3240, 1425},  {"Option1", 240, 300, 2655, 255},
    {"Option2", 240, 650, 2655, 255}, {"Option3", 240, 1000, 2655, 255},
};

} // namespace

Form5::Form5(AppServices& services, QWidget* parent) : FormDialog(parent), m_services(services)
{
    setObjectName(QStringLiteral("Form5"));
    MakeFixedWindow(*this, 3465, 1935);
    setWindowTitle(QStringLiteral("Startup Options"));

    Check1 = Make<QCheckBox>(this, "Check1", "Prompt to quit if no events");
    auto* frame = Make<QGroupBox>(this, "Frame1", "Events That Passed");
    Option1 = Make<QRadioButton>(frame, "Option1", "Delete them");
    Option2 = Make<QRadioButton>(frame, "Option2", "Prompt you to delete them");
    Option3 = Make<QRadioButton>(frame, "Option3", "Ignore them");
    PlaceControls(*this, kPlaces);
    hover().arrowOver({this, frame, Check1});

    // Clicks only: what the load selects is not stored again.
    connect(Check1, &QCheckBox::clicked, this, &Form5::Check1_Click);
    int passed = 1;
    for (QRadioButton* option : {Option1, Option2, Option3})
        connect(option, &QRadioButton::clicked, this, [this, value = passed++] { OptionClick(value); });
}

Form5::~Form5() = default;

void Form5::Form_Load()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form5.Form_Load"));
    trap(100, [&] { PrepareDialog(*this, m_services.paths); });
    trap(102, [&] { Check1->setChecked(m_services.settings.choice(pref::Check1) == 1); });
    trap(104, [&] {
        const std::array<QRadioButton*, 3> options = {Option1, Option2, Option3};
        const qint16 passed = m_services.settings.choice(pref::Passed);
        if (passed >= 1 && passed <= 3)
            options[std::size_t(passed - 1)]->setChecked(true);
    });
}

void Form5::Check1_Click()
{
    m_services.settings.setChoice(pref::Check1, Check1->isChecked() ? 1 : 0);
}

void Form5::OptionClick(int passed)
{
    m_services.settings.setChoice(pref::Passed, qint16(passed));
}
