#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

namespace zul {

class DeviceBinding;

// What the online loop needs from the rest of the program: the person lookup, the passage
// feedback of the window, the display texts, and the periodic checks of the other subsystems.
// The main window wires it to the real objects; tests give a fake.
class OnlineLoopSteps
{
public:
    virtual ~OnlineLoopSteps() = default;

    // The database server's clock (the local one when it cannot be read).
    virtual QDateTime GetServerTime() = 0;
    // Looks up device.UserDados.PersonNumber; true when the person was found.
    virtual bool LookUpPerson() = 0;

    // The entry or exit panel shows the identified person.
    virtual void ShowPassageWaiting() = 0;
    // The controller reported that the released person did not pass.
    virtual void ShowPassageMissed() = 0;
    // The person passed: register and announce the passage.
    virtual void ConfirmPassage() = 0;

    // The controller's byte results, 0 on success.
    virtual int SendStandingMessage() = 0;
    virtual int SendPassageMessage(bool isEntry) = 0;

    // 12 for keypad or card plus fingerprint, 11 for fingerprint only.
    virtual int IdentificationFormsCode() = 0;

    virtual void CheckScheduledSync() = 0;
    virtual void CheckNotificationSocket() = 0;
    virtual void CheckDatabaseConnection() = 0;

    // A template change waits in the notification queue.
    virtual bool HasPendingUpdate() = 0;
    // Carries out the oldest queued change.
    virtual void RunQueueStep() = 0;

    // The caption of the status panel's `lblADO`.
    virtual void SetHousekeepingCaption(const QString& caption) = 0;

    // False while a passage the database refused could not be kept for later: the arm is
    // then not released.
    virtual bool JournalWritable() { return true; }
};

// The online polling state machine: while the connection is up the controller reports every
// identification and this loop answers it: lookup, passage message, release, rotation, log of
// the passage. It runs nested inside the event that started the connection, on the main
// thread, dispatching window messages once per pass, until StopFlag is set.
class OnlineLoop
{
public:
    // Loop states (DeviceBinding::LoopState).
    enum State : quint8 {
        CompleteConnection = 0,
        SendConfiguration = 3,
        SendClock = 4,
        SendStandingText = 5,
        SendIdentificationForms = 6,
        Polling = 7,
        SendPassageText = 11,
        Release = 12,
        WaitRotation = 13,
    };

    static constexpr int ConnectAttemptsReported = 500;
    static constexpr qint32 StatusRefreshPasses = 1800;
    static constexpr qint32 HousekeepingInterval = 6000;
    // The counters start again well before they could overflow.
    static constexpr qint32 LoopPassesLimit = 2147483647 - 1802;
    static constexpr qint32 HousekeepingLimit = 2147483647 - 6002;

    OnlineLoop(DeviceBinding& device, OnlineLoopSteps& steps);
    OnlineLoop(const OnlineLoop&) = delete;
    OnlineLoop& operator=(const OnlineLoop&) = delete;

    // Runs from device.LoopState (StartConnection sets it to 0) until StopFlag is set or an
    // error ends the run; an error restarts the connection through IniCatraca.
    void RunOnlineLoop();

    // The pieces of RunOnlineLoop, for callers that step the loop themselves: BeginRun starts a
    // run (banner, per-run state), RunPass makes one pass (state name, work of the state,
    // message dispatch, 100 ms sleep). RunPass returns false when an error ended the run; the
    // error has then been logged, StopFlag set and the restart requested.
    void BeginRun();
    bool RunPass();

    // The log name of a state; empty for a value that is no state.
    static QString StateName(int state);

    // Passes in state 0 since the last report of a connection that does not come; kept across
    // runs.
    int ConnectAttempts = 0;
    // Passes in state 7, kept across runs.
    qint32 LoopPasses = 0;
    qint32 HousekeepingPasses = 0;
    // Housekeeping runs of the current run of the loop.
    qint32 HousekeepingRuns = 0;
    // The result of the last person lookup.
    bool PersonFound = false;

private:
    void writeLog(const QString& text) const;
    void failRun(const QString& message);

    void completeConnection();
    void advanceOnSuccess(const QString& done, const QString& failed, State next);
    void sendConfiguration();
    void sendClock();
    void sendStandingText();
    void sendIdentificationForms();
    void polling();
    void housekeeping();
    void identification();
    void sendPassageText();
    void release();
    void waitRotation();

    DeviceBinding& m_device;
    OnlineLoopSteps& m_steps;
    QString m_lastStateName;
};

} // namespace zul
