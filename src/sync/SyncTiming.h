#pragma once

#include <QString>

namespace zul {

class TMessages;

// "HH:NN:SS" of a duration; hours keep counting past 24 (a full synchronisation of a large
// controller can take longer than a day).
QString FormatElapsed(qint64 milliseconds);

// The text of a timing label: the catalogue text of `captionKey`, the duration and, when at
// least one item was handled, MEDIA with the seconds per item ("#0,00", the Brazilian decimal
// comma). With no item there is no average to show, so the bracket is left out.
QString TimingText(const TMessages& messages, const QString& captionKey, qint64 milliseconds, int items);

} // namespace zul
