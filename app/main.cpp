// SPDX-License-Identifier: GPL-3.0-or-later
// quillon: the window. Start-up runs every unit's initialisation in order,
// then sets the application's title, creates the main form and the hidden
// About form, and runs the message loop until the main form closes. At exit
// the forms are destroyed (the folder edit writes its registry value) and the
// finalisations run in reverse. The program reads no arguments of its own;
// Qt's (-platform, -style, ...) pass through to Qt.
#include <QApplication>
#include <QIcon>
#include <QLocale>

#include "about/gui/AboutBox.h"
#include "about/gui/ProgramAboutBox.h"
#include "app/form/QuillonForm.h"
#include "runtime/Application.h"
#include "runtime/Graphics.h"
#include "runtime/gui/QtGraphics.h"
#include "startup/Startup.h"

namespace {

// The application's default error display: an exception that leaves an event
// handler is shown in a message box with its text, and the loop goes on.
class TQuillonApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            TFormMain::ShowException(e);
        }
        return false;
    }
};

QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128})
        icon.addPixmap(PaintProgramIcon(size));
    return icon;
}

} // namespace

int main(int argc, char** argv)
{
    // 1. Every unit's initialisation, in order; their finalisations run when
    //    this goes out of scope, after the forms and the application object.
    TUnitLifetime units;

    // 2. The application object and its title.
    TQuillonApplication app(argc, argv);
    Application().Title = "Quillon";
    QApplication::setApplicationName("quillon");
    QApplication::setApplicationDisplayName("Quillon");
    QApplication::setWindowIcon(ProgramIcon());
    // The texts in the user's language, when a translation is installed:
    // beside the program (share/quillon/translations) or in its build folder.
    const QString exeDir = QCoreApplication::applicationDirPath();
    InstallTranslations(QLocale::system(), {exeDir + "/../share/quillon/translations", exeDir + "/translations"});
    // Canvases draw and measure text through Qt from now on.
    UseQtGraphics();

    int result = 0;
    {
        // 3. The main form (its folder edit reads its registry value when
        //    loaded), 4. the About form, hidden, centred on the main form.
        std::unique_ptr<TFormMain> mainForm = std::make_unique<TFormMain>();
        FormMain = mainForm.get();
        std::unique_ptr<TAboutBoxVKQ1> aboutForm = std::make_unique<TAboutBoxVKQ1>(mainForm.get());
        AboutBoxVKQ1 = aboutForm.get();
        // Pictures that ask for the main form's colour (a GIF's transparent
        // index) get the form's colour, clBtnFace.
        SetMainFormColorSource([] { return clBtnFace; });

        // 5. The message loop, until the main form closes.
        mainForm->show();
        result = app.exec();

        // Forms are destroyed in reverse order of creation; the folder edit
        // writes its text back to the registry with the main form.
        SetMainFormColorSource(nullptr);
        AboutBoxVKQ1 = nullptr;
        aboutForm.reset();
        FormMain = nullptr;
        mainForm.reset();
    }
    return result;
}
