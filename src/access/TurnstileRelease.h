#pragma once

#include <QString>

namespace zul {

class DeviceBinding;

// Opens the arm for direction 'E' (entry), 'S' (exit) or 'T' (both) with the release call that
// suits the turnstile's mounting. Returns the controller's byte result; an error inside the
// release is logged and reported as 0, so the caller carries on as if the arm were open.
int ReleaseTurnstile(DeviceBinding& device, char direction);

// Lets everybody through: `text` (two display lines of 16 characters; DESCONECTOU when blank)
// becomes the standing message and the arm opens both ways.
void ShowMessageAndRelease(DeviceBinding& device, const QString& text);

} // namespace zul
