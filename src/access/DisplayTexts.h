#pragma once

#include "access/OnlineDisplay.h"

#include <QDateTime>
#include <QString>

namespace zul {

class ActivityLog;
class Clock;
class DeviceBinding;
class TMessages;

// The controller's display has no accented letters: each accented letter of Portuguese is
// replaced by its plain letter, everything else is kept, so the length never changes.
QString TrataAcento(const QString& text, const ActivityLog& log);

// Line 1 as the controller gets it: exactly 16 characters, padded with blanks or cut.
QString DisplayLine(const QString& text);

// " DD/MM/YY HH:NN ", always 16 characters; an invalid (null) time means now.
QString DisplayDateTime(const QDateTime& when, const Clock& clock);

// Handler of `tmrAtualiza`: the messages in date-time mode preview the local time.
void RefreshDisplayDates(OnlineDisplay& display, const Clock& clock);

// The standing message while nobody passes; the controller's byte result (1 when the entry
// point cannot be bound). In date-time mode only line 2 goes out, exactly as typed: the
// controller writes line 1 itself.
int SendStandingMessage(DeviceBinding& device, const OnlineDisplay& display);

// The five-second message for a person entering or leaving; the controller's byte result.
int SendPassageMessage(DeviceBinding& device, const OnlineDisplay& display, bool isEntry);

// "Data / Hora" chosen: the free text is kept aside and line 1 previews `serverTime`, read-only.
void ChooseDateTimeDisplay(OnlineDisplay& display, DisplayMessage message, const QDateTime& serverTime,
                           const Clock& clock);
// "Texto" chosen: the text kept aside comes back (empty when there is none), editable again.
void ChooseTextDisplay(OnlineDisplay& display, DisplayMessage message);

// The line-1 texts of entry and exit for a mounting: at start-up they are put in place; when
// the operator changes the mounting, a default text of the other mounting is replaced and a
// typed one is left alone.
void PutDirectionTexts(OnlineDisplay& display, const TMessages& messages, bool normalMounting);
void SwapDirectionTexts(OnlineDisplay& display, const TMessages& messages, bool normalMounting);

} // namespace zul
