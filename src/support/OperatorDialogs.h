#pragma once

#include <QString>
#include <optional>

namespace zul {

// Every message box and input dialog the program shows goes through this interface: Qt
// dialogs on the desktop, non-blocking ones where nobody is there to answer (service and
// headless runs), scripted ones in tests.
class OperatorDialogs
{
public:
    enum class Icon { Information, Warning, Error, Question };

    virtual ~OperatorDialogs() = default;

    // A box with one "OK" button.
    virtual void message(Icon icon, const QString& title, const QString& text) = 0;
    // A Yes/No question; true for Yes. `safeDefault` is the answer given when nobody can answer.
    virtual bool ask(Icon icon, const QString& title, const QString& text, bool safeDefault) = 0;
    // An input dialog (caption, prompt, one edit pre-filled with `value`, "OK" and "Cancela");
    // nothing when cancelled.
    virtual std::optional<QString> input(const QString& caption, const QString& prompt,
                                         const QString& value) = 0;
};

class ActivityLog;

// For service and headless runs: the text goes to the activity log, the answer is the safe
// default (input dialogs are cancelled) and nothing waits. One log line per dialog:
// "[title] text", followed for questions by " -> Sim (sem operador)" or " -> Não (sem operador)"
// and for inputs by " [value] -> Cancela (sem operador)"; line breaks of the text become spaces.
class NonBlockingDialogs final : public OperatorDialogs
{
public:
    explicit NonBlockingDialogs(const ActivityLog& log) : m_log(log) {}

    void message(Icon icon, const QString& title, const QString& text) override;
    bool ask(Icon icon, const QString& title, const QString& text, bool safeDefault) override;
    std::optional<QString> input(const QString& caption, const QString& prompt,
                                 const QString& value) override;

private:
    const ActivityLog& m_log;
};

} // namespace zul
