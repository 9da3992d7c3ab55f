#pragma once

#include "support/OperatorDialogs.h"

#include <QList>
#include <QString>
#include <deque>
#include <optional>

namespace zul::test {

// Answers dialogs from a script and records what was shown.
class ScriptedDialogs final : public OperatorDialogs
{
public:
    struct Shown
    {
        Icon icon;
        QString title;
        QString text;
    };
    struct Asked
    {
        QString caption;
        QString prompt;
        QString value;
    };

    std::deque<std::optional<QString>> inputAnswers; // std::nullopt = Cancela
    std::deque<bool> askAnswers;
    QList<Shown> messages;
    QList<Asked> inputs;

    void message(Icon icon, const QString& title, const QString& text) override
    {
        messages.append({icon, title, text});
    }
    bool ask(Icon icon, const QString& title, const QString& text, bool safeDefault) override
    {
        messages.append({icon, title, text});
        if (askAnswers.empty())
            return safeDefault;
        const bool answer = askAnswers.front();
        askAnswers.pop_front();
        return answer;
    }
    std::optional<QString> input(const QString& caption, const QString& prompt, const QString& value) override
    {
        inputs.append({caption, prompt, value});
        if (inputAnswers.empty())
            return std::nullopt;
        std::optional<QString> answer = inputAnswers.front();
        inputAnswers.pop_front();
        return answer;
    }
};

} // namespace zul::test
