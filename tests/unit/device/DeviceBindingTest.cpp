#include "device/DeviceBinding.h"

#include "FakeDeviceUi.h"
#include "TempDir.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Error.h"
#include "support/Messages.h"
#include "support/Win1252.h"

#include <QFile>
#include <gtest/gtest.h>

namespace zul {
namespace {

using namespace Qt::StringLiterals;

// The texts of the day's log lines, without their time stamps.
QStringList logTexts(const ActivityLog& log, const Clock& clock)
{
    QFile file(log.filePathFor(clock.now().date()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList texts;
    for (const QString& line : fromWin1252(file.readAll()).split(u"\r\n"_s, Qt::SkipEmptyParts)) {
        const qsizetype tab = line.indexOf(u'\t');
        texts << (tab < 0 ? line : line.mid(tab + 1));
    }
    return texts;
}

// A device link whose library is looked for under a name that exists nowhere.
class UnloadedDeviceTest : public ::testing::Test
{
protected:
    test::TempDir dir;
    ManualClock clock;
    ActivityLog log{clock, dir.path()};
    TMessages messages;
    test::FakeDeviceUi ui;
    DeviceBinding device{clock, log, messages, ui, u"libNoSuchEasyInner.so"_s};

    QStringList logged() const { return logTexts(log, clock); }
};

// --- link port ---------------------------------------------------------------------------------

struct PortCase
{
    const char* serial;
    const char* tcp;
    bool serialTicked;
    int port;     // -1: the caption holds no number
    int linkType;
};

class ReadDevicePortTest : public UnloadedDeviceTest, public ::testing::WithParamInterface<PortCase>
{
};

TEST_P(ReadDevicePortTest, TakesTheDigitsOfTheTickedCaption)
{
    const PortCase& c = GetParam();
    ui.link = {QString::fromUtf8(c.serial), QString::fromUtf8(c.tcp), c.serialTicked, !c.serialTicked};
    device.DevicePort = 4242;
    if (c.port < 0) {
        try {
            device.ReadDevicePort();
            FAIL() << "a caption without digits must not give a port";
        } catch (const Error& error) {
            EXPECT_EQ(error.message(), u"'' is not a valid integer value"_s);
        }
        EXPECT_EQ(device.DevicePort, 4242);
    } else {
        device.ReadDevicePort();
        EXPECT_EQ(device.DevicePort, c.port);
    }
    EXPECT_EQ(device.currentLinkType(), c.linkType);
}

INSTANTIATE_TEST_SUITE_P(
    Captions, ReadDevicePortTest,
    ::testing::Values(PortCase{"&Serial   (Porta 1)", "TCP/&IP (Porta 3570)", false, 3570, 1},
                      PortCase{"&Serial   (Porta 1)", "TCP/&IP (Porta 3570)", true, 1, 0},
                      PortCase{"&Serial   (Porta 2)", "TCP/&IP (Porta 10)", false, 10, 1},
                      PortCase{"Serial 0x1F", "TCP/&IP (Porta 3570)", true, 1, 0},
                      PortCase{"&Serial   (Porta 1)", "TCP/&IP (Porta )", false, -1, 1},
                      PortCase{"&Serial   (Porta )", "TCP/&IP (Porta 3570)", true, -1, 0}));

// --- status line -------------------------------------------------------------------------------

struct StatusCase
{
    int code;
    const char* given;
    const char* shown;
};

class ShowStatusTest : public UnloadedDeviceTest, public ::testing::WithParamInterface<StatusCase>
{
};

TEST_P(ShowStatusTest, ShowsTheCatalogueTextOfTheCode)
{
    const StatusCase& c = GetParam();
    const QString shown = device.ShowStatus(c.code, QString::fromUtf8(c.given));
    EXPECT_EQ(shown, QString::fromUtf8(c.shown));
    EXPECT_EQ(ui.caption, shown);
    EXPECT_EQ(ui.hint, shown);
}

INSTANTIATE_TEST_SUITE_P(Codes, ShowStatusTest,
                         ::testing::Values(StatusCase{0, "", "Tentando conectar catraca..."},
                                           StatusCase{1, "ignored", "Catraca conectada"},
                                           StatusCase{4, "", "Catraca desconectada"},
                                           StatusCase{6, "ignored", ""}, StatusCase{25, "ignored", ""},
                                           StatusCase{-1, "ignored", ""},
                                           StatusCase{256, "Sincronizando 10%", "Sincronizando 10%"}));

TEST_F(UnloadedDeviceTest, StatusKeysFollowTheCodeTable)
{
    const QStringList keys = {
        u"TENTANDO"_s,         u"CONECTADA"_s,       u"NAO_CONECTOU"_s,     u"FECHE_CONEX"_s,
        u"DESCONECT"_s,        u"FALHA_DESCON"_s,    QString(),             u"FALHA_DLL"_s,
        u"CONFIG_OFF"_s,       u"CONFIG_OFF_OK"_s,   u"ERRO_CONFIG_OFF"_s,  u"MESSAGE_OFF"_s,
        u"MESSAGE_OFF_OK"_s,   u"ERRO_MESSAGE_OFF"_s, u"MESSAGE_CONFIG_OK"_s, u"SINCRONIZANDO"_s,
        u"SINCRONISMO_OK"_s,   u"SINCRONISMO_ERRO"_s, u"BD_EXCLUINDO"_s,     u"BD_EXCLUIDO_OK"_s,
        u"BD_EXCLUIDO_ERRO"_s, u"ATUALIZA_CATRACA"_s, u"ATUALIZA_OK"_s,      u"ATUALIZA_ERRO"_s,
        u"PREPARANDO_SINC"_s};
    for (int code = 0; code < keys.size(); ++code)
        EXPECT_EQ(DeviceBinding::statusKey(code), keys[code]) << code;
}

TEST_F(UnloadedDeviceTest, TrayTipIsTheShortHintCutTo63Characters)
{
    device.ShowStatus(256, u"curto|longo"_s);
    EXPECT_EQ(ui.hint, u"curto|longo"_s);
    EXPECT_EQ(ui.trayTip, u"curto"_s);

    const QString longText = QString(70, u'x');
    device.ShowStatus(256, longText);
    EXPECT_EQ(ui.trayTip, QString(63, u'x'));
    EXPECT_EQ(ui.caption, longText);
}

TEST_F(UnloadedDeviceTest, FailingStatusLineIsLoggedAndTheOldCaptionStays)
{
    ui.failStatusLine = true;
    EXPECT_EQ(device.ShowStatus(1), u"Catraca desconectada"_s);
    EXPECT_TRUE(logged().contains(u"##### Mensagens - ERRO: rótulo indisponível #####"_s));
    EXPECT_EQ(ui.hint, u"Catraca desconectada"_s);
}

// --- restart request ---------------------------------------------------------------------------

TEST_F(UnloadedDeviceTest, IniCatracaStopsTheLoopAndSchedulesTheStart)
{
    device.StopFlag = false;
    device.IniCatraca();
    EXPECT_TRUE(device.StopFlag);
    EXPECT_TRUE(ui.inicializaTimerOn);
    EXPECT_EQ(ui.menusEnabled, 1);
}

TEST_F(UnloadedDeviceTest, IniCatracaLogsItsFailure)
{
    ui.failTimer = true;
    device.StopFlag = false;
    device.IniCatraca();
    EXPECT_TRUE(device.StopFlag);
    EXPECT_TRUE(logged().contains(u"##### IniCatraca - ERRO: timer indisponível #####"_s));
}

// --- without the library -----------------------------------------------------------------------

TEST_F(UnloadedDeviceTest, LibraryNotFoundGivesHandleZeroAndNamesTheFile)
{
    EXPECT_EQ(device.LoadDeviceLibrary(), 0u);
    EXPECT_EQ(device.LibraryHandle, 0u);
    EXPECT_EQ(logged(), QStringList{u"Carregando biblioteca da catraca..."_s});
    EXPECT_EQ(device.libraryNotFoundText(), u"A DLL \"libNoSuchEasyInner.so\" não foi encontrada."_s);
    EXPECT_EQ(device.libraryErrorText(), u"Erro ao carregar a DLL \"libNoSuchEasyInner.so\"."_s);
}

TEST_F(UnloadedDeviceTest, NothingBindsWhileTheLibraryIsNotLoaded)
{
    device.LoadDeviceLibrary();
    auto sentinel = reinterpret_cast<easyinner::Ping::Pointer>(0x1234);
    auto proc = sentinel;
    EXPECT_FALSE(device.BindEntryPoint(proc, "Ping"));
    EXPECT_EQ(proc, sentinel);
    EXPECT_FALSE(device.Call<easyinner::Ping>(device.DeviceNumber).has_value());

    int result = 77;
    EXPECT_FALSE(device.CallInto<easyinner::Ping>(result, device.DeviceNumber));
    EXPECT_EQ(result, 77);
}

TEST_F(UnloadedDeviceTest, WithoutLibraryPingFailsAndConfigurationReportsIt)
{
    device.LoadDeviceLibrary();
    EXPECT_EQ(device.PingDevice(), 1);
    EXPECT_EQ(device.SendOnlineConfig(), 1);
    const QStringList lines = logged();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.last().startsWith(u"##### Config Online - ERRO: "_s)) << lines.last().toStdString();
}

TEST_F(UnloadedDeviceTest, StartWithoutLibraryEmptiesTheStatusAndRaisesFalhaDll)
{
    device.LoadDeviceLibrary();
    bool loopRan = false;
    try {
        device.StartConnection([] { return true; }, [&] { loopRan = true; });
        FAIL() << "the start must be refused";
    } catch (const Error& error) {
        EXPECT_EQ(error.message(), messages.Lookup(u"FALHA_DLL"_s));
    }
    EXPECT_FALSE(loopRan);
    EXPECT_EQ(ui.caption, QString());
    EXPECT_EQ(ui.menusEnabled, 1);
    EXPECT_EQ(logged().last(), u"Inicialização da catraca..."_s);
}

TEST_F(UnloadedDeviceTest, StartWithTheDatabaseDownTouchesNothing)
{
    device.LoadDeviceLibrary();
    bool loopRan = false;
    device.StartConnection([] { return false; }, [&] { loopRan = true; });
    EXPECT_FALSE(loopRan);
    EXPECT_EQ(ui.caption, u"Catraca desconectada"_s);
    EXPECT_EQ(logged().last(), u"Inicialização da catraca..."_s);
}

TEST_F(UnloadedDeviceTest, StopWithoutLibraryShowsTheDisconnectFailure)
{
    device.LoadDeviceLibrary();
    device.StopFlag = false;
    device.StopConnection();
    EXPECT_TRUE(device.StopFlag);
    EXPECT_FALSE(ui.reconnectTimerOn);
    EXPECT_EQ(ui.caption, messages.Lookup(u"FALHA_DESCON"_s));
    EXPECT_EQ(logged().last(), u"Fechando a porta de comunicação com a catraca"_s);
}

} // namespace
} // namespace zul
