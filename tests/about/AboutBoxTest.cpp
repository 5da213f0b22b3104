// SPDX-License-Identifier: GPL-3.0-or-later
// The About box: the chain of forms' final design, what it shows from the
// executable's version block, and the web-site link.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QFrame>
#include <QPushButton>
#include <filesystem>

#include "about/gui/ProgramAboutBox.h"
#include "runtime/Application.h"
#include "startup/Startup.h"

namespace {

namespace fs = std::filesystem;

class AboutBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/quillon-about-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        // "quillon": a link to this test program, which carries the build's block.
        fs::create_symlink(fs::read_symlink("/proc/self/exe"), root_ + "/quillon");
        Application().SetExeName(root_ + "/quillon");
        InitializeUnits();
        TAboutBoxVKQ::SetUrlOpener([this](const std::string& address) { opened_.push_back(address); });
    }
    void TearDown() override
    {
        TAboutBoxVKQ::SetUrlOpener(nullptr);
        Application().SetExeName("");
        std::error_code error;
        fs::remove_all(root_, error);
    }
    std::string root_;
    std::vector<std::string> opened_;
};

TEST_F(AboutBoxTest, ShowsTheVersionBlockOfTheExecutable)
{
    TAboutBoxVKQ1 about;
    about.show();
    EXPECT_EQ(about.windowTitle(), "About Vantor's Orrinet Satellite Suite");
    EXPECT_EQ(about.Version->text(), "quillon, V6.0.0.3, 2007 Nov 10");
    EXPECT_EQ(about.ProductName->text(), "Orrinet Satellite Suite");
    EXPECT_EQ(about.Copyright->text(), "Copyright (C) 1998-2007 Vantor Quessel");
    EXPECT_EQ(about.Comments->text(), "May not be reproduced without permission");
    EXPECT_EQ(about.WebSite->text(), "www.orrinet.example");
    EXPECT_FALSE(about.VI->ShowResource().Contains(pdLegalCopyright));
    EXPECT_FALSE(about.VI->ShowResource().Contains(pdProductName));
    EXPECT_FALSE(about.VI->ShowResource().Contains(pdFileVersion));
    about.hide();
}

TEST_F(AboutBoxTest, FinalGeometryOfTheChain)
{
    TAboutBoxVKQ1 about;
    EXPECT_EQ(about.size(), QSize(312, 213));
    EXPECT_EQ(about.Panel1->geometry(), QRect(8, 8, 297, 161));
    EXPECT_EQ(about.ProgramIcon->geometry(), QRect(16, 16, 32, 32));
    EXPECT_EQ(about.OKButton->geometry(), QRect(118, 180, 75, 25));
    EXPECT_EQ(about.ProductName->pos(), QPoint(64, 16));
    EXPECT_EQ(about.Comments->geometry().topLeft(), QPoint(8, 104));
    EXPECT_TRUE(about.OKButton->isDefault());
    // The web-site label keeps its right edge where its design puts it.
    EXPECT_EQ(about.WebSite->geometry().right() + 1, 248 + 41);

    TAboutBox plain;
    EXPECT_EQ(plain.size(), QSize(298, 213));
    EXPECT_EQ(plain.ProgramIcon->geometry(), QRect(8, 8, 65, 57));
    EXPECT_EQ(plain.OKButton->geometry().x(), 111);
    EXPECT_TRUE(plain.Comments->wordWrap());
    TAboutBoxVKQ middle;
    EXPECT_EQ(middle.size(), QSize(362, 213));
    EXPECT_EQ(middle.OKButton->geometry().x(), 143);
}

TEST_F(AboutBoxTest, WebSiteClickOpensTheAddressWithItsScheme)
{
    struct Case {
        const char* caption;
        const char* opened; // nullptr: nothing is opened
    } cases[] = {
        {"www.orrinet.example", "http://www.orrinet.example"},
        {"http://www.orrinet.example/x", "http://www.orrinet.example/x"},
        {"see http://host.example", "see http://host.example"},
        {"https://host.example", "http://https://host.example"},
        {"", nullptr},
    };
    TAboutBoxVKQ1 about;
    for (const Case& c : cases) {
        opened_.clear();
        about.WebSite->SetCaption(c.caption);
        about.WebSiteClick();
        if (c.opened) {
            ASSERT_EQ(opened_.size(), 1u) << c.caption;
            EXPECT_EQ(opened_[0], c.opened);
        } else {
            EXPECT_TRUE(opened_.empty()) << c.caption;
        }
    }
}

TEST_F(AboutBoxTest, WithoutVersionBlockTheBoxShowsOnlyTheExecutableName)
{
    std::string plain = root_ + "/plain";
    FILE* f = std::fopen(plain.c_str(), "w");
    std::fputs("no version here", f);
    std::fclose(f);
    Application().SetExeName(plain);
    TAboutBoxVKQ1 about;
    about.show();
    EXPECT_EQ(about.windowTitle(), "About Vantor's ");
    EXPECT_EQ(about.Version->text(), "plain, V, ");
    EXPECT_EQ(about.WebSite->text(), "");
    EXPECT_EQ(about.Copyright->text(), "");
    about.WebSiteClick();
    EXPECT_TRUE(opened_.empty());
    about.hide();
}

} // namespace
