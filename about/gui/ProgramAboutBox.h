// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TAboutBoxVKQ1: this program's About box. Moves a few controls to fit a
// narrower box and switches the form to the desktop font when created. The
// program creates one at start-up, hidden, as AboutBoxVKQ1.
#include "about/gui/VersionAboutBox.h"

class TAboutBoxVKQ1 : public TAboutBoxVKQ {
    Q_OBJECT
public:
    explicit TAboutBoxVKQ1(QWidget* parent = nullptr);

protected:
    TAboutBoxVKQ1(QWidget* parent, TInheritedForm);
    void FormCreate() override;
};

// The program's About form, null when none exists.
extern TAboutBoxVKQ1* AboutBoxVKQ1;
