// Behaviour every registry store must show: the .reg file on Linux and the real registry on
// Windows (under Wine in the cross build) run the same cases.
#include "platform/Registry.h"

#include "PlatformTestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>

using zul::platform::openLocalMachineKey;
using zul::platform::RegistryKey;
using zul::platform::RegistryStore;
using zul::platform::ValueType;

namespace {

// A key of its own under Software\zul-tests for each test, removed afterwards.
class RegistryTest : public ::testing::Test
{
protected:
    RegistryTest() : m_path("Software\\zul-tests\\case-" + zul::test::uniqueSuffix())
    {
#ifndef _WIN32
        m_store.file = m_folder.file("registry.reg");
#endif
    }

    ~RegistryTest() override
    {
#ifdef _WIN32
        HKEY parent = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\zul-tests", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                          &parent) == ERROR_SUCCESS) {
            RegDeleteTreeA(parent, m_path.substr(m_path.rfind('\\') + 1).c_str());
            RegCloseKey(parent);
        }
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "Software\\zul-tests", KEY_WOW64_32KEY, 0);
#endif
    }

    std::unique_ptr<RegistryKey> open(const std::string& path, bool create = false)
    {
        return openLocalMachineKey(m_store, path, create);
    }
    std::unique_ptr<RegistryKey> key()
    {
        auto k = open(m_path, true);
        EXPECT_NE(k, nullptr);
        return k;
    }

    zul::test::TempFolder m_folder;
    RegistryStore m_store;
    std::string m_path;
};

std::string upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

struct Sample
{
    const char* label;
    ValueType type;
    std::string text;
    std::uint32_t number = 0;
    std::vector<std::uint8_t> bytes = {};
};

std::vector<std::uint8_t> allBytes()
{
    std::vector<std::uint8_t> v(300);
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<std::uint8_t>(i);
    return v;
}

const Sample kSamples[] = {
    {"EmptyText", ValueType::String, ""},
    {"ProfileCode", ValueType::String, "211"},
    {"QuotesAndBackslashes", ValueType::String, "C:\\Arquivos\\\"zul\"\\"},
    {"Windows1252Accents", ValueType::String, "Configura\xE7\xE3o \x95 S\xE3o Paulo"},
    {"LineBreaks", ValueType::String, "first\r\nsecond\nthird"},
    {"LongText", ValueType::String, std::string(2000, 'x')},
    {"DWordZero", ValueType::DWord, {}, 0},
    {"DWordTen", ValueType::DWord, {}, 10},
    {"DWordAllOnes", ValueType::DWord, {}, 0xFFFFFFFFu},
    {"BinaryEmpty", ValueType::Binary, {}, 0, {}},
    {"BinaryDateTime", ValueType::Binary, {}, 0, {0x00, 0x00, 0x00, 0x00, 0x5c, 0x1d, 0xe6, 0x40}},
    {"BinaryEveryByte", ValueType::Binary, {}, 0, allBytes()},
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const Sample& c, std::ostream* os)
{
    *os << c.label;
}

class RegistryRoundTrip : public RegistryTest, public ::testing::WithParamInterface<Sample>
{
};

TEST_P(RegistryRoundTrip, ReadsBackWhatWasWrittenWithItsTypeOnly)
{
    const Sample& s = GetParam();
    auto k = key();
    ASSERT_NE(k, nullptr);
    bool written = false;
    switch (s.type) {
    case ValueType::String:
        written = k->writeString("Value", s.text);
        break;
    case ValueType::DWord:
        written = k->writeDWord("Value", s.number);
        break;
    default:
        written = k->writeBinary("Value", s.bytes);
        break;
    }
    ASSERT_TRUE(written);

    // A fresh handle, so nothing can come from the first one.
    auto again = open(m_path);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->valueType("Value"), s.type);
    const auto text = again->readString("Value");
    const auto number = again->readDWord("Value");
    const auto bytes = again->readBinary("Value");
    EXPECT_EQ(text.has_value(), s.type == ValueType::String);
    EXPECT_EQ(number.has_value(), s.type == ValueType::DWord);
    EXPECT_EQ(bytes.has_value(), s.type == ValueType::Binary);
    if (text) {
        EXPECT_EQ(*text, s.text);
    }
    if (number) {
        EXPECT_EQ(*number, s.number);
    }
    if (bytes) {
        EXPECT_EQ(*bytes, s.bytes);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryType, RegistryRoundTrip, ::testing::ValuesIn(kSamples),
                         [](const auto& p) { return std::string(p.param.label); });

TEST_F(RegistryTest, MissingValueReadsNothing)
{
    auto k = key();
    EXPECT_FALSE(k->valueType("Absent"));
    EXPECT_FALSE(k->readString("Absent"));
    EXPECT_FALSE(k->readDWord("Absent"));
    EXPECT_FALSE(k->readBinary("Absent"));
}

TEST_F(RegistryTest, RewritingAValueChangesItsType)
{
    auto k = key();
    ASSERT_TRUE(k->writeString("LogCatraca", "1"));
    ASSERT_TRUE(k->writeDWord("LogCatraca", 1));
    EXPECT_EQ(k->valueType("LogCatraca"), ValueType::DWord);
    EXPECT_FALSE(k->readString("LogCatraca"));
    EXPECT_EQ(k->valueNames().size(), 1u);
}

TEST_F(RegistryTest, EnumeratesAndDeletesValues)
{
    auto k = key();
    EXPECT_TRUE(k->valueNames().empty());
    ASSERT_TRUE(k->writeDWord("LogCatraca", 0));
    ASSERT_TRUE(k->writeString("PortaADOCatraca", "211"));
    ASSERT_TRUE(k->writeBinary("DTHRAgeBio", {1, 2, 3, 4, 5, 6, 7, 8}));
    auto names = k->valueNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"DTHRAgeBio", "LogCatraca", "PortaADOCatraca"}));

    EXPECT_TRUE(k->deleteValue("DTHRAgeBio"));
    EXPECT_FALSE(k->readBinary("DTHRAgeBio"));
    EXPECT_FALSE(k->deleteValue("DTHRAgeBio")) << "deleting a missing value is not a success";
    EXPECT_EQ(k->readString("PortaADOCatraca"), "211");
    EXPECT_EQ(k->valueNames().size(), 2u);
}

TEST_F(RegistryTest, CreatesMissingParentsAndOpensOnlyExistingKeys)
{
    EXPECT_EQ(open(m_path + "\\Sistemas\\WebSrv"), nullptr);
    auto k = open(m_path + "\\Sistemas\\WebSrv", true);
    ASSERT_NE(k, nullptr);
    EXPECT_NE(open(m_path), nullptr);
    EXPECT_NE(open(m_path + "\\Sistemas"), nullptr);
    EXPECT_NE(open(m_path + "\\Sistemas\\WebSrv"), nullptr);
    EXPECT_EQ(open(m_path + "\\Sistemas\\Other"), nullptr);
    EXPECT_TRUE(open(m_path + "\\Sistemas")->valueNames().empty());
}

TEST_F(RegistryTest, KeyAndValueNamesIgnoreLetterCase)
{
    ASSERT_TRUE(key()->writeString("PortaADOCatraca", "211"));
    auto k = open(upper(m_path));
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->readString("portaadocatraca"), "211");
    ASSERT_TRUE(k->writeString("PORTAADOCATRACA", "300"));
    EXPECT_EQ(key()->readString("PortaADOCatraca"), "300");
    EXPECT_EQ(key()->valueNames().size(), 1u);
    EXPECT_TRUE(k->deleteValue("portaADOcatraca"));
    EXPECT_TRUE(key()->valueNames().empty());
}

TEST_F(RegistryTest, EveryCallSeesTheStoreAsItIsNow)
{
    auto first = key();
    auto second = key();
    ASSERT_TRUE(first->writeDWord("LogCatraca", 1));
    EXPECT_EQ(second->readDWord("LogCatraca"), 1u);
    ASSERT_TRUE(second->writeDWord("LogCatraca", 0));
    EXPECT_EQ(first->readDWord("LogCatraca"), 0u);
}

TEST_F(RegistryTest, SiblingKeysKeepTheirOwnValues)
{
    auto a = open(m_path + "\\A", true);
    auto b = open(m_path + "\\B", true);
    ASSERT_TRUE(a->writeString("Name", "a"));
    ASSERT_TRUE(b->writeString("Name", "b"));
    EXPECT_EQ(a->readString("Name"), "a");
    EXPECT_EQ(b->readString("Name"), "b");
    EXPECT_TRUE(open(m_path)->valueNames().empty());
}

// On Windows a named store is a key of its own: the file's path, folder by folder, under the
// stores' key. Forward and back slashes alike, a doubled or trailing one adds no empty name.
TEST(NamedRegistryStoreTest, KeyFollowsTheFilesPathFolderByFolder)
{
    using zul::platform::namedStoreKeyPath;
    EXPECT_EQ(namedStoreKeyPath("C:/dados/m.reg"), "Software\\Zul\\Stores\\C:\\dados\\m.reg");
    EXPECT_EQ(namedStoreKeyPath("C:\\dados\\m.reg"), "Software\\Zul\\Stores\\C:\\dados\\m.reg");
    EXPECT_EQ(namedStoreKeyPath("//srv//share\\\\x.reg/"), "Software\\Zul\\Stores\\srv\\share\\x.reg");
    // Every store named by a file of a folder lies under the folder's own key.
    const std::string folder = namedStoreKeyPath("Z:/tmp/zul-x");
    EXPECT_EQ(namedStoreKeyPath("Z:/tmp/zul-x/missing/HKLM.reg").rfind(folder + "\\", 0), 0u);
}

// Two stores named by two files never see each other's keys, nor the machine's.
TEST(NamedRegistryStoreTest, StoresOfTwoFilesAreApart)
{
    zul::test::TempFolder folder;
    const RegistryStore first{folder.file("first.reg")};
    const RegistryStore second{folder.file("second.reg")};
    const std::string path = "Software\\zul-tests\\named-" + zul::test::uniqueSuffix();
    auto a = openLocalMachineKey(first, path, true);
    ASSERT_NE(a, nullptr);
    ASSERT_TRUE(a->writeString("Name", "first"));
    EXPECT_EQ(openLocalMachineKey(second, path, false), nullptr);
    EXPECT_EQ(openLocalMachineKey(RegistryStore{}, path, false), nullptr);
    auto b = openLocalMachineKey(second, path, true);
    ASSERT_NE(b, nullptr);
    ASSERT_TRUE(b->writeString("Name", "second"));
    EXPECT_EQ(openLocalMachineKey(first, path, false)->readString("Name"), "first");
#ifdef _WIN32
    // The store lies where its name says, and goes with its folder's key.
    HKEY raw = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER,
                            (zul::platform::namedStoreKeyPath(first.file) + "\\" + path).c_str(), 0, KEY_READ,
                            &raw),
              ERROR_SUCCESS);
    RegCloseKey(raw);
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, zul::platform::namedStoreKeyPath(folder.path()).c_str()),
              ERROR_SUCCESS);
    EXPECT_EQ(openLocalMachineKey(first, path, false), nullptr);
#endif
}

} // namespace
