// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading a journal (JSON Lines: the rename journal, the filing journal) a
// line at a time, from its start or from its end, in slices: memory is
// bounded by the longest line allowed, never by the journal's size. A line
// longer than that is not kept: it comes as TooLong (no text), and its reader
// reports it as damaged, like any other line it cannot read. Nothing here is
// fatal: a line is text, the reader of a record decides what it is worth.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <sys/types.h>

// The longest journal line kept. A rename batch of a million files in one
// folder makes a line of about 100 MB; a journal writer refuses a record
// longer than this (it could not be read back).
constexpr size_t MaxJournalLineBytes = size_t(256) << 20;

struct TJournalLine {
    std::string_view Text; // without its line break; empty when TooLong
    uint64_t Offset = 0;   // where it starts
    size_t Number = 0;     // 1-based (forward reading only; see NumberOf)
    bool TooLong = false;
};

// Where the bytes come from: a file descriptor (the caller's, not closed) or
// a text in memory.
class TJournalBytes {
public:
    explicit TJournalBytes(int Fd);
    // Only the first Size bytes of Fd (as they were under the journal's lock;
    // what is appended later is not read).
    TJournalBytes(int Fd, int64_t Size);
    explicit TJournalBytes(std::string_view Text);
    // Like pread: bytes read (0 at the end), or -1 with errno set.
    ssize_t Read(char* To, size_t Count, uint64_t Offset) const;
    // The size now (-1 with errno set when it cannot be told).
    int64_t Size() const;

private:
    int fd_ = -1;
    int64_t size_ = -1; // -1: as it is now
    std::string_view text_;
};

// Lines from Offset on, in order.
class TJournalLinesForward {
public:
    TJournalLinesForward(TJournalBytes Bytes, uint64_t From = 0, size_t MaxLine = MaxJournalLineBytes);
    // The next line; false at the end (or on an error: Error()). With
    // CompleteOnly a last line without its line break is not given (a writer
    // may still be writing it) and Offset() stays before it.
    bool Next(TJournalLine& Line, bool CompleteOnly = false);
    // Just after the last line given.
    uint64_t Offset() const { return consumed_; }
    int Error() const { return error_; }

private:
    bool Fill();

    TJournalBytes bytes_;
    size_t maxLine_;
    std::string buffer_;
    uint64_t bufferAt_ = 0; // offset of buffer_[0]
    size_t start_ = 0;      // of the unread part in buffer_
    size_t scanned_ = 0;    // buffer_[start_, scanned_) holds no line break
    uint64_t consumed_ = 0;
    size_t number_ = 0;
    bool end_ = false;
    int error_ = 0;
};

// Lines from the last to the first.
class TJournalLinesBackward {
public:
    explicit TJournalLinesBackward(TJournalBytes Bytes, size_t MaxLine = MaxJournalLineBytes);
    bool Previous(TJournalLine& Line);
    // The 1-based number of the line that starts at Offset: the lines before
    // it are counted once (only when asked: a damaged line to report), later
    // asks for earlier lines count only the lines between.
    size_t NumberOf(uint64_t Offset);
    int Error() const { return error_; }

private:
    TJournalBytes bytes_;
    size_t maxLine_;
    std::string buffer_;   // the bytes [bufferAt_, lineEnd_)
    uint64_t bufferAt_ = 0;
    uint64_t lineEnd_ = 0; // end of the next line to give
    bool started_ = false;
    bool done_ = false;
    int error_ = 0;
    uint64_t anchorOffset_ = 0; // a line start whose number is known
    size_t anchorNumber_ = 0;   // 0: none yet
};

// Every line of Text, in order (the same rules as TJournalLinesForward).
void ForEachJournalLine(std::string_view Text, const std::function<void(const TJournalLine&)>& OnLine,
                        size_t MaxLine = MaxJournalLineBytes);

bool IsBlankJournalLine(std::string_view Line);

// ---- batches --------------------------------------------------------------------
// Both journals are batches: a batch record, then records naming the batch
// by its id (several batches' records may be interleaved). Traits tells a
// journal's records apart:
//   using Record, Batch, Builder;
//   static std::optional<Record> Parse(std::string_view Line);
//   static bool IsHead(const Record&);  static const std::string& Id(const Record&);
//   Builder(Record&& Head, size_t Number); // Number: the batch record's line (0: not known)
//   bool Builder::Add(Record&&);           // false: damaged (a record the batch cannot hold)
//   Batch Builder::Finish();
// Records whose batch record is missing (damaged) are skipped.
template <typename Traits>
struct TJournalBatches {
    std::vector<typename Traits::Batch> Batches; // in journal order
    std::vector<size_t> DamagedLines;            // 1-based, ascending
    size_t LineCount = 0;
};

// Every batch of the journal, read from its start; a second batch record
// under one id is damaged. Returns 0 or the errno of a read that failed.
template <typename Traits>
int ReadJournalBatches(TJournalLinesForward& Lines, TJournalBatches<Traits>& Out)
{
    std::vector<typename Traits::Builder> building;
    std::unordered_map<std::string, size_t> byId;
    TJournalLine line;
    while (Lines.Next(line)) {
        Out.LineCount = line.Number;
        if (!line.TooLong && IsBlankJournalLine(line.Text))
            continue;
        std::optional<typename Traits::Record> record;
        if (!line.TooLong)
            record = Traits::Parse(line.Text);
        bool damaged = !record;
        if (record && Traits::IsHead(*record)) {
            damaged = !byId.emplace(Traits::Id(*record), building.size()).second;
            if (!damaged)
                building.emplace_back(std::move(*record), line.Number);
        } else if (record) {
            auto found = byId.find(Traits::Id(*record));
            damaged = found != byId.end() && !building[found->second].Add(std::move(*record));
        }
        if (damaged)
            Out.DamagedLines.push_back(line.Number);
    }
    for (auto& b : building)
        Out.Batches.push_back(b.Finish());
    return Lines.Error();
}

// The batches of a journal from the newest (by where its batch record
// stands) to the oldest, read from the end: what is kept is the records of
// the batches begun before the place read (those under way then, in
// practice one or two) and the lines not yet matched to a batch record.
template <typename Traits>
class TJournalBatchesBackward {
public:
    explicit TJournalBatchesBackward(TJournalBytes Bytes, size_t MaxLine = MaxJournalLineBytes) : lines_(Bytes, MaxLine) {}

    // The batch before the one given last; false at the start (or on an error: Error()).
    bool Previous(typename Traits::Batch& Batch)
    {
        TJournalLine line;
        while (lines_.Previous(line)) {
            if (!line.TooLong && IsBlankJournalLine(line.Text))
                continue;
            std::optional<typename Traits::Record> record;
            if (!line.TooLong)
                record = Traits::Parse(line.Text);
            if (!record) {
                damaged_.push_back(line.Offset);
                continue;
            }
            const uint64_t bytes = line.Text.size() + 1;
            if (!Traits::IsHead(*record)) {
                TPending& pending = pending_[Traits::Id(*record)];
                pending.Records.emplace_back(line.Offset, std::move(*record));
                pending.Bytes += bytes;
                continue;
            }
            auto found = pending_.find(Traits::Id(*record));
            typename Traits::Builder builder(std::move(*record), 0);
            lastBytes_ = bytes;
            if (found != pending_.end()) {
                for (auto it = found->second.Records.rbegin(); it != found->second.Records.rend(); ++it)
                    if (!builder.Add(std::move(it->second)))
                        damaged_.push_back(it->first);
                lastBytes_ += found->second.Bytes;
                pending_.erase(found);
            }
            Batch = builder.Finish();
            return true;
        }
        return false;
    }
    // The lines found damaged so far, 1-based, ascending.
    std::vector<size_t> DamagedLines()
    {
        std::vector<uint64_t> offsets = damaged_;
        std::sort(offsets.rbegin(), offsets.rend()); // counted from the last back
        std::vector<size_t> numbers;
        for (uint64_t offset : offsets)
            numbers.push_back(lines_.NumberOf(offset));
        std::reverse(numbers.begin(), numbers.end());
        return numbers;
    }
    int Error() const { return lines_.Error(); }
    // The bytes the lines of the batch given last take (line breaks included).
    uint64_t LastBytes() const { return lastBytes_; }

private:
    struct TPending {
        std::vector<std::pair<uint64_t, typename Traits::Record>> Records; // newest first, with their offsets
        uint64_t Bytes = 0;
    };
    TJournalLinesBackward lines_;
    std::unordered_map<std::string, TPending> pending_;
    uint64_t lastBytes_ = 0;
    std::vector<uint64_t> damaged_;
};
