// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/RegistryVariables.h"

#include "runtime/Application.h"
#include "runtime/SysUtils.h"

namespace {

const char* const DefaultCompanyKey = "Vantor Quessel";
const char* const SpecialCompanyKey = "Merrow Products";
const char* const SpecialExecutable = "KOVAXRUN.EXE";

std::string companyKey = DefaultCompanyKey;
HKEY rootKey = HKEY_CURRENT_USER;

} // namespace

void InitializeRegistryVariables()
{
    companyKey = DefaultCompanyKey;
    rootKey = HKEY_CURRENT_USER;
    if (UpperCase(ExtractFileName(Application().ExeName())) == SpecialExecutable) {
        companyKey = SpecialCompanyKey;
        rootKey = HKEY_LOCAL_MACHINE;
    }
}

void FinalizeRegistryVariables()
{
    companyKey = DefaultCompanyKey;
    rootKey = HKEY_CURRENT_USER;
}

const std::string& RegistryCompanyKey()
{
    return companyKey;
}

HKEY RegistryRootKey()
{
    return rootKey;
}

TRegistryVariable::TRegistryVariable(const std::string& Name)
    : ValueName(Name),
      KeyPath("\\Software\\" + companyKey + "\\" + ChangeFileExt(ExtractFileName(Application().ExeName()), "")),
      RootKey(rootKey)
{
}

TRegistryVariable::~TRegistryVariable()
{
    if (!DeleteOnDestroy)
        return;
    try {
        TRegistry registry(KEY_READ | KEY_WRITE);
        registry.SetRootKey(RootKey);
        if (registry.OpenKey(KeyPath, true))
            registry.DeleteValue(ValueName);
    } catch (...) {
        // A value that cannot be deleted stays; nothing to report.
    }
}

TRegistryString::TRegistryString(const std::string& Name, const std::string& Default)
    : TRegistryVariable(Name), Value(Default)
{
    try {
        TRegistry registry;
        registry.SetRootKey(RootKey);
        if (registry.KeyExists(KeyPath)) {
            // Read only below the key itself, never from wherever a failed
            // open would leave the access object.
            if (registry.OpenKey(KeyPath, false) && registry.ValueExists(ValueName))
                Value = registry.ReadString(ValueName);
        }
    } catch (...) {
        Value = Default;   // a value of another type, or no access: keep the default
    }
}

TRegistryString::~TRegistryString()
{
    try {
        Save();
    } catch (...) {
    }
}

void TRegistryString::Save()
{
    try {
        TRegistry registry;
        registry.SetRootKey(RootKey);
        if (!registry.OpenKey(KeyPath, true))
            return;
        registry.WriteString(ValueName, Value);
    } catch (...) {
        // Lost without a message, as every registry failure.
    }
}
