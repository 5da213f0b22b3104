// SPDX-License-Identifier: GPL-3.0-or-later
// The window's translations: every text of the window, the browse dialog and
// the About box has a finished translation in each shipped .ts file, and the
// window comes up in German under a German locale (run by the test
// test_app_german with LANG=de_DE.UTF-8).
#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "about/gui/ProgramAboutBox.h"
#include "app/form/QuillonForm.h"
#include "runtime/Application.h"
#include "startup/Startup.h"

namespace {

// (context, source) -> translation, "" when missing or unfinished.
std::map<std::pair<QString, QString>, QString> ReadTs(const QString& fileName)
{
    std::map<std::pair<QString, QString>, QString> messages;
    QFile file(fileName);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << fileName.toStdString();
    QXmlStreamReader xml(&file);
    QString context, source;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"name")
            context = xml.readElementText();
        else if (xml.name() == u"source")
            source = xml.readElementText();
        else if (xml.name() == u"translation") {
            const bool finished = xml.attributes().value("type").isEmpty();
            const QString text = xml.readElementText();
            messages[{context, source}] = finished ? text : QString();
        }
    }
    EXPECT_FALSE(xml.hasError()) << fileName.toStdString() << ": " << xml.errorString().toStdString();
    return messages;
}

TEST(Translations, EveryShippedTsTranslatesEverySourceText)
{
    // The texts the sources hold now, as lupdate finds them.
    const QString lupdate = QUILLON_LUPDATE;
    if (lupdate.isEmpty() || lupdate.endsWith("NOTFOUND"))
        GTEST_SKIP() << "lupdate is not installed";
    QTemporaryDir scratch;
    const QString current = scratch.filePath("current.ts");
    const QString src = QUILLON_SOURCE_DIR;
    QProcess run;
    run.start(lupdate, {"-silent", "-locations", "none", src + "/app/form", src + "/about/gui", src + "/components/gui",
                        "-ts", current});
    ASSERT_TRUE(run.waitForFinished(-1));
    ASSERT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
    const auto wanted = ReadTs(current);
    ASSERT_GT(wanted.size(), 40u);

    const QStringList shipped = QDir(QUILLON_TRANSLATION_SOURCES).entryList({"quillon_*.ts"});
    ASSERT_FALSE(shipped.isEmpty());
    for (const QString& name : shipped) {
        const auto have = ReadTs(QString(QUILLON_TRANSLATION_SOURCES) + "/" + name);
        for (const auto& [key, unused] : wanted) {
            auto found = have.find(key);
            EXPECT_TRUE(found != have.end() && !found->second.isEmpty())
                << name.toStdString() << " lacks " << key.first.toStdString() << ": " << key.second.toStdString();
        }
    }
}

TEST(German, TheWindowComesUpInGermanUnderAGermanLocale)
{
    const char* expected = std::getenv("QUILLON_EXPECT_LANGUAGE");
    if (!expected || std::string(expected) != "de")
        GTEST_SKIP() << "run with LANG=de_DE.UTF-8 and QUILLON_EXPECT_LANGUAGE=de (ctest test_app_german)";
    ASSERT_EQ(QLocale::system().language(), QLocale::German);
    ASSERT_TRUE(InstallTranslations(QLocale::system(), {QUILLON_TRANSLATIONS_DIR}));

    char pattern[] = "/tmp/quillon-german-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string root = pattern;
    ::setenv("QUILLON_REGISTRY_DIR", (root + "/registry").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (root + "/state").c_str(), 1);
    Application().SetExeName(root + "/quillon");
    FinalizeUnits();
    InitializeUnits();
    {
        TFormMain form;
        form.show();
        while (form.Busy())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QCoreApplication::processEvents();
        EXPECT_EQ(form.windowTitle(), "Dateien nach Datum & Slot-Namen umbenennen");
        EXPECT_EQ(form.ButtonRename->text(), "Umbenennen");
        EXPECT_EQ(form.ButtonOpenFolder->text(), "Ordner öffnen");
        EXPECT_EQ(form.ButtonClose->text(), "Schließen");
        EXPECT_EQ(form.LabelNonStandardFiles->text(), "Nicht genormte MPD-Dateien");
        EXPECT_EQ(form.File1->title(), "&Datei");
        EXPECT_EQ(form.EditUndoLastRename->text(), "Letzte Umbenennung rückgängig machen");
        EXPECT_EQ(form.LabelStatus->text(), "0 Dateien umzubenennen");
        EXPECT_EQ(form.BrowseDirectoryDlg->Caption(), "Ordner mit Datendateien auswählen.");
        TAboutBoxVKQ1 about(&form);
        EXPECT_EQ(about.OKButton->text(), "OK");
        EXPECT_EQ(about.Comments->text(), "Vervielfältigung nur mit Genehmigung");
    }
    InstallTranslations(QLocale::c(), {});
    Application().SetExeName("");
    FinalizeUnits();
    InitializeUnits();
    std::error_code error;
    std::filesystem::remove_all(root, error);
}

} // namespace
