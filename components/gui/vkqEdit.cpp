#include "components/gui/vkqEdit.h"

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
    // encodeName keeps file-name bytes that are not valid UTF-8 intact.
    return QFile::encodeName(text()).toStdString();
}

void TvkqEdit::SetText(const std::string& Value)
{
    setText(QFile::decodeName(QByteArray::fromStdString(Value)));
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
