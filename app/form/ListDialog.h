// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A message about many files: a heading, the files one per row in a list that
// scrolls, a Copy button that puts heading and rows on the clipboard, and OK.
// The dialog is never taller or wider than the screen it opens on, whatever
// the number of rows.
#include <QDialog>
#include <QStringList>

class QLabel;
class QListWidget;
class QPushButton;

class TListDialog : public QDialog {
    Q_OBJECT
public:
    TListDialog(const QString& Title, const QString& Heading, const QStringList& Lines, QWidget* parent = nullptr);

    QLabel* Heading;
    QListWidget* List;
    QPushButton* CopyButton;
    QPushButton* OKButton;

    // Heading and rows as plain text, one row a line (what Copy puts on the clipboard).
    QString Text() const;
    void Copy() const;
};
