// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/gui/PersistentEdit.h"

#include <QFile>

TvkqEdit::TvkqEdit(QWidget* parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textChanged, this, [this](const QString&) {
        // No exception may cross the event loop; Change only assigns a string.
        try {
            Change();
        } catch (...) {
        }
    });
}

TvkqEdit::~TvkqEdit()
{
    // Freeing the variable writes the text to the registry.
    persisted_.reset();
}

std::string TvkqEdit::Text() const
{
    const QString shown = text();
    if (!rawText_.empty() && shown == rawShown_)
        return rawText_;
    return QFile::encodeName(shown).toStdString();
}

void TvkqEdit::SetText(const std::string& Value)
{
    rawText_ = Value;
    rawShown_ = QFile::decodeName(QByteArray::fromStdString(Value));
    setText(rawShown_);
}

void TvkqEdit::Loaded()
{
    if (Designing || persisted_)
        return;
    if (NamedAs.empty())
        NamedAs = objectName().toStdString();
    persisted_ = std::make_unique<TRegistryString>(NamedAs, Text());
    SetText(persisted_->Value);
}

void TvkqEdit::Change()
{
    if (persisted_)
        persisted_->Value = Text();
}
