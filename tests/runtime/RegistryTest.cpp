// SPDX-License-Identifier: GPL-3.0-or-later
// The file-backed registry store.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/runtime/RegistryTestSupport.h"

namespace {

using RegistryTest = TRegistryScratch;

TEST_F(RegistryTest, FilesLiveInTheOverrideFolder)
{
    EXPECT_EQ(userFile, registryDir + "/current-user.reg");
    EXPECT_EQ(machineFile, registryDir + "/local-machine.reg");
    EXPECT_EQ(RegistryFileName(HKEY_CLASSES_ROOT), "");
}

TEST_F(RegistryTest, DefaultLocationsWithoutOverride)
{
    ::unsetenv("QUILLON_REGISTRY_DIR");
    const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
    std::string saved = oldConfig ? oldConfig : "";
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(RegistryFileName(HKEY_CURRENT_USER), "/cfg/quillon/registry.reg");
    EXPECT_EQ(RegistryFileName(HKEY_LOCAL_MACHINE), "/var/lib/quillon/registry.reg");
    if (oldConfig)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("QUILLON_REGISTRY_DIR", registryDir.c_str(), 1);
}

TEST_F(RegistryTest, StringRoundTripAndKeyOperations)
{
    TRegistry registry;
    EXPECT_FALSE(registry.KeyExists("\\Software\\A\\b"));
    EXPECT_FALSE(registry.OpenKey("\\Software\\A\\b", false));
    ASSERT_TRUE(registry.OpenKey("\\Software\\A\\b", true));
    EXPECT_EQ(registry.CurrentPath(), "\\Software\\A\\b");
    EXPECT_TRUE(registry.KeyExists("\\software\\a"));   // parents exist, any case
    EXPECT_FALSE(registry.ValueExists("v"));
    EXPECT_EQ(registry.ReadString("v"), "");
    const std::string awkward = "C:\\data \"quoted\"\n\ttab \xFF\x01 end";
    registry.WriteString("v", awkward);
    EXPECT_TRUE(registry.ValueExists("V"));

    TRegistry other;
    ASSERT_TRUE(other.OpenKey("\\SOFTWARE\\a\\B", false));
    EXPECT_EQ(other.ReadString("v"), awkward);
    EXPECT_TRUE(other.DeleteValue("v"));
    EXPECT_FALSE(other.DeleteValue("v"));
    EXPECT_FALSE(registry.ValueExists("v"));

    // Relative keys are below the open key.
    ASSERT_TRUE(registry.OpenKey("c", true));
    EXPECT_EQ(registry.CurrentPath(), "\\Software\\A\\b\\c");
    EXPECT_FALSE(registry.OpenKey("\\Software\\\\x", true));   // empty component
}

TEST_F(RegistryTest, FileIsReadableRegedit)
{
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("\\Software\\Vantor Quessel\\quillon", true));
    registry.WriteString("SourceFolder", "/home/ann/data");
    EXPECT_EQ(ReadText(userFile),
              "REGEDIT4\n\n[HKEY_CURRENT_USER]\n\n[HKEY_CURRENT_USER\\Software]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Vantor Quessel]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Vantor Quessel\\quillon]\n\"SourceFolder\"=\"/home/ann/data\"\n");
    struct stat st {};
    ASSERT_EQ(stat(userFile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(RegistryTest, ValueOfAnotherTypeIsRefusedByStringRead)
{
    std::filesystem::create_directories(registryDir);
    WriteText(userFile, "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\K]\r\n\"n\"=dword:0000002a\r\n"
                        "\"b\"=hex:01,02,\\\r\n  03\r\n\"e\"=hex(2):41,00\r\n");
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("\\Software\\K", false));
    EXPECT_TRUE(registry.ValueExists("n"));
    EXPECT_THROW(registry.ReadString("n"), ERegistryException);
    EXPECT_THROW(registry.ReadString("b"), ERegistryException);
    EXPECT_EQ(registry.ReadString("e"), "A");
}

TEST_F(RegistryTest, CorruptFileReadsEmptyAndIsKeptAsideOnWrite)
{
    std::filesystem::create_directories(registryDir);
    const std::string corrupt = "this is not a registry file\n[HKEY_CURRENT_USER\\x]\n";
    WriteText(userFile, corrupt);
    TRegistry registry;
    EXPECT_FALSE(registry.KeyExists("\\x"));
    EXPECT_EQ(ReadText(userFile), corrupt);   // reading never changes the file
    ASSERT_TRUE(registry.OpenKey("\\Software\\K", true));
    registry.WriteString("v", "new");
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, "\\Software\\K", "v"), "new");
    int keptAside = 0;
    for (const auto& entry : std::filesystem::directory_iterator(registryDir))
        if (entry.path().filename().string().rfind("current-user.reg.corrupt-", 0) == 0) {
            ++keptAside;
            EXPECT_EQ(ReadText(entry.path().string()), corrupt);
        }
    EXPECT_EQ(keptAside, 1);
}

TEST_F(RegistryTest, ReadOnlyFileIsNeverReplaced)
{
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("\\Software\\K", true));
    registry.WriteString("v", "old");
    ASSERT_EQ(chmod(userFile.c_str(), 0400), 0);
    const std::string before = ReadText(userFile);
    EXPECT_THROW(registry.WriteString("v", "new"), ERegistryException);
    EXPECT_FALSE(registry.DeleteValue("v"));
    EXPECT_FALSE(registry.OpenKey("\\Software\\Other", true));
    EXPECT_EQ(ReadText(userFile), before);
}

TEST_F(RegistryTest, LockedFileMakesWritesFailWithoutDamage)
{
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("\\Software\\K", true));
    registry.WriteString("v", "old");
    // Another process holds the lock: flock locks of two open file
    // descriptions conflict even within one process.
    int fd = open((userFile + ".lock").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    SetRegistryLockTimeout(0);
    EXPECT_THROW(registry.WriteString("v", "new"), ERegistryException);
    EXPECT_EQ(registry.ReadString("v"), "old");   // reads need no lock
    flock(fd, LOCK_UN);
    close(fd);
    registry.WriteString("v", "new");
    EXPECT_EQ(registry.ReadString("v"), "new");
}

TEST_F(RegistryTest, AccessRightsLimitOperations)
{
    TRegistry writer;
    ASSERT_TRUE(writer.OpenKey("\\Software\\K", true));
    writer.WriteString("v", "x");
    TRegistry reader(KEY_READ);
    EXPECT_FALSE(reader.OpenKey("\\Software\\New", true));
    ASSERT_TRUE(reader.OpenKey("\\Software\\K", false));
    EXPECT_EQ(reader.ReadString("v"), "x");
    EXPECT_THROW(reader.WriteString("v", "y"), ERegistryException);
    EXPECT_FALSE(reader.DeleteValue("v"));
    TRegistry writeOnly(KEY_WRITE);
    ASSERT_TRUE(writeOnly.OpenKey("\\Software\\K", false));
    EXPECT_THROW(writeOnly.ReadString("v"), ERegistryException);
}

TEST_F(RegistryTest, ParserRejectsMalformedText)
{
    const char* bad[] = {
        "",
        "REGEDIT5\n",
        "REGEDIT4\n\"v\"=\"before any key\"\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\x]\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\x\n",
        "REGEDIT4\n[-HKEY_CURRENT_USER\\x]\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\a\\\\b]\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\x]\n\"v\"=\"unterminated\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\x]\n\"v\"=dword:123456789\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\x]\n\"v\"=hex:1,2\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\x]\n\"v\"=-\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\x]\n\"v\"=\"bad \\q escape\"\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\x]\n\"v\" \"no equals\"\n",
    };
    for (const char* text : bad) {
        TRegistryFile file("HKEY_CURRENT_USER");
        std::string error;
        EXPECT_FALSE(file.Parse(text, error)) << text;
        EXPECT_FALSE(error.empty());
    }
}

TEST_F(RegistryTest, ParserMergesRepeatedNamesAndStopsAtTheDepthLimit)
{
    const std::string text = "REGEDIT4\n[HKEY_CURRENT_USER\\a\\b]\n\"V\"=\"1\"\n\"w\"=\"2\"\n"
                             "[HKEY_CURRENT_USER\\c]\n[hkey_current_user\\A\\B]\n\"v\"=\"3\"\n";
    TRegistryFile file("HKEY_CURRENT_USER");
    std::string error;
    ASSERT_TRUE(file.Parse(text, error)) << error;
    ASSERT_EQ(file.Keys.size(), 4u);   // "", "a", "a\\b", "c"
    const TRegistryKey* ab = file.FindKey("a\\b");
    ASSERT_NE(ab, nullptr);
    ASSERT_EQ(ab->Values.size(), 2u);
    EXPECT_EQ(ab->Values[0].Name, "v");
    EXPECT_EQ(ab->Values[0].Data, "3");

    for (size_t depth : {512u, 513u}) {
        std::string deep = "REGEDIT4\n[HKEY_CURRENT_USER";
        for (size_t i = 0; i < depth; ++i)
            deep += "\\k";
        deep += "]\n";
        TRegistryFile nested("HKEY_CURRENT_USER");
        EXPECT_EQ(nested.Parse(deep, error), depth == 512u) << depth;
    }
}

TEST_F(RegistryTest, SerialisedFileParsesBackToTheSameContents)
{
    TRegistryFile file("HKEY_CURRENT_USER");
    TRegistryKey& key = file.CreateKey("Software\\We[ir]d %key\x01");
    key.Values.push_back({"", REG_SZ, "default"});
    key.Values.push_back({"s", REG_SZ, std::string("nul\0byte", 8)});
    key.Values.push_back({"d", REG_DWORD, std::string("\x2a\0\0\x80", 4)});
    key.Values.push_back({"short dword", REG_DWORD, "\x01"});
    key.Values.push_back({"b", REG_BINARY, ""});
    key.Values.push_back({"m", REG_MULTI_SZ, std::string("a\0b\0\0", 5)});
    const std::string text = file.Serialize();
    TRegistryFile again("HKEY_CURRENT_USER");
    std::string error;
    ASSERT_TRUE(again.Parse(text, error)) << error << "\n" << text;
    EXPECT_EQ(again.Serialize(), text);
    const TRegistryKey* back = again.FindKey("software\\WE[IR]D %KEY\x01");
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->Values.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(back->Values[i].Name, key.Values[i].Name);
        EXPECT_EQ(back->Values[i].Type, key.Values[i].Type);
        EXPECT_EQ(back->Values[i].Data, key.Values[i].Data);
    }
}

} // namespace

namespace {

// A store that cannot be read opens no key and says which file and why.
TEST_F(RegistryTest, AStoreThatCannotBeReadSaysWhy)
{
    std::filesystem::create_directories(userFile); // reading it gives EISDIR
    TRegistry registry;
    EXPECT_FALSE(registry.OpenKey("\\Software\\A", true));
    EXPECT_EQ(registry.LastError(), "cannot read " + userFile + ": Is a directory");
    std::filesystem::remove(userFile);
}

} // namespace
