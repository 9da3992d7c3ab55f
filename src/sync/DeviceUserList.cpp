#include "sync/DeviceUserList.h"

#include "device/DeviceBinding.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Win1252.h"

namespace zul {

using namespace Qt::StringLiterals;

namespace {

constexpr int ListEntrySize = 16;
constexpr int UserCodeSize = 10;

} // namespace

void WaitForDeviceReply(DeviceBinding& device, int seconds)
{
    Clock& clock = device.clock();
    device.RecordResult(DeviceBinding::WaitingForReply);
    // The wait runs while the whole-second tick is not past the deadline second, so it ends when
    // the next second begins. The monotonic tick never wraps, so the deadline cannot be skipped
    // or made endless. Between events the thread sleeps: the window's messages, its timers and
    // the sockets are served as they arrive, and a reply set by one of them ends the wait.
    const qint64 deadlineSecond = clock.elapsedSeconds() + seconds;
    clock.waitUntil((deadlineSecond + 1) * 1000,
                    [&] { return device.lastResult() != DeviceBinding::WaitingForReply; });
}

bool DeviceUserList::CollectDeviceUserList()
{
    using namespace easyinner;
    DeviceBinding& device = m_device;
    device.Call<InicializarColetaListaUsuariosBio>();
    device.log().write(u"Listando usuários na catraca"_s);

    bool read = false;
    if (device.Bound<TemProximoPacote>() != nullptr) {
        read = true;
        cdsUsersCatraca.Close();
        cdsUsersCatraca.CreateDataSet({{CDUSER, ftString, UserCodeSize}});
        // Neither loop dispatches anything while the controller answers at once, so without a
        // bound a controller that always has more would hang the program.
        int packets = 0;
        int entries = 0;
        QString exceeded;
        while (exceeded.isEmpty() && device.Call<TemProximoPacote>().value_or(0) != 0) {
            if (++packets > limits.packets) {
                exceeded = u"mais de %1 pacotes"_s.arg(limits.packets);
                break;
            }
            const std::optional<int> requested =
                device.Call<SolicitarListaUsuariosBio>(device.deviceNumber());
            if (!requested || *requested != 0)
                continue;
            WaitForDeviceReply(device, 2);
            device.Invoke<ReceberPacoteListaUsuariosBio>(device.deviceNumber());
            if (device.Bound<TemProximoUsuario>() == nullptr)
                continue;
            int refusedInARow = 0;
            while (device.Call<TemProximoUsuario>().value_or(0) != 0) {
                if (++entries > limits.entries) {
                    exceeded = u"mais de %1 usuários"_s.arg(limits.entries);
                    break;
                }
                u8 entry[ListEntrySize] = {};
                const std::optional<int> received =
                    device.Call<ReceberUsuarioLista>(device.deviceNumber(), entry);
                // Without the entry point the packet could never be emptied.
                if (!received)
                    break;
                if (*received != 0) {
                    if (++refusedInARow >= limits.refusedInARow) {
                        exceeded = u"%1 usuários recusados em seguida, último erro[%2]"_s.arg(refusedInARow)
                                       .arg(*received);
                        break;
                    }
                    continue;
                }
                refusedInARow = 0;
                const char* code = reinterpret_cast<const char*>(entry);
                cdsUsersCatraca.AppendRecord({fromWin1252(QByteArray(code, qstrnlen(code, UserCodeSize)))});
            }
        }
        if (!exceeded.isEmpty()) {
            read = false;
            device.log().write(u"Listagem de usuários interrompida - ERRO: "_s + exceeded);
        }
    }
    device.log().write(u"Quantidade de usuários listados: "_s +
                       QString::number(cdsUsersCatraca.RecordCount()));
    return read;
}

} // namespace zul
