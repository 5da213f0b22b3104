// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of the window and the About box for the README. Runs only when
// QUILLON_SCREENSHOT_DIR names the folder to write them to:
//   QT_QPA_PLATFORM=offscreen QUILLON_SCREENSHOT_DIR=docs \
//     build/tests/test_app --gtest_filter='Screenshot.*'
#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "about/gui/ProgramAboutBox.h"
#include "app/form/QuillonForm.h"
#include "runtime/Application.h"
#include "satellite/SampleFiles.h"
#include "startup/Startup.h"

namespace {

namespace fs = std::filesystem;

// A window's picture with a plain title bar drawn above it (the offscreen
// platform has no window manager to draw one).
QPixmap Framed(QWidget& window)
{
    QPixmap inside = window.grab();
    const int bar = 24;
    QPixmap framed(inside.width() + 2, inside.height() + bar + 1);
    framed.fill(QColor("#3b5f8f"));
    QPainter p(&framed);
    p.drawPixmap(1, bar, inside);
    p.setPen(Qt::white);
    QFont font = QApplication::font();
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRect(8, 0, framed.width() - 16, bar), Qt::AlignVCenter | Qt::AlignLeft, window.windowTitle());
    return framed;
}

void Settle(TFormMain& form)
{
    while (form.Busy())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QCoreApplication::processEvents();
}

TEST(Screenshot, WindowAndAboutBox)
{
    const char* out = std::getenv("QUILLON_SCREENSHOT_DIR");
    if (!out || !*out)
        GTEST_SKIP() << "set QUILLON_SCREENSHOT_DIR to write the pictures";
    char pattern[] = "/tmp/quillon-shot-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string root = pattern, folder = root + "/demo";
    fs::create_directories(root + "/bin");
    fs::create_symlink(fs::read_symlink("/proc/self/exe"), root + "/bin/quillon");
    ::setenv("QUILLON_REGISTRY_DIR", (root + "/registry").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (root + "/state").c_str(), 1);
    Application().SetExeName(root + "/bin/quillon");
    FinalizeUnits();
    InitializeUnits();
    WriteDemoFolder(folder, 12);

    {
        TFormMain form;
        TAboutBoxVKQ1 about(&form);
        TdfsBrowseDirectoryDlg::SetModalRunner([&](TBrowseFolderDialog& dialog) {
            dialog.SelectPath(folder);
            dialog.Confirm();
            return dialog.result() == QDialog::Accepted;
        });
        form.show();
        Settle(form);
        form.ButtonOpenFolder->click();
        Settle(form);
        TdfsBrowseDirectoryDlg::SetModalRunner(nullptr);
        QApplication::processEvents();
        EXPECT_TRUE(Framed(form).save(QString::fromLocal8Bit(out) + "/window.png"));
        about.show();
        QApplication::processEvents();
        EXPECT_TRUE(Framed(about).save(QString::fromLocal8Bit(out) + "/about.png"));
        about.hide();
    }
    // A large folder under way: its last file is a huge one without a header,
    // whose header search is still running when the picture is taken.
    const std::string large = root + "/station";
    WriteDemoFolder(large, 400);
    std::ofstream(large + "/zz-huge.mpd").close();
    fs::resize_file(large + "/zz-huge.mpd", 100ull << 30);
    {
        TFormMain form;
        TdfsBrowseDirectoryDlg::SetModalRunner([&](TBrowseFolderDialog& dialog) {
            dialog.SelectPath(large);
            dialog.Confirm();
            return dialog.result() == QDialog::Accepted;
        });
        form.show();
        Settle(form);
        form.ButtonOpenFolder->click();
        TdfsBrowseDirectoryDlg::SetModalRunner(nullptr);
        const QRegularExpression lastFile("^Reading headers: ([0-9,]+) of \\1$");
        for (int i = 0; i < 200000 && !lastFile.match(form.LabelStatus->text()).hasMatch(); ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QApplication::processEvents();
        EXPECT_TRUE(form.Busy());
        EXPECT_TRUE(Framed(form).save(QString::fromLocal8Bit(out) + "/window-scan.png"));
        form.ButtonStop->click();
        Settle(form);
    }
    Application().SetExeName("");
    FinalizeUnits();
    InitializeUnits();
    std::error_code error;
    fs::remove_all(root, error);
}

} // namespace
