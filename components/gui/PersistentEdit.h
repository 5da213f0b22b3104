// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TvkqEdit: a single-line edit whose text persists in the registry under the
// value name NamedAs. The form loader calls Loaded() once all properties are
// set; from then on the text is bound to a TRegistryString: the stored text
// replaces the design-time one, every change (typed or set by the program) is
// kept in memory, and the destructor writes it back. An edit that is never
// loaded never touches the registry.
#include <QLineEdit>
#include <memory>
#include <string>

#include "components/RegistryVariables.h"

class TvkqEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TvkqEdit(QWidget* parent = nullptr);
    ~TvkqEdit() override;

    // Registry value name; when empty at load time, the component's name
    // (objectName) is used and stored here.
    std::string NamedAs;
    // True while the component is being designed (no registry access).
    bool Designing = false;

    // Called by the form loader once loading is complete.
    virtual void Loaded();

    // The text as 8-bit file-name bytes, and setting it so. Bytes that are not
    // valid UTF-8 cannot be shown as they are; the bytes given to SetText are
    // kept and come back from Text() for as long as the shown text is unchanged,
    // so a folder name with such bytes survives the round trip.
    std::string Text() const;
    void SetText(const std::string& Value);

    // The variable behind the text; null before Loaded.
    const TRegistryString* Persisted() const { return persisted_.get(); }

protected:
    // Runs after every change of the text.
    virtual void Change();

private:
    std::unique_ptr<TRegistryString> persisted_;
    std::string rawText_;      // the bytes last given to SetText
    QString rawShown_;         // what they were shown as
};
