#include "support/Settings.h"

#include "TempDir.h"
#include "support/Error.h"
#include "support/Messages.h"

#include <QDir>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <ostream>

using namespace Qt::StringLiterals;

using namespace zul;

namespace {

class SettingsTest : public ::testing::Test
{
protected:
    test::TempDir dir;
    platform::RegistryStore store{dir.file(u"HKLM.reg"_s).toStdString()};
    TMessages messages;
    SettingsStore settings{messages, store};

    // Values planted behind the store's back, as another program or an administrator would.
    std::unique_ptr<platform::RegistryKey> key() const
    {
        auto opened = platform::openLocalMachineKey(store, SettingsStore::KeyPath, true);
        EXPECT_NE(opened, nullptr);
        return opened;
    }

    template <typename Read> QString errorOf(Read read) const
    {
        try {
            read();
        } catch (const Error& e) {
            return e.message();
        }
        return {};
    }
};

TEST_F(SettingsTest, CleanMachineReadsTheDefaultsAndCreatesTheKey)
{
    EXPECT_EQ(settings.readLogSwitch(), std::nullopt);
    EXPECT_EQ(settings.readProfileCode(), QString());
    EXPECT_EQ(settings.readScheduledSync(), std::nullopt);
    EXPECT_FALSE(settings.hasScheduledSync());
    EXPECT_NE(platform::openLocalMachineKey(store, SettingsStore::KeyPath, false), nullptr);
}

TEST_F(SettingsTest, LogSwitchIsADWordOfZeroOrOne)
{
    settings.writeLogSwitch(false);
    EXPECT_EQ(settings.readLogSwitch(), false);
    EXPECT_EQ(key()->readDWord("LogCatraca"), 0u);
    settings.writeLogSwitch(true);
    EXPECT_EQ(settings.readLogSwitch(), true);
    EXPECT_EQ(key()->readDWord("LogCatraca"), 1u);

    ASSERT_TRUE(key()->writeDWord("LogCatraca", 7));
    EXPECT_EQ(settings.readLogSwitch(), true);
}

TEST_F(SettingsTest, LogSwitchStoredAsTextIsUnreadable)
{
    ASSERT_TRUE(key()->writeString("LogCatraca", "1"));
    EXPECT_EQ(settings.readLogSwitch(), std::nullopt);
}

TEST_F(SettingsTest, ProfileCodeIsAStringKeptAsWritten)
{
    settings.writeProfileCode(u"305"_s);
    EXPECT_EQ(settings.readProfileCode(), u"305"_s);
    EXPECT_EQ(key()->readString("PortaADOCatraca"), std::string("305"));
    settings.writeProfileCode(u"   "_s);
    EXPECT_EQ(settings.readProfileCode(), u"   "_s);
    ASSERT_TRUE(key()->writeString("PortaADOCatraca", "a\xE7\xE3o"));
    EXPECT_EQ(settings.readProfileCode(), u"ação"_s);
}

TEST_F(SettingsTest, ValueNamesComeFromTheCatalogueAtEachAccess)
{
    messages.Messages << u"PORTA_ADO|PortaOutra"_s;
    settings.writeProfileCode(u"212"_s);
    EXPECT_EQ(key()->readString("PortaOutra"), std::string("212"));
    EXPECT_EQ(key()->valueType("PortaADOCatraca"), std::nullopt);
}

struct WrongType
{
    const char* name;
    std::function<void(platform::RegistryKey&)> plant;
    std::function<void(SettingsStore&)> read;
    const char16_t* error;
};

void PrintTo(const WrongType& c, std::ostream* os)
{
    *os << c.name;
}

class SettingsWrongTypeTest : public SettingsTest, public ::testing::WithParamInterface<WrongType>
{
};

TEST_P(SettingsWrongTypeTest, FailsWithTheTypeErrorNamingTheValue)
{
    GetParam().plant(*key());
    EXPECT_EQ(errorOf([&] { GetParam().read(settings); }), QString::fromUtf16(GetParam().error));
}

const auto readSchedule = [](SettingsStore& s) { s.readScheduledSync(); };

INSTANTIATE_TEST_SUITE_P(
    Values, SettingsWrongTypeTest,
    ::testing::Values(
        WrongType{"scheduleOfFourBytes",
                  [](platform::RegistryKey& k) {
                      k.writeBinary("DTHRAgeBio", {0, 0, 0, 0});
                  },
                  readSchedule, u"Tipo de dado inválido para 'DTHRAgeBio'"},
        WrongType{"scheduleOfNineBytes",
                  [](platform::RegistryKey& k) { k.writeBinary("DTHRAgeBio", std::vector<std::uint8_t>(9)); },
                  readSchedule, u"Tipo de dado inválido para 'DTHRAgeBio'"},
        WrongType{"scheduleAsDWord", [](platform::RegistryKey& k) { k.writeDWord("DTHRAgeBio", 46000); },
                  readSchedule, u"Tipo de dado inválido para 'DTHRAgeBio'"},
        WrongType{"scheduleAsText", [](platform::RegistryKey& k) { k.writeString("DTHRAgeBio", "46000.5"); },
                  readSchedule, u"Tipo de dado inválido para 'DTHRAgeBio'"},
        WrongType{"scheduleNotANumber",
                  [](platform::RegistryKey& k) {
                      k.writeBinary("DTHRAgeBio", {0, 0, 0, 0, 0, 0, 0xF8, 0x7F});
                  },
                  readSchedule, u"Tipo de dado inválido para 'DTHRAgeBio'"},
        WrongType{
            "profileCodeAsDWord", [](platform::RegistryKey& k) { k.writeDWord("PortaADOCatraca", 211); },
            [](SettingsStore& s) { s.readProfileCode(); }, u"Tipo de dado inválido para 'PortaADOCatraca'"}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST_F(SettingsTest, ScheduleIsStoredAsEightLittleEndianBytesOfAnOleDate)
{
    const QDateTime when(QDate(2000, 1, 1), QTime(12, 0));
    settings.writeScheduledSync(when);
    const auto bytes = key()->readBinary("DTHRAgeBio");
    ASSERT_TRUE(bytes.has_value());
    ASSERT_EQ(bytes->size(), 8u);
    const double expected = 36526.5;
    std::uint64_t bits = 0;
    std::memcpy(&bits, &expected, sizeof bits);
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_EQ((*bytes)[i], std::uint8_t(bits >> (8 * i))) << i;

    EXPECT_TRUE(settings.hasScheduledSync());
    EXPECT_EQ(settings.readScheduledSync(), when);
    settings.deleteScheduledSync();
    EXPECT_FALSE(settings.hasScheduledSync());
    EXPECT_EQ(settings.readScheduledSync(), std::nullopt);
    settings.deleteScheduledSync(); // nothing to remove is no error
}

TEST_F(SettingsTest, StoreThatCannotBeOpenedGivesDefaultsAndLosesWritesLoudly)
{
    ASSERT_TRUE(test::BlockRegistryStore(store.file));
    SettingsStore broken(messages, store);
    EXPECT_EQ(broken.readLogSwitch(), std::nullopt);
    EXPECT_EQ(broken.readProfileCode(), QString());
    EXPECT_EQ(broken.readScheduledSync(), std::nullopt);
    EXPECT_NO_THROW(broken.deleteScheduledSync());
    EXPECT_EQ(errorOf([&] { broken.writeLogSwitch(true); }), u"Falha ao atribuir dados ao 'LogCatraca'"_s);
    EXPECT_EQ(errorOf([&] { broken.writeProfileCode(u"211"_s); }),
              u"Falha ao atribuir dados ao 'PortaADOCatraca'"_s);
    EXPECT_EQ(errorOf([&] { broken.writeScheduledSync(QDateTime(QDate(2026, 1, 5), QTime(8, 30))); }),
              u"Falha ao atribuir dados ao 'DTHRAgeBio'"_s);
}

struct OleCase
{
    QDateTime when;
    double days;
};

void PrintTo(const OleCase& c, std::ostream* os)
{
    *os << c.days;
}

class OleDateTest : public ::testing::TestWithParam<OleCase>
{
};

TEST_P(OleDateTest, ConvertsBothWays)
{
    EXPECT_DOUBLE_EQ(SettingsStore::toOleDate(GetParam().when), GetParam().days);
    EXPECT_EQ(SettingsStore::fromOleDate(GetParam().days), GetParam().when);
}

INSTANTIATE_TEST_SUITE_P(Dates, OleDateTest,
                         ::testing::Values(OleCase{QDateTime(QDate(1899, 12, 30), QTime(0, 0)), 0.0},
                                           OleCase{QDateTime(QDate(1899, 12, 31), QTime(18, 0)), 1.75},
                                           OleCase{QDateTime(QDate(1899, 12, 29), QTime(6, 0)), -1.25},
                                           OleCase{QDateTime(QDate(1899, 12, 30), QTime(12, 0)), 0.5},
                                           OleCase{QDateTime(QDate(2000, 1, 1), QTime(0, 0)), 36526.0},
                                           OleCase{QDateTime(QDate(2026, 1, 5), QTime(8, 30)),
                                                   46027.0 + 8.5 / 24.0},
                                           OleCase{QDateTime(QDate(9999, 12, 31), QTime(0, 0)), 2958465.0}));

TEST(OleDateConversionTest, KeepsMillisecondsAndRoundsToTheNearestOne)
{
    const QDateTime when(QDate(2026, 1, 5), QTime(23, 59, 59, 999));
    EXPECT_EQ(SettingsStore::fromOleDate(SettingsStore::toOleDate(when)), when);
    EXPECT_EQ(SettingsStore::fromOleDate(46028.0 - 1e-10), QDateTime(QDate(2026, 1, 6), QTime(0, 0)));
}

TEST(OleDateConversionTest, NumbersThatAreNoDateGiveNoDate)
{
    EXPECT_FALSE(SettingsStore::fromOleDate(std::numeric_limits<double>::quiet_NaN()).isValid());
    EXPECT_FALSE(SettingsStore::fromOleDate(std::numeric_limits<double>::infinity()).isValid());
    EXPECT_FALSE(SettingsStore::fromOleDate(1e300).isValid());
    EXPECT_FALSE(SettingsStore::fromOleDate(-1e7).isValid());
}

TEST_F(SettingsTest, NotificationSocketValuesAreTextsThatGoWhenEmptied)
{
    // Unset: the empty text, which the socket takes as all addresses and everyone.
    EXPECT_EQ(settings.readNotificationListenAddress(), QString());
    EXPECT_EQ(settings.readNotificationClients(), QString());

    settings.writeNotificationListenAddress(u"192.168.0.5"_s);
    settings.writeNotificationClients(u"192.168.0.0/24, 10.0.0.7"_s);
    EXPECT_EQ(settings.readNotificationListenAddress(), u"192.168.0.5"_s);
    EXPECT_EQ(settings.readNotificationClients(), u"192.168.0.0/24, 10.0.0.7"_s);
    EXPECT_EQ(key()->readString("SocketClientesCatraca"), "192.168.0.0/24, 10.0.0.7");

    settings.writeNotificationClients(QString());
    EXPECT_FALSE(key()->valueType("SocketClientesCatraca").has_value());
    EXPECT_EQ(settings.readNotificationListenAddress(), u"192.168.0.5"_s);

    // Another type is an error, not "everyone": the caller must not open the socket on it.
    key()->writeDWord("SocketClientesCatraca", 1);
    EXPECT_EQ(errorOf([&] { settings.readNotificationClients(); }),
              u"Tipo de dado inválido para 'SocketClientesCatraca'"_s);
}

} // namespace
