#include "TempDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

namespace zul {
namespace {

QString ProgramPath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("zul"));
}

class ProgramEntryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QFileInfo(ProgramPath()).isExecutable())
            GTEST_SKIP() << "zul is not built beside the tests";
        environment.insert(QStringLiteral("ZUL_LOCK_DIR"), dir.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QDir(dir.path()).mkpath(QStringLiteral("first"));
        QDir(dir.path()).mkpath(QStringLiteral("second"));
    }

    void Start(QProcess& process, const QString& logDir)
    {
        process.setProcessEnvironment(environment);
        process.start(ProgramPath(),
                      {QStringLiteral("--headless"), QStringLiteral("--registry"),
                       dir.file(QStringLiteral("machine.reg")), QStringLiteral("--log-dir"), logDir});
        ASSERT_TRUE(process.waitForStarted(10000));
    }

    test::TempDir dir;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
};

TEST_F(ProgramEntryTest, SecondCopyIsRefusedAndLogsNothing)
{
    QProcess first;
    Start(first, dir.file(QStringLiteral("first")));
    // The first copy has the mutex once it has logged its start.
    QElapsedTimer waited;
    waited.start();
    while (QDir(dir.file(QStringLiteral("first"))).isEmpty() && first.state() == QProcess::Running &&
           waited.elapsed() < 20000)
        QThread::msleep(20);
    ASSERT_EQ(first.state(), QProcess::Running) << first.readAllStandardError().toStdString();
    ASSERT_FALSE(QDir(dir.file(QStringLiteral("first"))).isEmpty());

    QProcess second;
    Start(second, dir.file(QStringLiteral("second")));
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(second.exitCode(), 0);
    const QString errors = QString::fromLocal8Bit(second.readAllStandardError());
    EXPECT_TRUE(errors.contains(QStringLiteral("O Gerenciador da Catraca já está sendo executado")))
        << errors.toStdString();
    EXPECT_TRUE(QDir(dir.file(QStringLiteral("second"))).isEmpty());
    EXPECT_EQ(first.state(), QProcess::Running);

    first.terminate();
    if (!first.waitForFinished(10000)) {
        first.kill();
        first.waitForFinished(10000);
    }
}

} // namespace
} // namespace zul
