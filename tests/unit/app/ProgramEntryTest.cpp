#include "NotifySocket.h"
#include "TempDir.h"
#include "platform/ServiceControl.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace zul {
namespace {

#ifdef _WIN32
const QString ProgramSuffix = u".exe"_s;
const QString DeviceLibrary = u"EasyInner.dll"_s;
#else
const QString ProgramSuffix;
const QString DeviceLibrary = u"libEasyInner.so"_s;
#endif

QString BuiltProgram(const QString& name)
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

class ProgramEntryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString built = BuiltProgram(u"zul"_s + ProgramSuffix);
        if (!QFileInfo(built).isExecutable())
            GTEST_SKIP() << "zul is not built beside the tests";
        // The manager refuses to run beside a copy of the same name (another test, or a system
        // test's manager running at the same time): each test runs a copy of its own name, with
        // the device library beside it as in an installed folder.
        const QString name = u"zul-entry-%1"_s.arg(QRandomGenerator::global()->generate());
        m_program = dir.file(name + ProgramSuffix);
        ASSERT_TRUE(QFile::copy(built, m_program));
        if (QFileInfo::exists(BuiltProgram(DeviceLibrary)))
            QFile::copy(BuiltProgram(DeviceLibrary), dir.file(DeviceLibrary));
#ifdef _WIN32
        // Qt's DLLs and plugins stay in the build folder: the copy finds them through the path.
        const QString builtDir = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
        environment.insert(u"PATH"_s, builtDir + u';' + environment.value(u"PATH"_s));
        environment.insert(u"QT_PLUGIN_PATH"_s, builtDir);
#endif
        environment.insert(u"ZUL_LOCK_DIR"_s, dir.path());
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        QDir(dir.path()).mkpath(u"first"_s);
        QDir(dir.path()).mkpath(u"second"_s);
    }

    void Start(QProcess& process, const QString& logDir)
    {
        process.setProcessEnvironment(environment);
        process.start(ProgramPath(),
                      {u"--headless"_s, u"--registry"_s, dir.file(u"machine.reg"_s), u"--log-dir"_s, logDir});
        ASSERT_TRUE(process.waitForStarted(10000));
    }

    QString ProgramPath() const
    {
        return m_program;
    }

    test::TempDir dir;
    QString m_program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
};

TEST_F(ProgramEntryTest, SecondCopyIsRefusedAndLogsNothing)
{
    QProcess first;
    Start(first, dir.file(u"first"_s));
    // The first copy has the mutex once it has logged its start.
    QElapsedTimer waited;
    waited.start();
    while (QDir(dir.file(u"first"_s)).isEmpty() && first.state() == QProcess::Running &&
           waited.elapsed() < 20000)
        QThread::msleep(20);
    ASSERT_EQ(first.state(), QProcess::Running) << first.readAllStandardError().toStdString();
    ASSERT_FALSE(QDir(dir.file(u"first"_s)).isEmpty());

    QProcess second;
    Start(second, dir.file(u"second"_s));
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(second.exitCode(), 0);
    const QString errors = QString::fromLocal8Bit(second.readAllStandardError());
    EXPECT_TRUE(errors.contains(u"O Gerenciador da Catraca já está sendo executado"_s))
        << errors.toStdString();
    EXPECT_TRUE(QDir(dir.file(u"second"_s)).isEmpty());
    EXPECT_EQ(first.state(), QProcess::Running);

    first.terminate();
    if (!first.waitForFinished(10000)) {
        first.kill();
        first.waitForFinished(10000);
    }
}

// A service manager's stop may come at any moment of the start-up, before the program has
// reached its event loop: it must end the program normally all the same, never need a kill.
class StopDuringStartUp : public ProgramEntryTest
{
protected:
    void SetUp() override
    {
#ifdef _WIN32
        GTEST_SKIP() << "on Windows the service control manager stops the program, not a signal";
#endif
        ProgramEntryTest::SetUp();
    }

    // Starts the program, waits until its start-up has begun (its banner is in the log) and
    // `delayMs` more, asks it to stop, and checks that it ended normally with its closing lines.
    void StopAfter(const QStringList& arguments, int delayMs)
    {
        SCOPED_TRACE(delayMs);
        const QString logDir = dir.file(u"stop"_s + QString::number(++runs));
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(ProgramPath(), arguments + QStringList{u"--registry"_s, dir.file(u"machine.reg"_s),
                                                             u"--log-dir"_s, logDir});
        ASSERT_TRUE(program.waitForStarted(10000));
        QElapsedTimer waited;
        waited.start();
        while (QDir(logDir).isEmpty() && program.state() == QProcess::Running && waited.elapsed() < 20000)
            QThread::msleep(2);
        ASSERT_EQ(program.state(), QProcess::Running) << program.readAllStandardError().toStdString();
        QThread::msleep(static_cast<unsigned long>(delayMs));
        program.terminate();
        const bool ended = program.waitForFinished(20000);
        if (!ended) {
            program.kill();
            program.waitForFinished(10000);
        }
        ASSERT_TRUE(ended) << "the stop request was lost";
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
        QString logged;
        for (const QFileInfo& file : QDir(logDir).entryInfoList(QDir::Files)) {
            QFile log(file.filePath());
            if (log.open(QIODevice::ReadOnly))
                logged += QString::fromLatin1(log.readAll());
        }
        EXPECT_TRUE(logged.contains(u"O programa foi finalizado normalmente"_s)) << logged.toStdString();
    }

    int runs = 0;
};

TEST_F(StopDuringStartUp, UnattendedRunEndsNormallyWhenever)
{
    for (const int delayMs : {0, 20, 80, 300})
        StopAfter({u"--headless"_s}, delayMs);
}

TEST_F(StopDuringStartUp, BoxWaitingForAnAnswerDoesNotHoldTheStop)
{
    // A first start on a desktop asks for the connection profile and waits for the operator.
    StopAfter({}, 500);
}

TEST_F(StopDuringStartUp, ServiceRunEndsNormallyWhenever)
{
    for (const int delayMs : {0, 80})
        StopAfter({u"--service"_s}, delayMs);
}

// Waits, bounded, until `done` holds or the program has ended.
template <typename Done> bool WaitWhileRunning(QProcess& program, Done done, int limitMs = 20000)
{
    QElapsedTimer waited;
    waited.start();
    // Reading the program's output needs its pipes served while waiting.
    while (!done() && program.state() == QProcess::Running && waited.elapsed() < limitMs)
        program.waitForReadyRead(20);
    return done();
}

void Stop(QProcess& program)
{
    program.terminate();
    if (!program.waitForFinished(20000)) {
        program.kill();
        program.waitForFinished(10000);
    }
}

// The unit of systemd starts the program with --service and nothing else: no display, nobody to
// answer a box. It keeps the service alive while it waits for its database, says it is ready
// only once the turnstile is online (never, here), and ends normally on the unit's stop.
TEST_F(ProgramEntryTest, ServiceRunUnderSystemdWithoutDesktop)
{
    if (!platform::serviceNotificationsWanted() && !qEnvironmentVariableIsEmpty("NOTIFY_SOCKET"))
        GTEST_SKIP() << "runs under a unit itself";
    test::NotifySocket unit;
    if (!platform::serviceNotificationsWanted())
        GTEST_SKIP() << "built without libsystemd";
    environment.insert(u"NOTIFY_SOCKET"_s, unit.path());
    environment.insert(u"WATCHDOG_USEC"_s, u"1000000"_s);
    environment.remove(u"QT_QPA_PLATFORM"_s);
    environment.remove(u"DISPLAY"_s);
    environment.remove(u"WAYLAND_DISPLAY"_s);
    const QString logDir = dir.file(u"service"_s);

    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(ProgramPath(),
                  {u"--service"_s, u"--registry"_s, dir.file(u"machine.reg"_s), u"--log-dir"_s, logDir});
    ASSERT_TRUE(program.waitForStarted(10000));
    QStringList heard;
    EXPECT_TRUE(WaitWhileRunning(program,
                                 [&] {
                                     heard += unit.received();
                                     return heard.count(u"WATCHDOG=1"_s) >= 2;
                                 }))
        << heard.join(u' ').toStdString() << program.readAllStandardError().toStdString();
    EXPECT_FALSE(heard.contains(u"READY=1"_s));
    ASSERT_EQ(program.state(), QProcess::Running);
    Stop(program);
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);

    QString logged;
    for (const QFileInfo& file : QDir(logDir).entryInfoList(QDir::Files)) {
        QFile log(file.filePath());
        if (log.open(QIODevice::ReadOnly))
            logged += QString::fromLatin1(log.readAll());
    }
    EXPECT_TRUE(logged.contains(u"Inicialização do programa como serviço"_s)) << logged.toStdString();
    EXPECT_TRUE(logged.contains(u"O programa foi finalizado normalmente"_s));
}

// An activity log that cannot be written is told once on stderr, where the service's journal
// is, and the program goes on.
TEST_F(ProgramEntryTest, LogFolderThatCannotBeWrittenIsToldOnce)
{
    const QString blocker = dir.file(u"blocker"_s);
    ASSERT_TRUE(QFile(blocker).open(QIODevice::WriteOnly));
    QProcess program;
    Start(program, blocker + u"/logCatraca"_s);
    // The program writes in the system's own encoding (Windows-1252 on Windows), and names the
    // folder the system's way.
    QByteArray errors;
    const QString told = u"o log de atividade não pode ser escrito na pasta"_s;
    WaitWhileRunning(program, [&] {
        errors += program.readAllStandardError();
        return QString::fromLocal8Bit(errors).contains(told);
    });
    // Start-up goes on writing (and losing) lines for a while.
    QThread::msleep(1500);
    errors += program.readAllStandardError();
    EXPECT_EQ(program.state(), QProcess::Running);
#ifdef _WIN32
    // On Windows only the service control manager asks a copy without a window to stop: the
    // test ends it the hard way there, and its exit status says nothing.
    program.kill();
    program.waitForFinished(10000);
#else
    Stop(program);
    EXPECT_EQ(program.exitCode(), 0);
#endif
    errors += program.readAllStandardError();
    const QString text = QString::fromLocal8Bit(errors);
    EXPECT_EQ(text.count(told), 1) << qPrintable(text);
    EXPECT_TRUE(text.contains(QDir::toNativeSeparators(blocker))) << qPrintable(text);
}

} // namespace
} // namespace zul
