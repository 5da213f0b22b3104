// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TAboutBox: the plain About dialog layout (a panel with the program's icon
// and four labels, and an OK button), with no behaviour of its own. The
// inheriting forms apply their own design values over these.
#include <QDialog>
#include <QLabel>
#include <QPixmap>

#include "about/VersionInfo.h"

class QFrame;
class QPushButton;

// The program's icon, painted at the given size (the same design as
// app/icons/quillon.svg).
QPixmap PaintProgramIcon(int size);

// A label the version reader can write into; it tells the reader when it goes.
class TAboutLabel : public QLabel, public TVersionLabel {
public:
    TAboutLabel(const QString& objectName, QWidget* parent);
    ~TAboutLabel() override;
    void SetCaption(const std::string& caption) override;
    // Resizes to the text, keeping the left edge (or, right-aligned, the right edge).
    void AutoSize();
    // The reader to notify when the label is destroyed (not owned).
    TdfsVersionInfoResource* FreeNotify = nullptr;
};

// Tag of the constructors that build a form as part of an inheriting form:
// they apply the design values but leave the loaded step to the final class.
struct TInheritedForm {};

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QFrame* Panel1;
    QLabel* ProgramIcon;
    TAboutLabel* ProductName;
    TAboutLabel* Version;
    TAboutLabel* Copyright;
    TAboutLabel* Comments;
    QPushButton* OKButton;

    // The form's design-time font: "MS Sans Serif", 8 point (the desktop's
    // font serves where it is missing).
    static QFont DesignFont();
    // Switches the form to the desktop's font.
    void SetDesktopFont();

protected:
    TAboutBox(QWidget* parent, TInheritedForm);
    // Ends loading: components' Loaded steps, then the OnCreate handler.
    void FormLoaded();
    virtual void ComponentsLoaded() {}
    virtual void FormCreate() {}
    // Sets the client area's size.
    void SetClientSize(int width, int height);
};
