// SPDX-License-Identifier: GPL-3.0-or-later
// The registry-persisted variables (the store itself: tests/runtime/RegistryTest.cpp).
#include "components/RegistryVariables.h"
#include "runtime/Application.h"
#include "tests/runtime/RegistryTestSupport.h"

namespace {

class RegistryTest : public TRegistryScratch {
protected:
    void TearDown() override
    {
        Application().SetExeName("");
        InitializeRegistryVariables();
        TRegistryScratch::TearDown();
    }
    // Acts as the executable ExeName for the registry unit.
    static void RunAs(const std::string& exeName)
    {
        Application().SetExeName(exeName);
        InitializeRegistryVariables();
    }
};

// ---- registry variables ------------------------------------------------------

TEST_F(RegistryTest, KeyPathFollowsTheExecutableName)
{
    struct Case {
        std::string exe, company, keyPath;
        HKEY root;
    };
    const Case cases[] = {
        {"/usr/bin/quillon", "Vantor Quessel", "\\Software\\Vantor Quessel\\quillon", HKEY_CURRENT_USER},
        {"/opt/Q/Quillon.exe", "Vantor Quessel", "\\Software\\Vantor Quessel\\Quillon", HKEY_CURRENT_USER},
        {"/opt/kovaxrun.exe", "Merrow Products", "\\Software\\Merrow Products\\kovaxrun", HKEY_LOCAL_MACHINE},
        {"/opt/KovaxRun.EXE", "Merrow Products", "\\Software\\Merrow Products\\KovaxRun", HKEY_LOCAL_MACHINE},
        {"/opt/kovaxrun", "Vantor Quessel", "\\Software\\Vantor Quessel\\kovaxrun", HKEY_CURRENT_USER},
        {"/kovaxrun.exe/quillon", "Vantor Quessel", "\\Software\\Vantor Quessel\\quillon", HKEY_CURRENT_USER},
    };
    for (const Case& c : cases) {
        RunAs(c.exe);
        EXPECT_EQ(RegistryCompanyKey(), c.company) << c.exe;
        EXPECT_EQ(RegistryRootKey(), c.root) << c.exe;
        TRegistryString variable("SourceFolder", "");
        EXPECT_EQ(variable.KeyPath, c.keyPath) << c.exe;
        EXPECT_EQ(variable.RootKey, c.root);
        EXPECT_EQ(variable.ValueName, "SourceFolder");
        EXPECT_FALSE(variable.DeleteOnDestroy);
        variable.DeleteOnDestroy = true;   // leave nothing behind
    }
}

TEST_F(RegistryTest, FirstRunKeepsDefaultAndWritesAtDestruction)
{
    RunAs("/usr/bin/quillon");
    {
        TRegistryString variable("SourceFolder", "/default");
        EXPECT_EQ(variable.Value, "/default");
        EXPECT_FALSE(std::filesystem::exists(userFile));   // construction only reads
        variable.Value = "/chosen";
    }
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, "\\Software\\Vantor Quessel\\quillon", "SourceFolder"), "/chosen");
    TRegistryString again("SourceFolder", "/default");
    EXPECT_EQ(again.Value, "/chosen");
}

TEST_F(RegistryTest, NonStringValueIsIgnoredThenOverwritten)
{
    RunAs("/usr/bin/quillon");
    {
        TRegistry registry;
        ASSERT_TRUE(registry.OpenKey("\\Software\\Vantor Quessel\\quillon", true));
        registry.WriteValue("SourceFolder", REG_DWORD, std::string("\x07\0\0\0", 4));
    }
    {
        TRegistryString variable("SourceFolder", "/default");
        EXPECT_EQ(variable.Value, "/default");
    }
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, "\\Software\\Vantor Quessel\\quillon", "SourceFolder"), "/default");
}

TEST_F(RegistryTest, RenamedExecutableDoesNotSeeOldSettings)
{
    RunAs("/usr/bin/quillon");
    {
        TRegistryString variable("SourceFolder", "");
        variable.Value = "/old";
    }
    RunAs("/usr/bin/quillon2");
    TRegistryString renamed("SourceFolder", "");
    EXPECT_EQ(renamed.Value, "");
    renamed.DeleteOnDestroy = true;
}

TEST_F(RegistryTest, KovaxrunUsesLocalMachineRoot)
{
    RunAs("/opt/KOVAXRUN.exe");
    {
        TRegistryString variable("SourceFolder", "");
        variable.Value = "/machine";
    }
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, "\\Software\\Merrow Products\\KOVAXRUN", "SourceFolder"), "/machine");
    EXPECT_FALSE(std::filesystem::exists(userFile));
}

TEST_F(RegistryTest, DeleteOnDestroyWritesThenRemovesTheValue)
{
    RunAs("/usr/bin/quillon");
    {
        TRegistryString keep("Other", "");
        keep.Value = "kept";
    }
    {
        TRegistryString variable("SourceFolder", "");
        variable.Value = "/gone";
        variable.DeleteOnDestroy = true;
    }
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, "\\Software\\Vantor Quessel\\quillon", "SourceFolder"), "<none>");
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, "\\Software\\Vantor Quessel\\quillon", "Other"), "kept");
}

TEST_F(RegistryTest, UnwritableStoreIsSilent)
{
    RunAs("/usr/bin/quillon");
    // The registry folder is a file: nothing can be created below it.
    std::filesystem::create_directories(root);
    WriteText(registryDir, "not a folder");
    {
        TRegistryString variable("SourceFolder", "/default");
        EXPECT_EQ(variable.Value, "/default");
        variable.Value = "/lost";
        variable.Save();
    }
    EXPECT_EQ(ReadText(registryDir), "not a folder");
}

} // namespace
