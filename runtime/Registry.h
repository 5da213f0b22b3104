// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The registry store: a stand-in for the system registry with two roots,
// current user and local machine, each kept in one human-readable text file in
// the REGEDIT4 format:
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Vantor Quessel\quillon]
//   "SourceFolder"="/home/ann/data"
//   "Count"=dword:0000002a
//   "Blob"=hex:01,02,ff
//   "Other"=hex(7):41,00,00,00
//
// Each value keeps its type, so a string read refuses a value of another type.
// Key and value names compare without regard to ASCII case.
//
// Files: the current user's is $XDG_CONFIG_HOME/quillon/registry.reg (default
// ~/.config/quillon/registry.reg), the local machine's
// /var/lib/quillon/registry.reg. When QUILLON_REGISTRY_DIR is set, both live in
// that folder instead, as current-user.reg and local-machine.reg.
//
// Reads load the file as it stands and never change it. Every change locks
// <file>.lock, re-reads the file, changes it and replaces it atomically
// (temporary file, flush, rename). A file that cannot be parsed reads as
// empty; the first change moves it aside to <file>.corrupt-<time> before
// writing a fresh one, so it is never lost. A read-only file is never
// replaced.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Classes.h"
#include "runtime/Exceptions.h"

using HKEY = uint32_t;
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;

// Access rights.
constexpr uint32_t KEY_QUERY_VALUE = 0x0001;
constexpr uint32_t KEY_SET_VALUE = 0x0002;
constexpr uint32_t KEY_CREATE_SUB_KEY = 0x0004;
constexpr uint32_t KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr uint32_t KEY_NOTIFY = 0x0010;
constexpr uint32_t KEY_CREATE_LINK = 0x0020;
constexpr uint32_t KEY_READ = 0x20019;
constexpr uint32_t KEY_WRITE = 0x20006;
constexpr uint32_t KEY_ALL_ACCESS = 0xF003F;

// Value types.
constexpr uint32_t REG_NONE = 0;
constexpr uint32_t REG_SZ = 1;
constexpr uint32_t REG_EXPAND_SZ = 2;
constexpr uint32_t REG_BINARY = 3;
constexpr uint32_t REG_DWORD = 4;
constexpr uint32_t REG_MULTI_SZ = 7;

struct TRegistryValue {
    std::string Name;   // "" is the key's default value (@)
    uint32_t Type = REG_SZ;
    std::string Data;   // the text for REG_SZ, raw bytes otherwise (REG_DWORD little-endian)
};

struct TRegistryKey {
    std::string Path;   // below the root, components joined by '\', no leading '\'
    std::vector<TRegistryValue> Values;

    TRegistryValue* FindValue(std::string_view Name);
    const TRegistryValue* FindValue(std::string_view Name) const;
};

// The parsed contents of one root's file.
class TRegistryFile {
public:
    explicit TRegistryFile(std::string RootName) : RootName(std::move(RootName)) {}

    // Parses REGEDIT4 text; false with a message naming the line when the text
    // is not in the format (Keys then holds what came before the fault).
    bool Parse(std::string_view Text, std::string& Error);
    std::string Serialize() const;

    TRegistryKey* FindKey(std::string_view Path);
    const TRegistryKey* FindKey(std::string_view Path) const;
    // Finds or creates the key and every missing parent.
    TRegistryKey& CreateKey(std::string_view Path);

    std::string RootName;          // "HKEY_CURRENT_USER"
    std::vector<TRegistryKey> Keys; // in file order
};

// Name of a root ("HKEY_CURRENT_USER"), "" for one the store does not keep.
std::string RootKeyName(HKEY Root);
// The file that holds a root, "" for one the store does not keep.
std::string RegistryFileName(HKEY Root);
// How long a change waits for another process's lock before it gives up
// (milliseconds; 0 tries once). Default 2000.
void SetRegistryLockTimeout(int Milliseconds);

class TRegistry : public TObject {
public:
    TRegistry() : TRegistry(KEY_ALL_ACCESS) {}
    explicit TRegistry(uint32_t AAccess) : Access(AAccess) {}

    HKEY RootKey() const { return rootKey_; }
    void SetRootKey(HKEY Value);   // closes the open key
    uint32_t Access;                // rights the next operations use
    // The open key's path with a leading '\', "" when none is open.
    const std::string& CurrentPath() const { return currentPath_; }

    // Key: absolute when it begins with '\', otherwise below the open key.
    bool KeyExists(const std::string& Key) const;
    // False when the key is missing (and CanCreate is false) or cannot be
    // created; creating writes the key (and missing parents) at once.
    bool OpenKey(const std::string& Key, bool CanCreate);
    void CloseKey();
    bool ValueExists(const std::string& Name) const;
    // The value's text; "" when it does not exist. ERegistryException when the
    // value is not a string or the access rights do not allow reading.
    std::string ReadString(const std::string& Name) const;
    // ERegistryException naming the file when the value cannot be written.
    void WriteString(const std::string& Name, const std::string& Value);
    // Writes a value of any type (raw bytes); ERegistryException on failure.
    void WriteValue(const std::string& Name, uint32_t Type, const std::string& Data);
    bool DeleteValue(const std::string& Name);
    // Why the store could not be read or changed the last time a call that
    // answers false (OpenKey, KeyExists, ...) met such a failure: the file
    // and the reason. A key or value that is simply missing leaves it as it was.
    const std::string& LastError() const { return lastError_; }

private:
    std::string Resolve(const std::string& Key) const; // absolute path below the root, no leading '\'
    bool Load(TRegistryFile& File) const;
    template <class Change> bool Modify(Change change, std::string& Error);

    HKEY rootKey_ = HKEY_CURRENT_USER;
    bool keyOpen_ = false;
    std::string currentPath_;
    mutable std::string lastError_;
};
