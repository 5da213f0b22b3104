// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/gui/ProgramAboutBox.h"

#include <QFrame>
#include <QPushButton>

TAboutBoxVKQ1* AboutBoxVKQ1 = nullptr;

TAboutBoxVKQ1::TAboutBoxVKQ1(QWidget* parent) : TAboutBoxVKQ1(parent, TInheritedForm{})
{
    FormLoaded();
}

TAboutBoxVKQ1::TAboutBoxVKQ1(QWidget* parent, TInheritedForm) : TAboutBoxVKQ(parent, TInheritedForm{})
{
    setObjectName("AboutBoxVKQ1");
    SetClientSize(312, 213);
    Panel1->setGeometry(8, 8, 297, 161);
    // WebSite keeps its right edge 8 pixels inside the panel, as its anchor does.
    QRect web = WebSite->geometry();
    WebSite->setGeometry(248 + 41 - web.width(), web.y(), web.width(), web.height());
    OKButton->setGeometry(118, 180, 75, 25);
}

void TAboutBoxVKQ1::FormCreate()
{
    TAboutBoxVKQ::FormCreate();
    SetDesktopFont();
}
