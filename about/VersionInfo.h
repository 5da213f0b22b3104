// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The version resource reader: reads the VERSIONINFO block of the running
// executable (or of a named file) and exposes its predefined string values,
// the fixed file and product version numbers and the file flags, and writes
// selected values into labels and a report list that sit on the same form.
//
// The reader is plain C++: labels and the list are reached through the small
// interfaces below, which the About forms implement with Qt widgets.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "runtime/Classes.h"

// ---- start-up ---------------------------------------------------------------
// Loads the caption tables (row captions, flag names, column headers).
void InitializeGVersInfo();
void FinalizeGVersInfo();

// ---- predefined keys and flags ------------------------------------------------
enum TPreDef {
    pdCompanyName,
    pdFileDescription,
    pdFileVersion,
    pdInternalName,
    pdLegalCopyright,
    pdLegalTrademarks,
    pdOriginalFilename,
    pdProductName,
    pdProductVersion,
    pdComments,
    pdBuildFlags,
};
inline constexpr int PreDefCount = 11;

// A set of TPreDef, 16 bits wide: bit i is the member with ordinal i.
struct TPreDefs {
    std::uint16_t Bits = 0;
    static TPreDefs All() { return {std::uint16_t((1u << PreDefCount) - 1)}; }
    bool Contains(int ordinal) const { return ordinal >= 0 && ordinal < 16 && (Bits >> ordinal & 1u); }
    void Include(TPreDef d) { Bits = std::uint16_t(Bits | 1u << d); }
    void Exclude(TPreDef d) { Bits = std::uint16_t(Bits & ~(1u << d)); }
    friend bool operator==(TPreDefs, TPreDefs) = default;
};

// The members of FlagSet, in display order.
enum TFileFlag { ffDebug, ffInfoInferred, ffPatched, ffPreRelease, ffPrivate, ffSpecial };
inline constexpr int FileFlagCount = 6;
struct TFileFlags {
    std::uint8_t Bits = 0;
    bool Contains(TFileFlag f) const { return Bits >> f & 1u; }
    friend bool operator==(TFileFlags, TFileFlags) = default;
};

// The key looked up in the string table for a TPreDef ordinal ("CompanyName").
const char* PreDefKey(int ordinal);
// The row caption of a TPreDef ordinal ("Company Name"); empty before start-up.
std::string PreDefCaption(int ordinal);
// The display name of a file flag ("Pre-Release"); empty before start-up.
std::string FileFlagName(int member);

// ---- what the reader writes into -------------------------------------------------
enum TOperation { opInsert, opRemove };

// A label: the reader sets its caption.
class TVersionLabel {
public:
    virtual ~TVersionLabel() = default;
    virtual void SetCaption(const std::string& caption) = 0;
};

// A report-style list view with two columns.
class TVersionListView {
public:
    virtual ~TVersionListView() = default;
    // Clears columns and items; report style, read-only, no column clicks.
    virtual void ClearAll() = 0;
    // width -2: fit both header and contents.
    virtual void AddColumn(const std::string& caption, int width) = 0;
    virtual void AddItem(const std::string& caption, const std::string& value) = 0;
};

class TdfsVersionInfoResource;

// One four-part version number.
class TVersionNumberInformation : public TObject {
public:
    TVersionNumberInformation(std::uint32_t ms, std::uint32_t ls) : VersionMS(ms), VersionLS(ls) {}
    // 0 when not Valid; 0 major, 1 minor, 2 release, 3 build; others 0.
    std::uint16_t Part(int index) const;
    // "" when not Valid; VersionText when set; else "major.minor.release.build".
    std::string AsText() const;

    bool Valid = false;
    std::uint32_t VersionMS;
    std::uint32_t VersionLS;
    std::string VersionText;
};

// The fixed, numeric part of the resource (VS_FIXEDFILEINFO).
class TFixedFileVersionInfo : public TObject {
public:
    explicit TFixedFileVersionInfo(TdfsVersionInfoResource* owner) : owner_(owner) {}
    std::uint32_t FileVersionMS() const { return Field(8); }
    std::uint32_t FileVersionLS() const { return Field(12); }
    std::uint32_t ProductVersionMS() const { return Field(16); }
    std::uint32_t ProductVersionLS() const { return Field(20); }
    TFileFlags FlagSet() const;
    bool HasRecord() const { return record_.has_value(); }

    // The record's offset in the owner's block; nullopt: none.
    void SetRecord(std::optional<std::size_t> offset) { record_ = offset; }

private:
    std::uint32_t Field(std::size_t at) const;
    TdfsVersionInfoResource* owner_;
    std::optional<std::size_t> record_;
};

class TdfsVersionInfoResource : public TObject {
public:
    TdfsVersionInfoResource();
    ~TdfsVersionInfoResource() override;
    TdfsVersionInfoResource(const TdfsVersionInfoResource&) = delete;
    TdfsVersionInfoResource& operator=(const TdfsVersionInfoResource&) = delete;

    // Component state: a form sets loading while it applies its design values,
    // then calls Loaded; designing is never set by the program itself.
    void BeginLoading() { loading_ = true; }
    virtual void Loaded();
    virtual void Notification(const void* component, TOperation operation);
    bool Designing = false;

    std::string Version() const { return "TdfsVersionInfoResource v2.35"; }
    void SetVersion(const std::string&) {}

    const std::string& Filename() const { return filename_; }
    void SetFilename(const std::string& value);
    bool ForceEXE() const { return forceEXE_; }
    void SetForceEXE(bool value);

    std::string CompanyName() const { return ValueByIndex(pdCompanyName); }
    std::string FileDescription() const { return ValueByIndex(pdFileDescription); }
    std::string InternalName() const { return ValueByIndex(pdInternalName); }
    std::string LegalCopyright() const { return ValueByIndex(pdLegalCopyright); }
    std::string LegalTrademarks() const { return ValueByIndex(pdLegalTrademarks); }
    std::string OriginalFilename() const { return ValueByIndex(pdOriginalFilename); }
    std::string ProductName() const { return ValueByIndex(pdProductName); }
    std::string Comments() const { return ValueByIndex(pdComments); }

    TVersionLabel* VersionLabel() const { return versionLabel_; }
    void SetVersionLabel(TVersionLabel* label) { SetLabel(versionLabel_, label, pdFileVersion); }
    TVersionLabel* CopyrightLabel() const { return copyrightLabel_; }
    void SetCopyrightLabel(TVersionLabel* label) { SetLabel(copyrightLabel_, label, pdLegalCopyright); }
    TVersionLabel* ProductLabel() const { return productLabel_; }
    void SetProductLabel(TVersionLabel* label) { SetLabel(productLabel_, label, pdProductName); }
    TVersionLabel* DescriptionLabel() const { return descriptionLabel_; }
    void SetDescriptionLabel(TVersionLabel* label) { SetLabel(descriptionLabel_, label, pdFileDescription); }
    TVersionListView* VersionListView() const { return listView_; }
    void SetVersionListView(TVersionListView* view);
    TPreDefs ShowResource() const { return showResource_; }
    void SetShowResource(TPreDefs value);

    std::string ValueByIndex(int index) const;
    std::string StringValue(const std::string& key) const;

    const TVersionNumberInformation& FileVersionInfo() const { return fileVersionInfo_; }
    const TVersionNumberInformation& ProductVersionInfo() const { return productVersionInfo_; }
    const TFixedFileVersionInfo& FixedInfo() const { return fixedInfo_; }
    const TStringList& Translations() const { return translations_; }
    int TranslationIndex() const { return translationIndex_; }

    virtual std::string ResolveFileName() const;
    virtual void FillControls();
    virtual void FillListView();
    virtual std::string FlagsText() const;
    virtual void LoadVersionData();

    // The raw block (empty when the file has none).
    const std::vector<std::uint8_t>& VersionData() const { return versionData_; }
    std::uint32_t VersionDataSize() const { return static_cast<std::uint32_t>(versionData_.size()); }

    // Whether this code runs inside a library module rather than the
    // executable, and that module's file name.
    static bool IsLibrary();
    static std::string ModuleFileName();

private:
    void SetLabel(TVersionLabel*& field, TVersionLabel* label, TPreDef own);

    std::vector<std::uint8_t> versionData_;
    std::string filename_;
    TStringList translations_;
    int translationIndex_ = 0;
    TFixedFileVersionInfo fixedInfo_;
    bool forceEXE_ = false;
    TVersionNumberInformation fileVersionInfo_{0, 0};
    TVersionNumberInformation productVersionInfo_{0, 0};
    TVersionLabel* versionLabel_ = nullptr;
    TVersionLabel* copyrightLabel_ = nullptr;
    TVersionListView* listView_ = nullptr;
    TVersionLabel* descriptionLabel_ = nullptr;
    TVersionLabel* productLabel_ = nullptr;
    TPreDefs showResource_ = TPreDefs::All();
    bool loading_ = false;
};

// The string values a version resource shows, as (key, value) in this order:
// the eleven predefined keys (PreDefKey), then "Web site".
std::vector<std::pair<std::string, std::string>> VersionStringValues(const TdfsVersionInfoResource& Info);
