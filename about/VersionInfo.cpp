// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/VersionInfo.h"

#include <dlfcn.h>
#include <link.h>

#include <array>
#include <cstdio>

#include "about/VersionBlock.h"
#include "runtime/Application.h"
#include "runtime/ByteOrder.h"
#include "runtime/SysUtils.h"

namespace {

const char* const PreDefKeys[PreDefCount] = {
    "CompanyName", "FileDescription", "FileVersion", "InternalName",
    "LegalCopyright", "LegalTrademarks", "OriginalFilename", "ProductName",
    "ProductVersion", "Comments", "BuildFlags",
};

// The unit's localizable texts; InitializeGVersInfo loads them into the tables.
const char* const PreDefCaptionTexts[PreDefCount] = {
    "Company Name", "File Description", "File Version", "Internal Name",
    "Legal Copyright", "Legal Trademarks", "Original Filename", "Product Name",
    "Product Version", "Comments", "Build Flags",
};
const char* const FlagNameTexts[FileFlagCount] = {
    "Debug", "Info Inferred", "Patched", "Pre-Release", "Private", "Special",
};
const char* const ResourceColumnText = "Resource";
const char* const ValueColumnText = "Value";

// dwFileFlags bit of each FlagSet member, in member order.
const std::uint32_t FlagBits[FileFlagCount] = {0x01, 0x10, 0x04, 0x02, 0x08, 0x20};

std::array<std::string, PreDefCount> preDefCaptions;
std::array<std::string, FileFlagCount> flagNames;
std::string resourceColumn, valueColumn;

// The list view's rows: ordinal, in display order.
const TPreDef ListOrder[PreDefCount] = {
    pdProductName, pdProductVersion, pdCompanyName, pdLegalCopyright, pdLegalTrademarks,
    pdFileDescription, pdFileVersion, pdInternalName, pdOriginalFilename, pdBuildFlags, pdComments,
};

// The module (executable or shared library) whose loaded segments hold addr.
struct ModuleLookup {
    std::uintptr_t Address = 0;
    int Index = 0;
    int Found = -1;
    std::string Name;
};

int FindModule(dl_phdr_info* info, size_t, void* data)
{
    auto* lookup = static_cast<ModuleLookup*>(data);
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_LOAD)
            continue;
        std::uintptr_t start = info->dlpi_addr + ph.p_vaddr;
        if (lookup->Address >= start && lookup->Address < start + ph.p_memsz) {
            lookup->Found = lookup->Index;
            lookup->Name = info->dlpi_name ? info->dlpi_name : "";
            return 1;
        }
    }
    ++lookup->Index;
    return 0;
}

ModuleLookup OwnModule()
{
    ModuleLookup lookup;
    lookup.Address = reinterpret_cast<std::uintptr_t>(&FindModule);
    dl_iterate_phdr(FindModule, &lookup);
    return lookup;
}

} // namespace

void InitializeGVersInfo()
{
    for (int i = 0; i < PreDefCount; ++i)
        preDefCaptions[i] = PreDefCaptionTexts[i];
    for (int i = 0; i < FileFlagCount; ++i)
        flagNames[i] = FlagNameTexts[i];
    resourceColumn = ResourceColumnText;
    valueColumn = ValueColumnText;
}

void FinalizeGVersInfo()
{
    for (std::string& s : preDefCaptions)
        s.clear();
    for (std::string& s : flagNames)
        s.clear();
    resourceColumn.clear();
    valueColumn.clear();
}

const char* PreDefKey(int ordinal)
{
    return ordinal >= 0 && ordinal < PreDefCount ? PreDefKeys[ordinal] : "";
}

std::string PreDefCaption(int ordinal)
{
    return ordinal >= 0 && ordinal < PreDefCount ? preDefCaptions[ordinal] : std::string();
}

std::string FileFlagName(int member)
{
    return member >= 0 && member < FileFlagCount ? flagNames[member] : std::string();
}

// ---- TVersionNumberInformation ------------------------------------------------

std::uint16_t TVersionNumberInformation::Part(int index) const
{
    if (!Valid)
        return 0;
    switch (index) {
    case 0: return std::uint16_t(VersionMS >> 16);
    case 1: return std::uint16_t(VersionMS);
    case 2: return std::uint16_t(VersionLS >> 16);
    case 3: return std::uint16_t(VersionLS);
    default: return 0;
    }
}

std::string TVersionNumberInformation::AsText() const
{
    if (!Valid)
        return std::string();
    if (!VersionText.empty())
        return VersionText;
    return Format("%d.%d.%d.%d", {Part(0), Part(1), Part(2), Part(3)});
}

// ---- TFixedFileVersionInfo ----------------------------------------------------

std::uint32_t TFixedFileVersionInfo::Field(std::size_t at) const
{
    if (!record_)
        return 0;
    const std::vector<std::uint8_t>& data = owner_->VersionData();
    std::size_t p = *record_ + at;
    if (p + 4 > data.size())
        return 0;
    return GetLE32(data.data() + p);
}

TFileFlags TFixedFileVersionInfo::FlagSet() const
{
    TFileFlags set;
    if (!record_)
        return set;
    std::uint32_t flags = Field(28); // dwFileFlags; dwFileFlagsMask is not applied
    for (int i = 0; i < FileFlagCount; ++i)
        if (flags & FlagBits[i])
            set.Bits = std::uint8_t(set.Bits | 1u << i);
    return set;
}

// ---- TdfsVersionInfoResource ------------------------------------------------------

TdfsVersionInfoResource::TdfsVersionInfoResource() : fixedInfo_(this) {}

TdfsVersionInfoResource::~TdfsVersionInfoResource() = default;

void TdfsVersionInfoResource::Loaded()
{
    loading_ = false;
    LoadVersionData();
}

void TdfsVersionInfoResource::Notification(const void* component, TOperation operation)
{
    if (operation != opRemove || component == nullptr)
        return;
    if (versionLabel_ == component)
        versionLabel_ = nullptr;
    else if (copyrightLabel_ == component)
        copyrightLabel_ = nullptr;
    else if (productLabel_ == component)
        productLabel_ = nullptr;
    else if (descriptionLabel_ == component)
        descriptionLabel_ = nullptr;
    else if (listView_ == component)
        listView_ = nullptr;
}

void TdfsVersionInfoResource::SetFilename(const std::string& value)
{
    filename_ = value;
    LoadVersionData();
}

void TdfsVersionInfoResource::SetForceEXE(bool value)
{
    if (value == forceEXE_)
        return;
    forceEXE_ = value;
    LoadVersionData();
}

void TdfsVersionInfoResource::SetLabel(TVersionLabel*& field, TVersionLabel* label, TPreDef own)
{
    field = label;
    if (label == nullptr)
        return;
    showResource_.Exclude(own);
    FillControls();
}

void TdfsVersionInfoResource::SetVersionListView(TVersionListView* view)
{
    listView_ = view;
    if (view != nullptr)
        FillControls();
}

void TdfsVersionInfoResource::SetShowResource(TPreDefs value)
{
    if (value == showResource_)
        return;
    showResource_ = value;
    FillControls();
}

std::string TdfsVersionInfoResource::ValueByIndex(int index) const
{
    if (index < 0 || index >= PreDefCount)
        return std::string();
    return StringValue(PreDefKeys[index]);
}

std::string TdfsVersionInfoResource::StringValue(const std::string& key) const
{
    if (versionData_.empty())
        return std::string();
    std::string translation = translationIndex_ < translations_.Count()
                                  ? translations_[translationIndex_]
                                  : std::string("040904E4");
    std::string path = "\\StringFileInfo\\" + translation + "\\" + key;
    std::span<const std::uint8_t> value;
    if (!VerQueryValue(std::span<const std::uint8_t>(versionData_), path, value))
        return std::string();
    return VersionStringFromUtf16(value);
}

bool TdfsVersionInfoResource::IsLibrary()
{
    return OwnModule().Found > 0; // module 0 is the executable
}

std::string TdfsVersionInfoResource::ModuleFileName()
{
    ModuleLookup lookup = OwnModule();
    if (lookup.Found <= 0)
        return ExecutableFileName();
    return lookup.Name;
}

std::string TdfsVersionInfoResource::ResolveFileName() const
{
    if (!filename_.empty())
        return filename_;
    if (!IsLibrary() || forceEXE_)
        return Application().ExeName();
    return ModuleFileName();
}

void TdfsVersionInfoResource::LoadVersionData()
{
    translations_.Clear();
    fixedInfo_.SetRecord(std::nullopt);
    versionData_.clear();

    versionData_ = ReadFileVersionBlock(ResolveFileName());
    if (versionData_.empty()) {
        fileVersionInfo_.Valid = false;
        productVersionInfo_.Valid = false;
    } else {
        std::span<std::uint8_t> block(versionData_);
        std::span<std::uint8_t> value;
        // A record shorter than VS_FIXEDFILEINFO counts as none: its fields
        // would lie beyond the value.
        if (VerQueryValue(block, "\\", value) && value.size() >= 52)
            fixedInfo_.SetRecord(std::size_t(value.data() - versionData_.data()));
        if (VerQueryValue(block, "\\VarFileInfo\\Translation", value)) {
            for (std::size_t i = 0; i + 4 <= value.size(); i += 4) {
                std::uint8_t* e = value.data() + i;
                std::uint16_t language = GetLE16(e);
                std::uint16_t codePage = GetLE16(e + 2);
                if (language == 0) {
                    language = 1033;
                    PutLE16(e, language);
                }
                if (codePage == 0) {
                    codePage = 1252;
                    PutLE16(e + 2, codePage);
                }
                char id[9];
                std::snprintf(id, sizeof id, "%.4X%.4X", unsigned(language), unsigned(codePage));
                translations_.Add(id);
            }
        }
        if (translationIndex_ >= translations_.Count())
            translationIndex_ = 0;
        fileVersionInfo_.Valid = true;
        fileVersionInfo_.VersionMS = fixedInfo_.FileVersionMS();
        fileVersionInfo_.VersionLS = fixedInfo_.FileVersionLS();
        fileVersionInfo_.VersionText = ValueByIndex(pdFileVersion);
        productVersionInfo_.Valid = true;
        productVersionInfo_.VersionMS = fixedInfo_.ProductVersionMS();
        productVersionInfo_.VersionLS = fixedInfo_.ProductVersionLS();
        productVersionInfo_.VersionText = ValueByIndex(pdProductVersion);
    }
    FillControls();
}

std::string TdfsVersionInfoResource::FlagsText() const
{
    std::string text;
    TFileFlags set = fixedInfo_.FlagSet();
    for (int i = 0; i < FileFlagCount; ++i)
        if (set.Contains(TFileFlag(i)))
            text += FileFlagName(i) + ", ";
    if (!text.empty())
        text.resize(text.size() - 2);
    return text;
}

void TdfsVersionInfoResource::FillControls()
{
    if (loading_ || Designing)
        return;
    if (versionLabel_)
        versionLabel_->SetCaption(fileVersionInfo_.AsText());
    if (copyrightLabel_)
        copyrightLabel_->SetCaption(ValueByIndex(pdLegalCopyright));
    if (productLabel_)
        productLabel_->SetCaption(ValueByIndex(pdProductName));
    if (descriptionLabel_)
        descriptionLabel_->SetCaption(ValueByIndex(pdFileDescription));
    if (listView_)
        FillListView();
}

void TdfsVersionInfoResource::FillListView()
{
    if (!listView_)
        return;
    listView_->ClearAll();
    listView_->AddColumn(resourceColumn, -2);
    listView_->AddColumn(valueColumn, -2);
    for (TPreDef ordinal : ListOrder) {
        std::string value;
        switch (ordinal) {
        case pdProductVersion: value = productVersionInfo_.AsText(); break;
        case pdFileVersion: value = fileVersionInfo_.AsText(); break;
        case pdBuildFlags: value = FlagsText(); break;
        default: value = ValueByIndex(ordinal); break;
        }
        if (!value.empty() && showResource_.Contains(ordinal))
            listView_->AddItem(PreDefCaption(ordinal), value);
    }
}

std::vector<std::pair<std::string, std::string>> VersionStringValues(const TdfsVersionInfoResource& Info)
{
    std::vector<std::pair<std::string, std::string>> values;
    for (int i = 0; i < PreDefCount; ++i)
        values.emplace_back(PreDefKey(i), Info.ValueByIndex(i));
    values.emplace_back("Web site", Info.StringValue("Web site"));
    return values;
}
