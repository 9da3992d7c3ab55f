#pragma once

#include "device/EasyInner.h"
#include "device/LinkOwnership.h"
#include "device/UserDados.h"
#include "platform/DynamicLibrary.h"

#include <QString>
#include <QtGlobal>
#include <array>
#include <functional>
#include <optional>

namespace zul {

class ActivityLog;
class Clock;
class DeviceUi;
class TMessages;

// The link to the turnstile controller: the vendor library and its entry points, the link
// settings, the status line, and the state the online loop, the synchronisation and the
// notification processing share. One instance lives as long as the main window; everything
// runs on the main thread, so nothing here is locked.
class DeviceBinding
{
public:
    // The vendor library's file name on this platform, looked up in the platform's standard
    // search order.
    static QString defaultLibraryName();

    DeviceBinding(Clock& clock, const ActivityLog& log, const TMessages& messages, DeviceUi& ui,
                  QString libraryFileName = defaultLibraryName());
    ~DeviceBinding();
    DeviceBinding(const DeviceBinding&) = delete;
    DeviceBinding& operator=(const DeviceBinding&) = delete;

    // --- library -----------------------------------------------------------------------------

    QString libraryFileName() const { return m_libraryFileName; }
    // Loads the library; the handle, 0 when it was not found.
    quintptr LoadDeviceLibrary();
    // The link is deliberately not closed first: the controller keeps its last state.
    void UnloadDeviceLibrary();
    // The operator texts for a library that was not found or could not be loaded, naming the
    // file actually looked for.
    QString libraryNotFoundText() const;
    QString libraryErrorText() const;

    // The address of the entry point, resolved once when the library was loaded; null while
    // no library is loaded or when the loaded one lacks it.
    template <class EntryPoint> typename EntryPoint::Pointer Bound() const
    {
        return reinterpret_cast<typename EntryPoint::Pointer>(m_entryPoints[EntryPoint::index]);
    }

    // Calls the entry point. Nothing when the library lacks it (or none is loaded):
    // `if (auto r = Call<easyinner::Ping>(deviceNumber()))`. Byte results are reduced to their
    // low 8 bits.
    template <class EntryPoint, class... Args> std::optional<int> Call(Args... args) const
    {
        const typename EntryPoint::Pointer proc = Bound<EntryPoint>();
        if (proc == nullptr)
            return std::nullopt;
        if (m_meter)
            m_meter->entering();
        const easyinner::i32 result = proc(args...);
        if (m_meter)
            m_meter->left();
        if constexpr (EntryPoint::kind == easyinner::ResultKind::Byte)
            return result & 0xFF;
        else
            return result;
    }

    // Calls the entry point and records its result as the last result (see lastResult); a
    // call that cannot be bound counts as NotCalled. Returns the result recorded.
    template <class EntryPoint, class... Args> int Invoke(Args... args)
    {
        return RecordResult(Call<EntryPoint>(args...).value_or(NotCalled));
    }

    // --- status line and link settings -------------------------------------------------------

    // Shows status `code` (256: `text` itself) in the status line, the panel hint and the tray
    // tip; returns the caption now shown.
    QString ShowStatus(int code, const QString& text = QString());
    static QString statusKey(int code);
    // The tray tip for a caption: the part before the first "|", at most 63 characters.
    static QString shortHint(const QString& caption);

    // The device port from the digits of the ticked link caption. Throws Error when the caption
    // holds no number; the port then keeps its value.
    void ReadDevicePort();
    // 1 (TCP/IP) when "TCP/&IP" is ticked, else 0 (serial).
    int currentLinkType() const;

    // --- link operations ---------------------------------------------------------------------

    // Asks for a fresh start of the online connection: the running loop ends at its next
    // test of the stop request and `tmrInicializa` starts it again.
    void IniCatraca();
    // One ping with the reopen rule; 0 when the controller answered or no ping was due. A
    // reopen is given up as soon as a stop is requested during one of its pauses: the link was
    // closed or is being restarted, and reopening it would undo that.
    int PingDevice();
    // Opens the link outside the online loop and waits up to ten seconds for an answer; true
    // at once, touching nothing, while the online loop holds the link.
    bool ConnectDevice();
    // Puts the controller into online mode; 0 on success.
    int SendOnlineConfig();

    // Opens the link and runs the online loop. `databaseConnected` asks the database
    // connection routine (and shows its state); `runOnlineLoop` returns when the loop ends.
    // Throws Error with the FALHA_DLL text when the library cannot be used. While the link is
    // owned (a loop, a synchronisation, a clearing or a queue step runs) nothing is touched:
    // the start is recorded and carried out, through `tmrInicializa`, once the link is free.
    void StartConnection(const std::function<bool()>& databaseConnected,
                         const std::function<void()>& runOnlineLoop);
    // Ends the online loop at its next test and closes the port; a start recorded while the
    // link was owned is dropped, so it cannot undo the operator's stop.
    void StopConnection();

    // Told around every call into the library through Call, so that a measurement can tell
    // the time spent on the controller's side of the link (the library and what it waits for)
    // from the program's own. None in the program.
    struct CallMeter
    {
        virtual ~CallMeter() = default;
        virtual void entering() = 0;
        virtual void left() = 0;
    };
    void SetCallMeter(CallMeter* meter) { m_meter = meter; }

    // --- state shared by the online loop, the synchronisation and the notifications ----------

    quintptr libraryHandle() const { return m_libraryHandle; }
    // The program drives controller number 1 only.
    static constexpr qint32 DeviceNumber = 1;
    qint32 deviceNumber() const { return DeviceNumber; }
    int linkType() const { return m_linkType; }
    int devicePort() const { return m_devicePort; }
    void SetDevicePort(int port) { m_devicePort = port; }

    // The state of the online loop (OnlineLoop::State); StartConnection enters the first.
    quint8 loopState() const { return m_loopState; }
    void EnterState(quint8 state) { m_loopState = state; }

    // Asks the online loop (and the waits that test it) to end; StartConnection clears it for
    // the loop it starts.
    void RequestStop() { m_stopRequested = true; }
    void ClearStopRequest() { m_stopRequested = false; }
    bool IsStopRequested() const { return m_stopRequested; }

    // The result of the last call that counts: 0 success, NotCalled for a call that could not
    // be made, WaitingForReply while a reply of the controller is awaited, anything else an
    // error code of the library.
    int lastResult() const { return m_lastResult; }
    // Records `result` as the last result and returns it.
    int RecordResult(int result)
    {
        m_lastResult = result;
        return result;
    }
    static constexpr int NotCalled = 1;
    static constexpr int WaitingForReply = 128;

    // Somebody identified is waiting to pass from BeginPassage to EndPassage; pings are sent
    // only while nobody is.
    void BeginPassage() { m_passageIdle = false; }
    void EndPassage() { m_passageIdle = true; }
    bool isPassageIdle() const { return m_passageIdle; }

    int failedPings() const { return m_failedPings; }
    void ResetFailedPings() { m_failedPings = 0; }
    // For tests of the reopen rule: the count of pings that found no controller.
    void SetFailedPings(int count) { m_failedPings = count; }

    // The last status text of the link, logged by PingDevice when it differs from the last
    // line logged through LogStatusIfChanged.
    QString statusText() const { return m_statusText; }
    void SetStatusText(const QString& text) { m_statusText = text; }
    // Logs `text` unless it was the last status line logged; true when it was logged.
    bool LogStatusIfChanged(const QString& text);

    // The person being identified and let through.
    TUserDados& userDados() { return m_userDados; }
    const TUserDados& userDados() const { return m_userDados; }

    // Who works on the link now, and a start of the connection waiting for it.
    LinkOwnership& link() { return m_link; }
    const LinkOwnership& link() const { return m_link; }

    static constexpr int ReopenAfterFailedPings = 200;
    static constexpr int ConnectDeadlineSeconds = 10;

    Clock& clock() const { return m_clock; }
    const ActivityLog& log() const { return m_log; }
    const TMessages& messages() const { return m_messages; }
    DeviceUi& ui() const { return m_ui; }

private:
    void resolveEntryPoints();
    void writeLog(const QString& text) const;
    void reopenLink();

    Clock& m_clock;
    const ActivityLog& m_log;
    const TMessages& m_messages;
    DeviceUi& m_ui;
    QString m_libraryFileName;
    platform::DynamicLibrary m_library;
    // The entry points by slot (easyinner::slot), resolved at load.
    std::array<void*, easyinner::EntryPointCount> m_entryPoints{};
    CallMeter* m_meter = nullptr;

    quintptr m_libraryHandle = 0;
    quint8 m_loopState = 0;
    int m_lastResult = 0;
    bool m_stopRequested = false;
    bool m_passageIdle = true;
    int m_failedPings = 0;
    QString m_statusText;
    QString m_lastLoggedStatus;
    int m_linkType = 1;
    int m_devicePort = 0;
    TUserDados m_userDados;
    LinkOwnership m_link;
};

} // namespace zul
