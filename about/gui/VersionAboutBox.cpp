// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/gui/VersionAboutBox.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QFrame>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>

#include "runtime/Application.h"
#include "runtime/SysUtils.h"

namespace {

TAboutBoxVKQ::TUrlOpener& UrlOpener()
{
    static TAboutBoxVKQ::TUrlOpener opener;
    return opener;
}

QString ToQt(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

} // namespace

TAboutBoxVKQ::TAboutBoxVKQ(QWidget* parent) : TAboutBoxVKQ(parent, TInheritedForm{})
{
    FormLoaded();
}

TAboutBoxVKQ::TAboutBoxVKQ(QWidget* parent, TInheritedForm) : TAboutBox(parent, TInheritedForm{})
{
    setObjectName("AboutBoxVKQ");
    SetClientSize(362, 213);
    Panel1->setGeometry(8, 8, 345, 161);
    ProgramIcon->setGeometry(16, 16, 32, 32);
    Comments->setWordWrap(false);
    Comments->setGeometry(8, 104, 199, 13);
    Comments->SetCaption(tr("May not be reproduced without permission").toStdString());
    OKButton->setGeometry(143, 180, 75, 25);

    WebSite = new TAboutLabel("WebSite", Panel1);
    WebSite->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    WebSite->setGeometry(296, 136, 41, 13);
    WebSite->setCursor(Qt::PointingHandCursor);
    QFont link = WebSite->font();
    link.setUnderline(true);
    WebSite->setFont(link);
    QPalette palette = WebSite->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 128)); // navy
    WebSite->setPalette(palette);
    WebSite->SetCaption(tr("WebSite").toStdString());
    WebSite->installEventFilter(this);

    // The version reader, with its design values; it reads when loading ends.
    VI = std::make_unique<TdfsVersionInfoResource>();
    VI->BeginLoading();
    VI->SetCopyrightLabel(Copyright);
    VI->SetProductLabel(ProductName);
    TPreDefs shown;
    for (TPreDef d : {pdCompanyName, pdFileDescription, pdInternalName, pdLegalTrademarks, pdOriginalFilename,
                      pdProductVersion, pdComments, pdBuildFlags})
        shown.Include(d);
    VI->SetShowResource(shown);
    Copyright->FreeNotify = VI.get();
    ProductName->FreeNotify = VI.get();
}

TAboutBoxVKQ::~TAboutBoxVKQ()
{
    // The labels outlive the reader (they go with the window): let them forget it.
    Copyright->FreeNotify = nullptr;
    ProductName->FreeNotify = nullptr;
}

void TAboutBoxVKQ::SetUrlOpener(TUrlOpener Opener)
{
    UrlOpener() = std::move(Opener);
}

void TAboutBoxVKQ::ComponentsLoaded()
{
    TAboutBox::ComponentsLoaded();
    VI->Loaded();
}

void TAboutBoxVKQ::showEvent(QShowEvent* event)
{
    FormShow();
    TAboutBox::showEvent(event);
}

bool TAboutBoxVKQ::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == WebSite && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        WebSiteClick();
        return true;
    }
    return TAboutBox::eventFilter(watched, event);
}

void TAboutBoxVKQ::FormShow()
{
    SetDesktopFont();
    setWindowTitle(tr("About Vantor's %1").arg(ToQt(VI->ValueByIndex(pdProductName))));
    QIcon icon = QApplication::windowIcon();
    ProgramIcon->setPixmap(icon.isNull() ? PaintProgramIcon(32) : icon.pixmap(32, 32));
    Version->SetCaption(ExtractFileName(Application().ExeName()) + ", V" + VI->FileVersionInfo().AsText() + ", " +
                        VI->ValueByIndex(pdComments));
    WebSite->SetCaption(VI->StringValue("Web site"));
}

void TAboutBoxVKQ::WebSiteClick()
{
    std::string address = WebSite->text().toStdString();
    if (address.empty())
        return;
    if (address.find("http://") == std::string::npos)
        address = "http://" + address;
    if (UrlOpener())
        UrlOpener()(address);
    else
        QDesktopServices::openUrl(QUrl(ToQt(address))); // a failure is ignored; the box stays open
}
