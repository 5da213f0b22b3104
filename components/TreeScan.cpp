// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/TreeScan.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <unistd.h>
#include <vector>

#include "runtime/Application.h"
#include "runtime/Exceptions.h"
#include "runtime/FileOps.h"
#include "runtime/SysUtils.h"

namespace {

// Case-insensitive order with the bytes as tie-breaker: deterministic, and two
// names that differ only in case (distinct files on this file system) both
// stay in the list.
bool NameLess(const std::string& a, const std::string& b)
{
    int c = CompareText(a, b);
    return c != 0 ? c < 0 : a < b;
}

struct TFoundFile {
    std::string Name;   // without folder; every entry of one folder shares it
    int32_t Size;
};

void CheckStop(const std::string& dir)
{
    if (StopRequested())
        throw EAbort("The search of " + dir + " was stopped");
}

// Calls End of a lookahead that has begun, however its folder's events end.
struct TLookaheadGuard {
    TScanLookahead* Lookahead;
    ~TLookaheadGuard()
    {
        if (Lookahead)
            Lookahead->End();
    }
};

std::string CurrentFolder()
{
    std::vector<char> buffer(PATH_MAX + 1);
    if (getcwd(buffer.data(), buffer.size()))
        return buffer.data();
    return "/";
}

} // namespace

TTreeScanner::TTreeScanner(TObject*) : masks_(new TStringList)
{
    masks_->SetSorted(true);
    masks_->SetDuplicates(dupIgnore);
}

TTreeScanner::~TTreeScanner()
{
    delete masks_;
}

void TTreeScanner::AddMask(const std::string& Mask)
{
    // The sorted, case-insensitive list drops a mask equal to one it holds.
    masks_->Add(Mask);
}

std::string TTreeScanner::FileMask() const
{
    return masks_->Count() > 0 ? masks_->Strings(0) : std::string();
}

void TTreeScanner::SetFileMask(const std::string& Value)
{
    if (searchInProgress_)
        return;
    masks_->Clear();
    AddMask(Value);
}

std::string TTreeScanner::FileMaskCommaText() const
{
    return masks_->CommaText();
}

void TTreeScanner::SetFileMaskCommaText(const std::string& Value)
{
    if (searchInProgress_)
        return;
    TStringList parsed;
    parsed.SetCommaText(Value);
    masks_->Clear();
    for (const std::string& mask : parsed)
        AddMask(mask);
}

void TTreeScanner::Fire(const TNotifyEvent& Event)
{
    if (Event)
        Event(this);
}

void TTreeScanner::Search()
{
    searchInProgress_ = true;
    fileFound_.clear();
    fileSize_ = 0;
    if (InitialDirectory.empty())
        InitialDirectory = CurrentFolder();
    // One trailing delimiter: "/data" and "/data/" both become "/data/", "/" stays.
    InitialDirectory = IncludeTrailingPathDelimiter(
        ExtractFileDir(IncludeTrailingPathDelimiter(InitialDirectory)));
    try {
        SearchFolder(InitialDirectory);
    } catch (...) {
        searchInProgress_ = false;
        throw;
    }
    searchInProgress_ = false;
    fileFound_ = InitialDirectory;
    fileSize_ = 0;
    Fire(OnSearchDone);
}

namespace {

// A listing ends with ENOENT (no more names, or a folder removed meanwhile,
// which holds nothing). Any other end is a folder that could not be read,
// which must not pass for an empty one: a rename of it would rename nothing
// and report success.
void CheckListing(const std::string& Dir, int Result)
{
    if (Result != 0 && Result != ENOENT)
        throw Exception("Cannot read folder \"" + Dir + "\": " + FileErrorText(Result));
}

} // namespace

void TTreeScanner::SearchFolder(const std::string& Dir)
{
    Application().ProcessMessages();
    CheckStop(Dir);
    fileSize_ = 0;
    fileFound_ = Dir;
    Fire(OnDirectoryFound);

    std::vector<std::string> folders;
    std::vector<TFoundFile> files;

    if (Recursive) {
        TSearchRec rec;
        int attr = faDirectory | (FindHiddenFolders ? faHidden : 0);
        int r = FindFirst(Dir + "*.*", attr, rec);
        for (; r == 0; r = FindNext(rec))
            if ((rec.Attr & faDirectory) != 0 && rec.Name != "." && rec.Name != "..")
                folders.push_back(rec.Name);
        FindClose(rec);
        CheckListing(Dir, r);
        std::sort(folders.begin(), folders.end(), NameLess);
        folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    }

    for (int m = 0; m < masks_->Count(); ++m) {
        const std::string& mask = masks_->Strings(m);
        // A mask with a delimiter would name another folder: it matches nothing here.
        if (mask.empty() || mask.find(PathDelim) != std::string::npos)
            continue;
        TSearchRec rec;
        int r = FindFirst(Dir + mask, faAnyFile, rec);
        for (; r == 0; r = FindNext(rec)) {
            if ((rec.Attr & (faDirectory | faVolumeID)) != 0)
                continue;
            if ((rec.Attr & faHidden) != 0 && !FindHiddenFiles)
                continue;
            files.push_back(TFoundFile{rec.Name, static_cast<int32_t>(static_cast<uint32_t>(rec.Size))});
        }
        FindClose(rec);
        CheckListing(Dir, r);
    }
    std::sort(files.begin(), files.end(), [](const TFoundFile& a, const TFoundFile& b) { return NameLess(a.Name, b.Name); });
    // A file that matches several masks is reported once.
    files.erase(std::unique(files.begin(), files.end(),
                            [](const TFoundFile& a, const TFoundFile& b) { return a.Name == b.Name; }),
                files.end());

    {
        std::vector<std::string> names;
        TLookaheadGuard guard{nullptr};
        if (Lookahead && !files.empty()) {
            names.reserve(files.size());
            for (TFoundFile& file : files)
                names.push_back(std::move(file.Name));
            Lookahead->Begin(Dir, names);
            guard.Lookahead = Lookahead;
        }
        for (size_t i = 0; i < files.size(); ++i) {
            CheckStop(Dir);
            fileFound_ = Dir + (names.empty() ? files[i].Name : names[i]);
            fileSize_ = files[i].Size;
            Fire(OnFileFound);
        }
    }
    files.clear();
    files.shrink_to_fit();
    fileSize_ = 0;

    for (const std::string& folder : folders) {
        std::string path = Dir + folder + PathDelim;
        if (Recursive) {
            SearchFolder(path);
        } else {
            fileFound_ = path;
            Fire(OnDirectoryFound);
        }
    }
    fileFound_ = Dir;
    Fire(OnDirectoryDone);
}
