// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/form/ListDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TListDialog::TListDialog(const QString& Title, const QString& HeadingText, const QStringList& Lines, QWidget* parent)
    : QDialog(parent)
{
    setObjectName("ListDialog");
    setWindowTitle(Title);
    auto* layout = new QVBoxLayout(this);
    Heading = new QLabel(HeadingText, this);
    Heading->setObjectName("Heading");
    Heading->setWordWrap(true);
    Heading->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(Heading);
    List = new QListWidget(this);
    List->setObjectName("List");
    List->setUniformItemSizes(true);
    List->setSelectionMode(QAbstractItemView::ExtendedSelection);
    List->addItems(Lines);
    layout->addWidget(List, 1);
    auto* buttons = new QDialogButtonBox(this);
    CopyButton = buttons->addButton(tr("Copy"), QDialogButtonBox::ActionRole);
    CopyButton->setObjectName("CopyButton");
    OKButton = buttons->addButton(QDialogButtonBox::Ok);
    OKButton->setObjectName("OKButton");
    OKButton->setText(tr("OK"));
    layout->addWidget(buttons);
    connect(CopyButton, &QPushButton::clicked, this, [this] { Copy(); });
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    // Wide enough for the rows, as tall as they need, within two thirds of the screen.
    QScreen* screen = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
    const QFontMetrics metrics(List->font());
    int widest = metrics.horizontalAdvance(HeadingText.section('\n', 0, 0));
    for (qsizetype i = 0; i < std::min<qsizetype>(Lines.size(), 500); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(Lines[i]));
    const int rowsHeight = metrics.height() * int(std::min<qsizetype>(Lines.size() + 1, 40));
    const QSize wanted(std::max(360, widest + 60), rowsHeight + sizeHint().height());
    const QSize limit = available.size() * 2 / 3;
    resize(wanted.boundedTo(limit).expandedTo(QSize(std::min(360, limit.width()), std::min(240, limit.height()))));
    setMaximumSize(available.size());
}

QString TListDialog::Text() const
{
    QString text = Heading->text();
    for (int i = 0; i < List->count(); ++i)
        text += '\n' + List->item(i)->text();
    return text;
}

void TListDialog::Copy() const
{
    QApplication::clipboard()->setText(Text());
}
