#include "app/SettingsStore.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <climits>
#include <filesystem>

#include "MainFrameTestSupport.h"
#include "TempDir.h"
#include "items/DataMemoryWriter.h"

namespace tolvane {
namespace {

using test::StoreFile;

class SettingsStoreTest : public test::WithoutSettingsFile {
protected:
    static void WriteStoreFile(const std::string& content) {
        std::filesystem::create_directories(std::filesystem::path(StoreFile()).parent_path());
        ASSERT_TRUE(test::WriteFile(StoreFile(), content));
        // QSettings keeps a parsed copy per file and rereads it when size or time differ:
        // files of equal size written within the same moment need distinct times.
        static long second = 1000000;
        timespec times[2] = {{++second, 0}, {second, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, StoreFile().c_str(), times, 0), 0);
    }
};

TEST_F(SettingsStoreTest, NewUserGetsThreePassesAndNothingElse) {
    EXPECT_EQ(ReadPassesSetting(), 3);
    EXPECT_EQ(GetSettingDword("WLeft", 288), 288);
    Data::MemoryWriter block;
    GetSettingBinary("RizUze", block);
    EXPECT_EQ(block.Length(), 0u);
    EXPECT_FALSE(test::Exists(StoreFile()));  // reading creates nothing
}

TEST_F(SettingsStoreTest, ValuesRoundTripInTheUsersConfigFile) {
    for (std::int32_t value : {0, 1, -1, 288, INT_MAX, INT_MIN}) {
        SetSettingDword("WLeft", value);
        EXPECT_EQ(GetSettingDword("WLeft", 7), value);
    }
    std::string bytes("\0\x01\xff\xfe binary\0", 12);
    SetSettingBinary("RizUze", bytes.data(), bytes.size());
    Data::MemoryWriter block;
    GetSettingBinary("RizUze", block);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.Data()), block.Length()), bytes);

    SetSettingString("FilePath", "/opt/tolvane/bin/tolvane \xc3\xa9");
    EXPECT_TRUE(test::Exists(StoreFile()));
    EXPECT_NE(test::ReadFile(StoreFile()).find("FilePath"), std::string::npos);

    // A binary value of the limit is read; a larger one counts as empty.
    std::string limit(kMaxBinarySetting, 'a');
    SetSettingBinary("RizUze", limit.data(), limit.size());
    GetSettingBinary("RizUze", block);
    EXPECT_EQ(block.Length(), kMaxBinarySetting);

    std::string larger(kMaxBinarySetting + 1, 'b');
    SetSettingBinary("RizUze", larger.data(), larger.size());
    GetSettingBinary("RizUze", block);
    EXPECT_EQ(block.Length(), 0u);
}

struct Stored {
    const char* line;  // the "Passes" line of the file; empty: none
    std::int32_t passes;
    bool noted = false;  // the run is told the stored value was not used
};

TEST_F(SettingsStoreTest, StoredPassesReadAsARunUsesThem) {
    for (const Stored& c :
         {Stored{"", 3}, Stored{"Passes=0", 0}, Stored{"Passes=12", 12}, Stored{"Passes=100", 100},
          Stored{"Passes=-2", 3}, Stored{"Passes=many", 3}, Stored{"Passes=", 3},
          Stored{"Passes=1, 2", 3}, Stored{"Passes=@ByteArray(\\x3)", 3},
          Stored{"Passes=4294967299", 3}, Stored{"Passes=101", 3, true}}) {
        SCOPED_TRACE(c.line);
        WriteStoreFile(std::string("[General]\nLeftType=1\n") + c.line + "\n");
        std::string note;
        EXPECT_EQ(ReadPassesSetting(&note), c.passes);
        EXPECT_EQ(!note.empty(), c.noted) << note;
    }
}

}  // namespace
}  // namespace tolvane
