#pragma once

#include "support/OperatorDialogs.h"

#include <QList>
#include <QStringList>
#include <deque>
#include <gtest/gtest.h>
#include <variant>

namespace zul::test {

// Operator dialogs for tests: answers are queued beforehand and handed out in order; every
// box and input shown is recorded so a test can check the texts the operator would have
// seen. A question or input with nothing queued takes the same answer a headless run would
// (the safe default, a cancelled input) and is counted in `unscripted`.
class ScriptedDialogs final : public OperatorDialogs
{
public:
    enum class Kind { Message, Question, Input };

    struct Shown
    {
        Kind kind;
        Icon icon;
        QString title; // the caption for inputs
        QString text;  // the prompt for inputs
        QString value; // the pre-filled value of inputs
    };

    void queueAnswer(bool yes) { m_answers.emplace_back(yes); }
    void queueInput(std::optional<QString> answer) { m_answers.emplace_back(std::move(answer)); }

    void message(Icon icon, const QString& title, const QString& text) override
    {
        shown.append({Kind::Message, icon, title, text, {}});
    }

    bool ask(Icon icon, const QString& title, const QString& text, bool safeDefault) override
    {
        shown.append({Kind::Question, icon, title, text, {}});
        if (m_answers.empty()) {
            ++unscripted;
            return safeDefault;
        }
        const auto answer = take();
        if (const bool* yes = std::get_if<bool>(&answer))
            return *yes;
        ADD_FAILURE() << "a question was asked where an input answer was queued: " << text.toStdString();
        return safeDefault;
    }

    std::optional<QString> input(const QString& caption, const QString& prompt, const QString& value) override
    {
        shown.append({Kind::Input, Icon::Question, caption, prompt, value});
        if (m_answers.empty()) {
            ++unscripted;
            return std::nullopt;
        }
        const auto answer = take();
        if (const auto* text = std::get_if<std::optional<QString>>(&answer))
            return *text;
        ADD_FAILURE() << "an input was shown where a yes/no answer was queued: " << prompt.toStdString();
        return std::nullopt;
    }

    QStringList texts() const
    {
        QStringList result;
        for (const Shown& s : shown)
            result.append(s.text);
        return result;
    }

    bool allAnswersUsed() const { return m_answers.empty(); }

    QList<Shown> shown;
    int unscripted = 0;

private:
    using Answer = std::variant<bool, std::optional<QString>>;

    Answer take()
    {
        Answer answer = std::move(m_answers.front());
        m_answers.pop_front();
        return answer;
    }

    std::deque<Answer> m_answers;
};

} // namespace zul::test
