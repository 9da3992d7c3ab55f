#pragma once

#include <QByteArray>
#include <QString>

namespace zul {

class DeviceBinding;

// The result of a release that an error interrupted.
inline constexpr int ReleaseFailed = 1;

// Opens the arm for direction 'E' (entry), 'S' (exit) or 'T' (both) with the release call that
// suits the turnstile's mounting. Returns the controller's byte result; an error inside the
// release is logged and reported as ReleaseFailed, so the caller's failure handling applies.
int ReleaseTurnstile(DeviceBinding& device, char direction);

// Lets everybody through: `text` (two display lines of 16 characters; DESCONECTOU when blank)
// becomes the standing message and the arm opens both ways.
void ShowMessageAndRelease(DeviceBinding& device, const QString& text);
// The display bytes ShowMessageAndRelease sends for `text`, and the sending of them: for a caller
// that sends the same text again and again.
QByteArray StandingDisplayBytes(const DeviceBinding& device, const QString& text);
void SendMessageAndRelease(DeviceBinding& device, const QByteArray& displayBytes);

} // namespace zul
