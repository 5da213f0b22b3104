// SPDX-License-Identifier: GPL-3.0-or-later
// The registry-backed edit: loaded text, changes kept in memory, written at destruction.
#include <QApplication>
#include <memory>

#include "ScanTestSupport.h"
#include "components/gui/PersistentEdit.h"
#include "runtime/Application.h"
#include "runtime/Registry.h"

// Font configuration keeps allocations for the life of the process once a
// widget has loaded fonts; they are not ours to free.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}
#endif

namespace {

QApplication& App()
{
    static int argc = 1;
    static char name[] = "test_components";
    static char* argv[] = {name, nullptr};
    static QApplication* app = QApplication::instance() ? nullptr : new QApplication(argc, argv);
    (void)app;
    return *static_cast<QApplication*>(QApplication::instance());
}

class VkqEditTest : public TScanScratch {
protected:
    void SetUp() override
    {
        TScanScratch::SetUp();
        App();
        Application().SetExeName("/usr/bin/quillon");
        InitializeRegistryVariables();
    }
    void TearDown() override
    {
        Application().SetExeName("");
        InitializeRegistryVariables();
        TScanScratch::TearDown();
    }
    static std::string Stored(const std::string& name)
    {
        TRegistry registry;
        if (!registry.OpenKey("\\Software\\Vantor Quessel\\quillon", false) || !registry.ValueExists(name))
            return "<none>";
        return registry.ReadString(name);
    }
    static void Store(const std::string& name, const std::string& value)
    {
        TRegistry registry;
        ASSERT_TRUE(registry.OpenKey("\\Software\\Vantor Quessel\\quillon", true));
        registry.WriteString(name, value);
    }
};

TEST_F(VkqEditTest, FirstRunShowsDesignTextAndStoresAtDestruction)
{
    auto edit = std::make_unique<TvkqEdit>();
    edit->NamedAs = "SourceFolder";
    edit->SetText("/from/form");
    edit->Loaded();
    EXPECT_EQ(edit->Text(), "/from/form");
    EXPECT_EQ(Stored("SourceFolder"), "<none>");
    edit->SetText("/chosen");                 // set by the program, not typed
    EXPECT_EQ(Stored("SourceFolder"), "<none>");   // nothing written on change
    edit.reset();
    EXPECT_EQ(Stored("SourceFolder"), "/chosen");
}

TEST_F(VkqEditTest, StoredTextReplacesDesignText)
{
    Store("SourceFolder", "/stored \xFF bytes");
    TvkqEdit edit;
    edit.NamedAs = "SourceFolder";
    edit.SetText("/from/form");
    edit.Loaded();
    EXPECT_EQ(edit.Text(), "/stored \xFF bytes");
}

TEST_F(VkqEditTest, EmptyNamedAsUsesComponentName)
{
    {
        TvkqEdit edit;
        edit.setObjectName("EditSourceFolder");
        edit.Loaded();
        EXPECT_EQ(edit.NamedAs, "EditSourceFolder");
        edit.setText("/typed");
        edit.Loaded();   // a second load changes nothing
    }
    EXPECT_EQ(Stored("EditSourceFolder"), "/typed");
}

TEST_F(VkqEditTest, EditNeverLoadedOrDesignedNeverTouchesRegistry)
{
    {
        TvkqEdit plain;
        plain.NamedAs = "SourceFolder";
        plain.SetText("/x");
        TvkqEdit designed;
        designed.Designing = true;
        designed.NamedAs = "SourceFolder";
        designed.Loaded();
        EXPECT_EQ(designed.Persisted(), nullptr);
    }
    EXPECT_FALSE(std::filesystem::exists(RegistryFileName(HKEY_CURRENT_USER)));
}

} // namespace
