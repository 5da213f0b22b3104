// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/gui/AboutBox.h"

#include <QApplication>
#include <QFrame>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

QPixmap PaintProgramIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    QLinearGradient sky(0, 2, 0, 62);
    sky.setColorAt(0, QColor("#1d3f73"));
    sky.setColorAt(1, QColor("#3b7bbf"));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);

    // The satellite's orbit and the satellite.
    p.save();
    p.translate(32, 26);
    p.rotate(-18);
    p.setBrush(Qt::NoBrush);
    QPen orbit(QColor("#9fd0ff"), 1.6);
    orbit.setDashPattern({3 / 1.6, 2 / 1.6});
    p.setPen(orbit);
    p.drawEllipse(QPointF(0, 0), 25, 9);
    p.restore();
    p.save();
    p.translate(49, 13);
    p.rotate(-18);
    p.setPen(Qt::NoPen);
    p.fillRect(QRectF(-3, -3, 6, 6), QColor("#ffd34d"));
    p.fillRect(QRectF(-10, -2, 6, 4), QColor("#9fd0ff"));
    p.fillRect(QRectF(4, -2, 6, 4), QColor("#9fd0ff"));
    p.restore();

    // The quill.
    QPainterPath feather;
    feather.moveTo(46, 20);
    feather.cubicTo(36, 22, 24, 32, 17, 48);
    feather.lineTo(20, 49);
    feather.cubicTo(27, 36, 37, 27, 46, 20);
    feather.closeSubpath();
    QLinearGradient white(0, 0, 64, 64);
    white.setColorAt(0, Qt::white);
    white.setColorAt(1, QColor("#d8e2ee"));
    p.setBrush(white);
    p.setPen(QPen(QColor("#0e2444"), 1));
    p.drawPath(feather);
    QPainterPath shaft;
    shaft.moveTo(46, 20);
    shaft.cubicTo(40, 30, 30, 40, 20, 49);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor("#0e2444"), 0.8));
    p.drawPath(shaft);
    QPainterPath nib;
    nib.moveTo(17, 48);
    nib.lineTo(14, 55);
    nib.lineTo(20, 49);
    nib.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor("#0e2444"));
    p.drawPath(nib);
    p.setPen(QPen(QColor("#ffd34d"), 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(12, 56), QPointF(52, 56));
    return pixmap;
}

// ---- TAboutLabel ----------------------------------------------------------------

TAboutLabel::TAboutLabel(const QString& objectName, QWidget* parent) : QLabel(parent)
{
    setObjectName(objectName);
    setTextFormat(Qt::PlainText); // accelerator and markup characters show as they are
}

TAboutLabel::~TAboutLabel()
{
    if (FreeNotify)
        FreeNotify->Notification(static_cast<TVersionLabel*>(this), opRemove);
}

void TAboutLabel::SetCaption(const std::string& caption)
{
    setText(QString::fromUtf8(caption.data(), qsizetype(caption.size())));
    AutoSize();
}

void TAboutLabel::AutoSize()
{
    if (wordWrap())
        return;
    QRect g = geometry();
    int width = sizeHint().width();
    if (alignment() & Qt::AlignRight)
        setGeometry(g.right() + 1 - width, g.y(), width, g.height());
    else
        setGeometry(g.x(), g.y(), width, g.height());
}

// ---- TAboutBox -------------------------------------------------------------------

TAboutBox::TAboutBox(QWidget* parent) : TAboutBox(parent, TInheritedForm{})
{
    FormLoaded();
}

TAboutBox::TAboutBox(QWidget* parent, TInheritedForm) : QDialog(parent)
{
    setObjectName("AboutBox");
    setWindowTitle(tr("About"));
    setFont(DesignFont());
    SetClientSize(298, 213);

    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken); // inner bevel raised, outer lowered
    Panel1->setLineWidth(2);
    Panel1->setGeometry(8, 8, 281, 161);

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setObjectName("ProgramIcon");
    ProgramIcon->setScaledContents(true); // stretched
    ProgramIcon->setGeometry(8, 8, 65, 57);
    ProgramIcon->setPixmap(PaintProgramIcon(32));

    auto label = [this](const char* name, const std::string& caption, int left, int top) {
        auto* l = new TAboutLabel(name, Panel1);
        l->setGeometry(left, top, 10, 13);
        l->SetCaption(caption);
        return l;
    };
    ProductName = label("ProductName", tr("Product Name").toStdString(), 64, 16);
    QFont bold = ProductName->font();
    bold.setBold(true);
    ProductName->setFont(bold);
    ProductName->AutoSize();
    Version = label("Version", tr("Version").toStdString(), 64, 40);
    Copyright = label("Copyright", tr("Copyright").toStdString(), 8, 80);
    Comments = label("Comments", tr("Comments").toStdString(), 8, 104);
    Comments->setWordWrap(true);
    Comments->setGeometry(8, 104, 265, 39);

    OKButton = new QPushButton(tr("OK"), this);
    OKButton->setObjectName("OKButton");
    OKButton->setGeometry(111, 180, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    // Escape closes a dialog like its cancel button.
}

QFont TAboutBox::DesignFont()
{
    QFont font("MS Sans Serif");
    font.setPixelSize(11);
    return font;
}

void TAboutBox::SetDesktopFont()
{
    setFont(QApplication::font());
    // Labels size themselves to their text in the new font.
    for (QLabel* child : findChildren<QLabel*>())
        if (auto* label = dynamic_cast<TAboutLabel*>(child))
            label->AutoSize();
}

void TAboutBox::FormLoaded()
{
    ComponentsLoaded();
    FormCreate();
}

void TAboutBox::SetClientSize(int width, int height)
{
    setFixedSize(width, height); // border style dialog: not resizable
}
