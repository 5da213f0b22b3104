// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Settings kept in the registry, one value per setting, under
// \Software\<company key>\<executable's file name without extension>.
//
// TRegistryString reads its value once when constructed and writes it once
// when destroyed. Every registry failure is silent: the variable keeps its
// default, and a value that cannot be written is lost.
#include <string>

#include "runtime/Classes.h"
#include "runtime/Registry.h"

// Unit initialisation: company key "Vantor Quessel" under HKEY_CURRENT_USER,
// or "Merrow Products" under HKEY_LOCAL_MACHINE when the running executable's
// file name, upper-cased (ASCII), is "KOVAXRUN.EXE". The executable is
// Application().ExeName().
void InitializeRegistryVariables();
void FinalizeRegistryVariables();

const std::string& RegistryCompanyKey();
HKEY RegistryRootKey();

class TRegistryVariable : public TObject {
public:
    explicit TRegistryVariable(const std::string& Name);
    // When DeleteOnDestroy is set, removes the value from the registry.
    ~TRegistryVariable() override;
    TRegistryVariable(const TRegistryVariable&) = delete;
    TRegistryVariable& operator=(const TRegistryVariable&) = delete;

    virtual void Save() = 0;

    bool DeleteOnDestroy = false;
    std::string ValueName;
    std::string KeyPath;   // \Software\<company>\<executable name without extension>
    HKEY RootKey;
};

class TRegistryString : public TRegistryVariable {
public:
    // Value = Default, then the stored string when the key and value exist and
    // the value is a string.
    TRegistryString(const std::string& Name, const std::string& Default);
    // Saves, then (base) deletes the value when DeleteOnDestroy is set.
    ~TRegistryString() override;

    // Opens (creating) the key and writes Value as a string; failures ignored.
    void Save() override;

    std::string Value;
};
