#include "access/TurnstileRelease.h"

#include "device/DeviceBinding.h"
#include "device/DeviceUi.h"
#include "support/ActivityLog.h"
#include "support/Error.h"
#include "support/Messages.h"
#include "support/Text.h"
#include "support/Win1252.h"

#include <algorithm>

namespace zul {

using namespace Qt::StringLiterals;

int ReleaseTurnstile(DeviceBinding& device, char direction)
{
    using namespace easyinner;
    try {
        // The person's direction is fixed by the lookup; the mounting only decides which of the
        // controller's two calls opens the arm that way.
        const bool normal = device.ui().normalMounting();
        switch (direction) {
        case 'E':
            return normal ? device.Invoke<LiberarCatracaEntrada>(device.deviceNumber())
                          : device.Invoke<LiberarCatracaEntradaInvertida>(device.deviceNumber());
        case 'S':
            return normal ? device.Invoke<LiberarCatracaSaida>(device.deviceNumber())
                          : device.Invoke<LiberarCatracaSaidaInvertida>(device.deviceNumber());
        case 'T':
            return device.Invoke<LiberarCatracaDoisSentidos>(device.deviceNumber());
        default:
            return device.lastResult();
        }
    } catch (const Error& error) {
        device.log().write(u"Libera catraca - ERRO: "_s + error.message());
    } catch (const std::exception& error) {
        device.log().write(u"Libera catraca - ERRO: "_s + ErrorText(error));
    }
    // Nobody knows whether the arm opened: reported as success, the loop would wait for a
    // rotation that cannot come.
    return device.RecordResult(ReleaseFailed);
}

QByteArray StandingDisplayBytes(const DeviceBinding& device, const QString& text)
{
    return toWin1252(IsBlank(text) ? device.messages().Lookup(u"DESCONECTOU"_s) : text);
}

void SendMessageAndRelease(DeviceBinding& device, const QByteArray& displayBytes)
{
    device.Call<easyinner::EnviarMensagemPadraoOnLine>(device.deviceNumber(), 0, displayBytes.constData());
    ReleaseTurnstile(device, 'T');
}

void ShowMessageAndRelease(DeviceBinding& device, const QString& text)
{
    SendMessageAndRelease(device, StandingDisplayBytes(device, text));
}

} // namespace zul
