#pragma once

#include "access/ReleaseRecord.h"
#include "device/EasyInner.h"

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
    // Looks up device.userDados().PersonNumber; true when the person was found.
    virtual bool LookUpPerson() = 0;

    // The entry or exit panel shows the identified person.
    virtual void ShowPassageWaiting() = 0;
    // The controller reported that the released person did not pass.
    virtual void ShowPassageMissed() = 0;
    // The person passed: register and announce the passage.
    virtual void ConfirmPassage() = 0;
    // The person passed at `passedAt`, the controller's time of the rotation: the passage is
    // made durable first, then registered with that time and announced.
    virtual void ConfirmPassageAt(const QDateTime& passedAt)
    {
        Q_UNUSED(passedAt);
        ConfirmPassage();
    }

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
// thread, dispatching window messages once per pass, until a stop is requested.
class OnlineLoop
{
public:
    // Loop states (DeviceBinding::loopState).
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

    // How long state 13 waits for the controller to report the end of a release. The
    // controller holds the arm for its actuation time of 5 s (ConfigurarAcionamento1(1, 5)) and
    // then reports an unused release (origin 5); the longest time-out it is configured with is
    // the 15 s of the identification forms. Silence beyond 20 s means the link is lost.
    static constexpr int RotationReportTimeoutMs = 20000;
    // An identification older than this by the controller's clock (the event's own date and
    // time) is not answered: whoever tapped has most likely gone, or tapped again.
    static constexpr int IdentificationMaxAgeSeconds = 6;
    // How long a passage message the controller refuses is tried again before the
    // identification is given up.
    static constexpr int PassageMessageRetryMs = 3000;
    // The controller's clock is set again after this long, so that the ages of events measured
    // against it do not drift.
    static constexpr qint64 ClockResendIntervalMs = 3600 * 1000;
    // A rotation report stamped more than this before the release on record is not its end.
    static constexpr int RotationClockSlackSeconds = 3;

    OnlineLoop(DeviceBinding& device, OnlineLoopSteps& steps);
    OnlineLoop(const OnlineLoop&) = delete;
    OnlineLoop& operator=(const OnlineLoop&) = delete;

    // Runs from device.loopState() (StartConnection sets it to 0) until a stop is requested or an
    // error ends the run; an error restarts the connection through IniCatraca.
    void RunOnlineLoop();

    // The pieces of RunOnlineLoop, for callers that step the loop themselves: BeginRun starts a
    // run (banner, per-run state), RunPass makes one pass (state name, work of the state,
    // message dispatch, 100 ms sleep). RunPass returns false when an error ended the run; the
    // error has then been logged, a stop requested and the restart requested.
    void BeginRun();
    bool RunPass();

    // The log name of a state; empty for a value that is no state.
    static QString StateName(int state);

    // The controller's clock as reckoned from the time last sent to it (the local clock before
    // any was sent).
    QDateTime ControllerNow() const;
    // The event's own date and time; invalid when the controller sent none.
    static QDateTime EventTime(const easyinner::OnlineEvent& event);

    // The release in progress, kept across a restart of the program.
    ReleaseRecord& releaseRecord() { return m_record; }

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

    // Every rotation report (origin 5 or 6) read while polling, when no release of this run is
    // waiting for it: the end of a release on record from before a restart, or a stray report.
    void strayRotationReport(const easyinner::OnlineEvent& event);
    // The controller reported how the release of the person identified ended.
    void rotationReported(const easyinner::OnlineEvent& event);
    // A release is on record: whether an identification must wait for its end. A release older
    // than the rotation report time-out is closed out as unused.
    bool releaseStillOpen();
    void giveUpIdentification();
    void clearRecord();

    DeviceBinding& m_device;
    OnlineLoopSteps& m_steps;
    QString m_lastStateName;
    ReleaseRecord m_record;
    bool m_recordWritten = false;
    // Monotonic times (Clock::elapsedMs) of the identification being answered and of the start
    // of the rotation wait.
    qint64 m_identifiedAtMs = 0;
    // The report of the rotation, filled by the controller while the arm is released.
    easyinner::OnlineEvent m_rotationEvent;
    qint64 m_rotationWaitFromMs = 0;
    // The time last sent to the controller, and when it was sent.
    QDateTime m_clockSent;
    qint64 m_clockSentAtMs = -1;
};

} // namespace zul
