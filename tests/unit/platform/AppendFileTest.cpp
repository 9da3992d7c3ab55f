#include "platform/AppendFile.h"

#include "PlatformTestSupport.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>

using zul::platform::AppendFile;

namespace {

std::string contentsOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool put(AppendFile& file, const std::string& text)
{
    return file.write(text.data(), text.size());
}

class AppendFileTest : public ::testing::Test
{
protected:
    zul::test::TempFolder folder;
    std::string path = folder.file("day.txt");
};

TEST_F(AppendFileTest, AppendsToWhatIsThereAndEveryWriteIsReadableAtOnce)
{
    {
        std::ofstream existing(path, std::ios::binary);
        existing << "before\r\n";
    }
    AppendFile file;
    ASSERT_TRUE(file.open(path));
    ASSERT_TRUE(put(file, "one\r\n"));
    // Another reader sees the line while the file is still held: nothing waits in a buffer.
    EXPECT_EQ(contentsOf(path), "before\r\none\r\n");
    ASSERT_TRUE(put(file, "two\r\n"));
    EXPECT_EQ(contentsOf(path), "before\r\none\r\ntwo\r\n");
    EXPECT_TRUE(file.stillNamed());
}

TEST_F(AppendFileTest, OpenFailsWithoutTheFolderAndWritesNothingWhenClosed)
{
    AppendFile file;
    EXPECT_FALSE(file.open(folder.file("missing/day.txt")));
    EXPECT_FALSE(file.isOpen());
    EXPECT_FALSE(put(file, "x"));
    EXPECT_FALSE(file.stillNamed());
}

// An operator may take the name away while the file is held: the holder must notice, on every
// system (on Windows the rename and the deletion must not even be refused).
TEST_F(AppendFileTest, NoticesTheNameTakenAway)
{
    AppendFile file;
    ASSERT_TRUE(file.open(path));
    ASSERT_TRUE(put(file, "one\r\n"));

    std::filesystem::rename(path, folder.file("day.old"));
    EXPECT_FALSE(file.stillNamed()) << "renamed";
    ASSERT_TRUE(file.open(path));
    EXPECT_TRUE(file.stillNamed());
    ASSERT_TRUE(put(file, "two\r\n"));
    EXPECT_EQ(contentsOf(folder.file("day.old")), "one\r\n");
    EXPECT_EQ(contentsOf(path), "two\r\n");

    ASSERT_TRUE(std::filesystem::remove(path));
#ifdef _WIN32
    // Windows removes the name at once or leaves it "delete pending", which is noticed; Wine
    // keeps it until the last handle is closed, and the holder's periodic reopening covers that.
    (void)file.stillNamed();
#else
    EXPECT_FALSE(file.stillNamed()) << "deleted";
#endif
    ASSERT_TRUE(file.open(path));
    ASSERT_TRUE(put(file, "three\r\n"));
    EXPECT_EQ(contentsOf(path), "three\r\n");

    // Another file moved in under the same name (Wine refuses to replace a file held open).
    {
        std::ofstream other(folder.file("other.txt"), std::ios::binary);
        other << "other\r\n";
    }
    std::error_code refused;
    std::filesystem::rename(folder.file("other.txt"), path, refused);
#ifdef _WIN32
    if (!refused) {
        EXPECT_FALSE(file.stillNamed()) << "replaced";
    }
#else
    ASSERT_FALSE(refused) << refused.message();
    EXPECT_FALSE(file.stillNamed()) << "replaced";
#endif
    file.close();
    EXPECT_FALSE(file.isOpen());
}

} // namespace
