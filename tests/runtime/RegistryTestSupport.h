// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The registry store's files in a private registry folder, for the store's
// own tests and those of the registry variables.
#include <string>

#include "runtime/Registry.h"
#include "tests/components/ScanTestSupport.h"

class TRegistryScratch : public TScanScratch {
protected:
    void SetUp() override
    {
        TScanScratch::SetUp();
        userFile = RegistryFileName(HKEY_CURRENT_USER);
        machineFile = RegistryFileName(HKEY_LOCAL_MACHINE);
    }
    void TearDown() override
    {
        SetRegistryLockTimeout(2000);
        TScanScratch::TearDown();
    }
    // The text value name of key under root, "<none>" when there is none.
    static std::string Stored(HKEY root, const std::string& key, const std::string& name)
    {
        TRegistry registry;
        registry.SetRootKey(root);
        if (!registry.OpenKey(key, false) || !registry.ValueExists(name))
            return "<none>";
        return registry.ReadString(name);
    }

    std::string userFile;
    std::string machineFile;
};
