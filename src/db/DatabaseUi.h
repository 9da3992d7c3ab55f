#pragma once

#include <QString>

namespace zul {

// What the manager's database connection needs of the main window. The window implements it;
// the connection code never sees a widget, and tests hand in a fake.
class DatabaseUi
{
public:
    virtual ~DatabaseUi() = default;

    // `EnableMenus`: enables "&Opções" and "&Dados".
    virtual void EnableMenus() = 0;
    // The colour of the status panel's glyph: navy when connected, red when not.
    virtual void ShowDbState(bool connected) = 0;
    // The error box ("Erro", error icon, "OK"); returns when it is dismissed.
    virtual void ShowErrorBox(const QString& text) = 0;
    // Lets everybody through the turnstile and shows `text` (DESCONECTOU when blank) as the
    // standing message of its display.
    virtual void ShowMessageAndRelease(const QString& text) = 0;
    // False in a service or headless run: nobody is there to answer a question, so none is asked.
    virtual bool OperatorPresent() const = 0;
};

} // namespace zul
