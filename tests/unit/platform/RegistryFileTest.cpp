// The .reg file that stands for HKEY_LOCAL_MACHINE where there is no Windows registry.
#ifndef _WIN32

#include "PlatformTestSupport.h"
#include "platform/Registry.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zul::platform;
using zul::test::readFile;
using zul::test::writeFile;

namespace {

constexpr const char* kWebSrv = "Software\\VORLUND\\Sistemas Integrados Vorlund\\WebSrv";

class RegistryFileTest : public ::testing::Test
{
protected:
    std::unique_ptr<RegistryKey> open(const std::string& path, bool create = false)
    {
        return openLocalMachineKey(m_store, path, create);
    }
    std::size_t filesInFolder() const
    {
        return static_cast<std::size_t>(
            std::distance(std::filesystem::directory_iterator(m_folder.path()), {}));
    }

    zul::test::TempFolder m_folder;
    RegistryStore m_store{m_folder.file("registry.reg")};
};

TEST_F(RegistryFileTest, WritesRegeditFormat)
{
    auto k = open(kWebSrv, true);
    ASSERT_NE(k, nullptr);
    ASSERT_TRUE(k->writeDWord("LogCatraca", 10));
    ASSERT_TRUE(k->writeString("PortaADOCatraca", "C:\\\"x\""));
    ASSERT_TRUE(k->writeBinary("DTHRAgeBio", {0x01, 0xab, 0x00}));
    ASSERT_TRUE(k->writeString("Two lines", "a\nb"));
    ASSERT_TRUE(k->writeString("", "default"));
    EXPECT_EQ(readFile(m_store.file),
              "REGEDIT4\n"
              "\n"
              "[HKEY_LOCAL_MACHINE]\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\Software]\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\Software\\VORLUND]\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\Software\\VORLUND\\Sistemas Integrados Vorlund]\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\Software\\VORLUND\\Sistemas Integrados Vorlund\\WebSrv]\n"
              "\"LogCatraca\"=dword:0000000a\n"
              "\"PortaADOCatraca\"=\"C:\\\\\\\"x\\\"\"\n"
              "\"DTHRAgeBio\"=hex:01,ab,00\n"
              "\"Two lines\"=hex(1):61,0a,62,00\n"
              "@=\"default\"\n"
              "\n");
}

TEST_F(RegistryFileTest, ReadsAFileWrittenByHandOrOnWindows)
{
    writeFile(m_store.file,
              "REGEDIT4\r\n"
              "\r\n"
              "; exported from the old workstation\r\n"
              "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
              "\"Kept\"=\"yes\"\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\VORLUND\\Sistemas Integrados Vorlund\\WebSrv]\r\n"
              "\"LogCatraca\"=dword:0000000A\r\n"
              "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
              "  17,18\r\n"
              "\"Path\"=hex(2):25,00\r\n"
              "\"Text\"=hex(1):41,42,00\r\n"
              "@=\"root\"\r\n");
    auto k = open(kWebSrv);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->readDWord("LogCatraca"), 10u);
    const auto blob = k->readBinary("Blob");
    ASSERT_TRUE(blob);
    EXPECT_EQ(blob->size(), 25u);
    EXPECT_EQ(blob->back(), 0x18);
    EXPECT_EQ(k->valueType("Path"), ValueType::Other);
    EXPECT_EQ(k->readString("Text"), "AB");
    EXPECT_EQ(k->readString(""), "root");

    // A write keeps what this program does not know about.
    ASSERT_TRUE(k->writeDWord("LogCatraca", 0));
    const std::string after = readFile(m_store.file);
    EXPECT_NE(after.find("[HKEY_CURRENT_USER\\Software\\Other]\n\"Kept\"=\"yes\"\n"), std::string::npos)
        << after;
    EXPECT_NE(after.find("\"Path\"=hex(2):25,00\n"), std::string::npos) << after;
    EXPECT_EQ(open(kWebSrv)->valueType("Path"), ValueType::Other);
    EXPECT_EQ(open(kWebSrv)->readBinary("Blob"), blob);
}

struct Corrupt
{
    const char* label;
    const char* content;
    std::size_t line; // where the problem is reported; 0 for the file as a whole
    const char* reason;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const Corrupt& c, std::ostream* os)
{
    *os << c.label;
}

class RegistryCorruptFile : public RegistryFileTest, public ::testing::WithParamInterface<Corrupt>
{
};

// A store that cannot be understood is a key that cannot be opened, and it is never
// rewritten: every profile in it would be lost.
TEST_P(RegistryCorruptFile, KeyCannotBeOpenedAndFileIsLeftAlone)
{
    const std::string content = GetParam().content;
    writeFile(m_store.file, content);
    EXPECT_EQ(open("Software\\App"), nullptr);
    EXPECT_EQ(open("Software\\App", true), nullptr);
    EXPECT_EQ(open("Software\\Other", true), nullptr);
    EXPECT_EQ(readFile(m_store.file), content);
    EXPECT_EQ(filesInFolder(), 1u);

    // The administrator is told which file, where, and what is wrong.
    const std::string problem = registryStoreProblem(m_store);
    EXPECT_EQ(problem.rfind("arquivo de registro " + m_store.file, 0), 0u) << problem;
    const std::string at = ", linha " + std::to_string(GetParam().line) + ":";
    EXPECT_EQ(problem.find(at) != std::string::npos, GetParam().line > 0) << problem;
    EXPECT_NE(problem.find(GetParam().reason), std::string::npos) << problem;
}

const Corrupt kCorrupt[] = {
    {"Empty", "", 0, "vazio"},
    {"NoHeader", "[HKEY_LOCAL_MACHINE\\Software\\App]\n\"a\"=\"b\"\n", 1, "REGEDIT4"},
    {"UnicodeHeader", "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\App]\n", 1,
     "REGEDIT4"},
    {"ValueOutsideKey", "REGEDIT4\n\"a\"=\"b\"\n[HKEY_LOCAL_MACHINE\\Software\\App]\n", 2,
     "antes da primeira chave"},
    {"UnterminatedText", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\App]\n\"a\"=\"b\n", 3, "aspas finais"},
    {"UnknownEscape", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\App]\n\"a\"=\"C:\\dir\"\n", 3, "escape"},
    {"TextAfterValue", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\App]\n\"a\"=\"b\" c\n", 3, "sobra"},
    {"DWordTooLong", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\App]\n\"a\"=dword:000000001\n", 3, "dword"},
    {"DWordNotHex", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\App]\n\"a\"=dword:0000000g\n", 3, "dword"},
    {"BadHexByte", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\App]\n\"a\"=hex:01,2,03\n", 3, "hex"},
    {"ContinuedAtEnd", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\App]\n\"a\"=hex:01,\\", 3, "continuada"},
    {"DeletionMarker", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\App]\n\"a\"=-\n", 3, "desconhecido"},
    {"DeletedKey", "REGEDIT4\n[-HKEY_LOCAL_MACHINE\\Software\\App]\n", 2, "chave inválido"},
    {"OpenSection", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\App\n", 2, "']'"},
    {"EmptyKeyName", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\\\App]\n", 2, "chave inválido"},
    {"StrayLine", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\App]\nLogCatraca=1\n", 3, "não é chave"},
    {"ContinuedValueBrokenLater",
     "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\App]\n\"a\"=hex:01,\\\n  02,\\\n  0x\n\"b\"=\"c\"\n", 4,
     "hex"},
    {"TruncatedBinary", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\App]\n\"a\"=hex:01,02,\n", 3, "hex"},
};

INSTANTIATE_TEST_SUITE_P(Contents, RegistryCorruptFile, ::testing::ValuesIn(kCorrupt),
                         [](const auto& p) { return std::string(p.param.label); });

TEST_F(RegistryFileTest, StoreSpoiledAfterOpeningIsNeitherReadNorWritten)
{
    auto k = open(kWebSrv, true);
    ASSERT_TRUE(k->writeString("PortaADOCatraca", "211"));
    const std::string spoiled = readFile(m_store.file) + "garbage line\n";
    writeFile(m_store.file, spoiled);
    EXPECT_FALSE(k->readString("PortaADOCatraca"));
    EXPECT_TRUE(k->valueNames().empty());
    EXPECT_FALSE(k->writeString("PortaADOCatraca", "300"));
    EXPECT_FALSE(k->deleteValue("PortaADOCatraca"));
    EXPECT_EQ(readFile(m_store.file), spoiled);
}

TEST_F(RegistryFileTest, NamesThatCannotBeWrittenAreRefused)
{
    auto k = open(kWebSrv, true);
    ASSERT_TRUE(k->writeDWord("LogCatraca", 1));
    EXPECT_FALSE(k->writeDWord("Log\nCatraca", 1));
    EXPECT_EQ(open(std::string(kWebSrv) + "\\New\nKey", true), nullptr);
    EXPECT_EQ(open(kWebSrv)->readDWord("LogCatraca"), 1u);
}

TEST_F(RegistryFileTest, StoreThatCannotBeReadIsAKeyThatCannotBeOpened)
{
    std::filesystem::create_directory(m_store.file);
    EXPECT_EQ(open(kWebSrv, true), nullptr);
    EXPECT_TRUE(std::filesystem::is_directory(m_store.file));
    EXPECT_EQ(registryStoreProblem(m_store),
              "arquivo de registro " + m_store.file + ": não é um arquivo comum");
}

TEST_F(RegistryFileTest, ReadableOrMissingStoreHasNoProblem)
{
    EXPECT_EQ(registryStoreProblem(m_store), "");
    ASSERT_NE(open(kWebSrv, true), nullptr);
    EXPECT_EQ(registryStoreProblem(m_store), "");
}

// Whatever the parser accepts is written out so that it reads back the same, or a later write
// would change values nobody touched.
TEST(RegistryTextTest, AcceptedTextWritesOutToTheSameStore)
{
    const std::string text = "REGEDIT4\r\n; comment\r\n[HKEY_LOCAL_MACHINE\\A]\r\n@=\"d\"\r\n"
                             "\"s\"=hex(1):61,00,62,00\r\n\"n\"=hex(7):61,\\\r\n  00,00\r\n"
                             "[hkey_local_machine\\a\\B]\r\n\"q\"=\"\\\"x\\\\\"\r\n";
    std::string once;
    ASSERT_EQ(detail::parseRegistryText(text, &once), "");
    std::string twice;
    ASSERT_EQ(detail::parseRegistryText(once, &twice), "");
    EXPECT_EQ(once, twice);
    EXPECT_NE(once.find("\"s\"=hex(1):61,00,62,00\n"), std::string::npos) << once;
}

// Notes an administrator wrote into the file are content too: a write of the program keeps
// each one before the key or value it stood before.
TEST_F(RegistryFileTest, CommentsSurviveAWrite)
{
    writeFile(m_store.file, "REGEDIT4\n; machine of the main gate\n[HKEY_LOCAL_MACHINE\\App]\n"
                            "; profile 211 is the production database\n\"StringConex211\"=\"x\"\n"
                            "\"Old\"=\"y\"\n; end of file\n");
    auto k = open("App");
    ASSERT_NE(k, nullptr);
    ASSERT_TRUE(k->writeString("PortaADOCatraca", "211"));
    ASSERT_TRUE(k->deleteValue("Old"));
    EXPECT_EQ(readFile(m_store.file),
              "REGEDIT4\n\n[HKEY_LOCAL_MACHINE]\n\n; machine of the main gate\n[HKEY_LOCAL_MACHINE\\App]\n"
              "; profile 211 is the production database\n\"StringConex211\"=\"x\"\n"
              "\"PortaADOCatraca\"=\"211\"\n\n; end of file\n");
}

TEST_F(RegistryFileTest, BinaryGarbageIsNamedAsNotText)
{
    const char raw[] = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\App]\n\"a\"=\"\x01\0\xff\"\n";
    const std::string content(raw, sizeof raw - 1);
    writeFile(m_store.file, content);
    EXPECT_EQ(open("App", true), nullptr);
    EXPECT_EQ(registryStoreProblem(m_store),
              "arquivo de registro " + m_store.file +
                  ", linha 3: byte nulo: não é um arquivo de texto (ou está em UTF-16)");
    EXPECT_EQ(readFile(m_store.file), content);
}

TEST_F(RegistryFileTest, MissingStoreIsCreatedOnlyWhenAsked)
{
    EXPECT_EQ(open(kWebSrv), nullptr);
    EXPECT_FALSE(std::filesystem::exists(m_store.file));
    auto k = open(kWebSrv, true);
    ASSERT_NE(k, nullptr);
    EXPECT_TRUE(k->valueNames().empty());
    EXPECT_EQ(readFile(m_store.file).rfind("REGEDIT4\n", 0), 0u);
}

TEST_F(RegistryFileTest, StoreInAMissingFolderCannotBeCreated)
{
    m_store.file = m_folder.file("no-folder/registry.reg");
    EXPECT_EQ(open(kWebSrv, true), nullptr);
}

TEST_F(RegistryFileTest, StoreRemovedAfterOpeningIsNotRecreatedWithOneKey)
{
    auto k = open(kWebSrv, true);
    std::filesystem::remove(m_store.file);
    EXPECT_FALSE(k->writeDWord("LogCatraca", 1));
    EXPECT_FALSE(std::filesystem::exists(m_store.file));
}

// The disk fills up in the middle of a write (a file size limit stands in for it): the write
// fails, the old store is intact and no partial file is left behind.
TEST_F(RegistryFileTest, WriteThatRunsOutOfSpaceKeepsTheOldStore)
{
    auto k = open(kWebSrv, true);
    ASSERT_TRUE(k->writeString("PortaADOCatraca", "211"));
    const std::string before = readFile(m_store.file);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const bool written = k->writeBinary("Big", std::vector<std::uint8_t>(10000, 0x55));
        ::_exit(written ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failed write was reported as a success";
    EXPECT_EQ(readFile(m_store.file), before);
    EXPECT_EQ(filesInFolder(), 1u);
    EXPECT_EQ(k->readString("PortaADOCatraca"), "211");
}

// The manager and an administration tool writing at the same time must not undo each
// other's changes, although each write replaces the whole file.
TEST_F(RegistryFileTest, WritersInSeveralProcessesKeepEveryChange)
{
    ASSERT_NE(open(kWebSrv, true), nullptr);
    constexpr int kWriters = 4;
    constexpr int kValuesEach = 15;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            auto k = open(kWebSrv);
            bool ok = k != nullptr;
            for (int i = 0; ok && i < kValuesEach; ++i)
                ok = k->writeDWord("W" + std::to_string(w) + "-" + std::to_string(i),
                                   static_cast<std::uint32_t>(i));
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(open(kWebSrv)->valueNames().size(), static_cast<std::size_t>(kWriters * kValuesEach));
}

// A write interrupted before its rename leaves a temporary file: the store is the old one and
// later writes go on normally.
TEST_F(RegistryFileTest, LeftoverOfAnInterruptedWriteIsIgnored)
{
    auto k = open(kWebSrv, true);
    ASSERT_TRUE(k->writeDWord("LogCatraca", 1));
    writeFile(m_store.file + ".tmp-Ab12Cd", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\VORLU");
    EXPECT_EQ(k->readDWord("LogCatraca"), 1u);
    ASSERT_TRUE(k->writeDWord("LogCatraca", 0));
    EXPECT_EQ(open(kWebSrv)->readDWord("LogCatraca"), 0u);
}

TEST_F(RegistryFileTest, StoreBehindALinkIsWrittenInPlace)
{
    const std::string target = m_folder.file("real.reg");
    writeFile(target, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\App]\n");
    std::filesystem::create_symlink(target, m_store.file);
    ASSERT_TRUE(open("Software\\App")->writeDWord("X", 1));
    EXPECT_TRUE(std::filesystem::is_symlink(m_store.file));
    EXPECT_NE(readFile(target).find("\"X\"=dword:00000001"), std::string::npos);
}

TEST(RegistryStoreTest, DefaultStoreComesFromTheEnvironment)
{
    const char* old = std::getenv("ZUL_REGISTRY");
    const std::string saved = old ? old : "";
    ::setenv("ZUL_REGISTRY", "/tmp/elsewhere.reg", 1);
    const std::string fromEnv = defaultRegistryStore().file;
    ::unsetenv("ZUL_REGISTRY");
    const std::string fixed = defaultRegistryStore().file;
    if (old)
        ::setenv("ZUL_REGISTRY", saved.c_str(), 1);
    EXPECT_EQ(fromEnv, "/tmp/elsewhere.reg");
    EXPECT_EQ(fixed, "/var/lib/zul/registry.reg");
}

} // namespace

#endif
