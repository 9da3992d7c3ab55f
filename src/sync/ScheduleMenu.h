#pragma once

#include <QString>

namespace zul {

// What the daily schedule needs of the main window: the item "Agendar &Horário"
// (`mnuAgendSinc`) of the "&Sincronismo de Dados" submenu, and `EnableMenus`. The window
// implements it; tests hand in a fake.
class ScheduleMenu
{
public:
    virtual ~ScheduleMenu() = default;

    virtual QString scheduleCaption() const = 0;
    virtual void setScheduleCaption(const QString& caption) = 0;
    virtual bool scheduleTicked() const = 0;
    virtual void setScheduleTicked(bool ticked) = 0;
    // `EnableMenus`: enables "&Opções" and "&Dados".
    virtual void enableMenus() = 0;
};

} // namespace zul
