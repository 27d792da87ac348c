#include "app/SettingsStore.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <climits>
#include <filesystem>

#include "MainFrameTestSupport.h"
#include "TempDir.h"
#include "items/DataMemoryWriter.h"
#include "settings/SettingsFile.h"

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

// Values of every shape the program stores, with the characters that need escapes, quotes or
// care in UTF-8.
QSettings::SettingsMap AwkwardValues() {
    QByteArray allBytes;
    for (int b = 0; b < 256; ++b) {
        allBytes += static_cast<char>(b);
    }
    allBytes += QByteArray("\0a\x1f ,;=\"\\", 9) + QByteArray(1, '\0') + "ab";
    return {{"Passes", QString("3")},
            {"RizUze", allBytes},
            {"Empty", QByteArray()},
            {"FilePath",
             QString::fromUtf8(" /opt/a,b;c=d \"q\" \\ @x \t\n\x7f \xc3\xa9 \xf0\x9f\x98\x80 ")},
            {"At", QString("@Variant(not an object)")},
            {"Blank", QString()}};
}

void ExpectSame(const QSettings::SettingsMap& read, const QSettings::SettingsMap& written) {
    ASSERT_EQ(read.keys(), written.keys());
    for (auto it = written.cbegin(); it != written.cend(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        const QVariant& value = read[it.key()];
        ASSERT_EQ(value.typeId(), it.value().typeId());
        EXPECT_EQ(value, it.value());
    }
}

// The file keeps QSettings' INI syntax: what earlier versions saved through QSettings reads
// the same, and QSettings (kvc of an earlier version, a user's script) reads what is saved now.
TEST(SettingsFileTest, ReadsAndWritesTheSyntaxOfQSettings) {
    test::TempDir dir;
    const QString theirs = QString::fromStdString(dir.Path() + "/theirs.conf");
    {
        QSettings store(theirs, QSettings::IniFormat);
        const QSettings::SettingsMap values = AwkwardValues();
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            store.setValue(it.key(), it.value());
        }
    }
    ExpectSame(ParseSettingsText(QByteArray::fromStdString(test::ReadFile(theirs.toStdString()))),
               AwkwardValues());

    const std::string ours = dir.Path() + "/ours.conf";
    ASSERT_TRUE(test::WriteFile(ours, SettingsText(AwkwardValues()).toStdString()));
    QSettings store(QString::fromStdString(ours), QSettings::IniFormat);
    QSettings::SettingsMap read;
    for (const QString& key : store.allKeys()) {
        read.insert(key, store.value(key));
    }
    ExpectSame(read, AwkwardValues());
}

// A value QSettings' own reader would deserialise, however it is spelt, is never decoded:
// it reads as absent and is gone after the next save. So are lists, other sections and keys
// that are not plain names.
TEST_F(SettingsStoreTest, CraftedValuesAreNeitherDecodedNorKept) {
    WriteStoreFile(
        "[General]\n"
        "Passes=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x18QTest)\n"
        "WLeft=\\x40Variant(\\0\\0\\0\\x7f)\n"
        "WTop=\"@Rect(1 2 3 4)\"\n"
        "WRight=7, 8\n"
        "LeftType = \"1\" ; the list view\n"
        "Left%20Width=5\n"
        "LeftWidth=\\\n 2\\\r\n40\n"
        "[Other]\nWBottom=9\n");
    EXPECT_EQ(ReadPassesSetting(), 3);
    for (const char* absent : {"WLeft", "WTop", "WRight", "WBottom"}) {
        EXPECT_EQ(GetSettingDword(absent, -1), -1) << absent;
    }
    EXPECT_EQ(GetSettingDword("LeftType", 0), 1);
    EXPECT_EQ(GetSettingDword("LeftWidth", 0), 240);  // continued over two lines

    SetSettingDword("ContextMenu", 1);
    EXPECT_EQ(test::ReadFile(StoreFile()), "[General]\nContextMenu=1\nLeftType=1\nLeftWidth=240\n");
}

}  // namespace
}  // namespace tolvane
